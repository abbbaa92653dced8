// From XML program to GtkBuilder layout: expected-output files, the walk's rules, and a
// real GtkBuilder that must accept every layout made from a well-formed program.
//
// Run with a file argument (tests/data/NAME.xml) to print what NAME.expected should hold.

#include "transform/layout.h"
#include "transform/xml_transformer.h"
#include "widgets/hollin_widgets.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

struct Result {
  std::string layout;
  std::string actions; // one "id" line per entry, sorted, each command below it
};

static std::string dump_actions(GHashTable *widget_actions) {
  std::vector<std::string> ids;
  GHashTableIter iter;
  gpointer key, value;
  g_hash_table_iter_init(&iter, widget_actions);
  while (g_hash_table_iter_next(&iter, &key, &value)) {
    std::string entry = static_cast<const char *>(key);
    auto *commands = static_cast<GPtrArray *>(value);
    for (guint i = 0; i < commands->len; i++)
      entry += std::string("\n  > ") + static_cast<const char *>(commands->pdata[i]);
    ids.push_back(entry);
  }
  std::sort(ids.begin(), ids.end());
  std::string out;
  for (const std::string &id : ids)
    out += id + "\n";
  return out;
}

// The actions, then the feeds when there are any: "id (kind)" and the script below it.
static Result transform(const char *program) {
  g_autoptr(XmlTransformer) transformer = xml_transformer_new();
  g_autofree char *layout = xml_transformer_process_and_clean_xml(transformer, program);
  std::string actions = dump_actions(xml_transformer_get_widget_actions(transformer));
  const auto &feeds = xml_transformer_get_extras(transformer)->feeds;
  if (!feeds.empty())
    actions += "== feeds\n";
  for (const quillet::transform::Feed &feed : feeds)
    actions += feed.object_id + " (" + feed.kind + ")\n  > " + feed.command + "\n";
  // Starting rows of lists where several may be chosen, starting paths of file choosers.
  for (const auto &[id, rows] : xml_transformer_get_extras(transformer)->selected) {
    actions += "== " + id + " selects";
    for (int row : rows)
      actions += " " + std::to_string(row);
    actions += "\n";
  }
  for (const auto &[id, path] : xml_transformer_get_extras(transformer)->paths)
    actions += "== " + id + " starts at " + path + "\n";
  return {layout, actions};
}

// The walk alone, on text as cleaning would hand it over (or as no cleaning could).
static Result walk(const char *clean) {
  g_autoptr(GHashTable) actions = g_hash_table_new_full(
      g_str_hash, g_str_equal, g_free, reinterpret_cast<GDestroyNotify>(g_ptr_array_unref));
  g_autoptr(GString) sb = g_string_new(nullptr);
  int counter = 0;
  quillet::transform::build_layout(sb, clean, actions, counter);
  return {sb->str, dump_actions(actions)};
}

static void assert_gtk_loads(const std::string &layout) {
  g_autoptr(GtkBuilder) builder = gtk_builder_new();
  g_autoptr(GError) error = nullptr;
  gtk_builder_add_from_string(builder, layout.c_str(), -1, &error);
  g_assert_no_error(error);
  GObject *window = gtk_builder_get_object(builder, "main_window");
  g_assert_nonnull(window);
  g_assert_cmpstr(G_OBJECT_TYPE_NAME(window), ==, "GtkWindow");
  // Nothing the markup declared may be left out of the window.
  g_autoptr(GSList) objects = gtk_builder_get_objects(builder);
  for (GSList *o = objects; o != nullptr; o = o->next)
    if (GTK_IS_WIDGET(o->data))
      g_assert_true(gtk_widget_get_toplevel(GTK_WIDGET(o->data)) == GTK_WIDGET(window));
  gtk_widget_destroy(GTK_WIDGET(window));
}

static std::string read_file(const char *path) {
  g_autofree char *contents = nullptr;
  g_autoptr(GError) error = nullptr;
  g_file_get_contents(path, &contents, nullptr, &error);
  g_assert_no_error(error);
  return contents;
}

static std::string expected_output(const char *xml_path) {
  const Result result = transform(read_file(xml_path).c_str());
  return result.layout + "== widget actions\n" + result.actions;
}

static void test_expected_file(gconstpointer data) {
  const char *name = static_cast<const char *>(data);
  g_autofree char *xml = g_strconcat(name, ".xml", NULL);
  g_autofree char *out = g_strconcat(name, ".expected", NULL);
  g_autofree char *xml_path = g_test_build_filename(G_TEST_DIST, "data", xml, NULL);
  g_autofree char *expected_path = g_test_build_filename(G_TEST_DIST, "data", out, NULL);
  const std::string got = expected_output(xml_path);
  const std::string expected = read_file(expected_path);
  g_assert_cmpstr(got.c_str(), ==, expected.c_str());
  assert_gtk_loads(transform(read_file(xml_path).c_str()).layout);
}

// The layout that the template calls give for a sequence of (name, id) starts and ends.
struct Step {
  bool start;
  const char *name;
  const char *id;
};

static std::string compose(std::initializer_list<Step> steps, const char *declarations = "") {
  g_autoptr(GString) sb = g_string_new("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<interface>\n");
  g_string_append(sb, declarations);
  for (const Step &s : steps) {
    if (s.start)
      hollin_widgets_append_element_start(sb, s.name, s.id, "", "Quillet");
    else
      hollin_widgets_append_element_end(sb, s.name);
  }
  g_string_append(sb, "</interface>\n");
  return sb->str;
}

static void test_walk_worked_example() {
  const Result r = transform("<window><vbox><entry variable=\"NAME\"><action>\necho changed\n"
                             "</action></entry><button ok></button></vbox></window>");
  const std::string expected = compose({{true, "window", "auto_id_1"},
                                        {true, "vbox", "auto_id_2"},
                                        {true, "entry", "NAME"},
                                        {false, "entry", nullptr},
                                        {true, "button", "btn_ok"},
                                        {false, "button", nullptr},
                                        {false, "vbox", nullptr},
                                        {false, "window", nullptr}});
  g_assert_cmpstr(r.layout.c_str(), ==, expected.c_str());
  g_assert_cmpstr(r.actions.c_str(), ==, "NAME\n  > echo changed\nauto_id_1\nauto_id_2\nbtn_ok\n");
  assert_gtk_loads(r.layout);
}

static void test_store_worked_example() {
  const Result r = walk("<list variable=\"L\">\n<item>a</item>\n<item>b</item>\n</list>");
  const std::string store =
      "<object class=\"GtkListStore\" id=\"model_L\">\n<columns>\n<column type=\"gchararray\"/>\n"
      "</columns>\n<data>\n<row><col id=\"0\">a</col></row>\n<row><col id=\"0\">b</col></row>\n"
      "</data>\n</object>\n";
  const std::string expected =
      compose({{true, "list", "L"}, {false, "list", nullptr}}, store.c_str());
  g_assert_cmpstr(r.layout.c_str(), ==, expected.c_str());
}

static void test_empty_program() {
  for (const char *text : {"", "just text", "<!-- note -->"}) {
    const Result r = transform(text);
    g_assert_cmpstr(r.layout.c_str(), ==,
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<interface>\n</interface>\n");
  }
}

struct WalkCase {
  const char *path;
  const char *clean;   // what the walk is given
  const char *actions; // the widget actions table it leaves
};

// The widget actions table records every id the walk hands out and every command it files.
static const WalkCase kWalkCases[] = {
    {"/ids/variable", "<entry variable=\" NAME \">", "NAME\n"},
    {"/ids/first-attribute", "<entry id=\"E\" variable=\"V\">", "E\n"},
    {"/ids/whole-attribute-name", "<entry xid=\"a\" data-id=\"b\" variable=\"D\">", "D\n"},
    {"/ids/empty-attribute", "<entry variable=\" \">\n<entry id=\"\" variable=\"V\">",
     "V\nauto_id_1\n"},
    {"/ids/generated-for-any-element", "<note>abc</note>\n<action>\necho a\n</action>",
     "auto_id_1\n  > echo a\n"},
    {"/ids/commented-out-entry", "<!-- \n<entry variable=\"X\"> -->", "X\n"},
    {"/ok/legacy", "<button id=\"btn_ok\" label=\"OK\">", "btn_ok\n"},
    {"/ok/bare-word", "<button ok/>\n<button variable=\"ok\">", "btn_ok\n"},
    {"/ok/not-in-token", "<button variable=\"token\">\n<button variable=\"booking\">",
     "booking\ntoken\n"},
    {"/ok/cancel-word", "<button variable=\"cancel_booking\">\n<button cancel>",
     "btn_cancel\ncancel_booking\n"},
    {"/ok/before-cancel", "<button ok cancel>", "btn_ok\n"},
    {"/ok/case-sensitive", "<button variable=\"OK\">", "OK\n"},
    {"/actions/one-line", "<entry variable=\"E\">\n<action>echo a</action>", "E\n  > echo a\n"},
    {"/actions/text-after-tag", "<entry variable=\"E\">\n<action>echo a\necho b\n</action>",
     "E\n  > echo a\n  > echo b\n"},
    {"/actions/attributes", "<entry variable=\"E\">\n<action signal=\"x\">echo a\n</action>",
     "E\n  > echo a\n"},
    {"/actions/tags-are-commands",
     "<entry variable=\"E\">\n<action>\n<entry variable=\"X\">\n</action>",
     "E\n  > <entry variable=\"X\">\n"},
    {"/actions/before-first-element", "<action>echo lost</action>\n<entry variable=\"E\">", "E\n"},
    {"/actions/after-closing-tag",
     "<vbox>\n<button variable=\"B\">\n</button>\n<action>echo b\n</action>\n</vbox>",
     "B\n  > echo b\nauto_id_1\n"},
    {"/actions/shared-id",
     "<entry variable=\"E\">\n<action>one\n</action>\n<entry variable=\"E\">\n"
     "<action>two\n</action>",
     "E\n  > one\n  > two\n"},
};

static void test_walk_case(gconstpointer data) {
  const auto *c = static_cast<const WalkCase *>(data);
  const Result r = walk(c->clean);
  g_assert_cmpstr(r.actions.c_str(), ==, c->actions);
}

static void test_stack_rules() {
  // A closing tag that is not the innermost open element is ignored; the rest close at the end.
  const Result r = walk("<window>\n<VBox>\n</hbox>\n<hbox>\n<entry variable=\"E\"></entry>\n"
                        "</HBOX>\n</label>\n</item>\n</input>");
  const std::string expected = compose({{true, "window", ""},
                                        {true, "vbox", ""},
                                        {true, "hbox", ""},
                                        {true, "entry", "E"},
                                        {false, "entry", nullptr},
                                        {false, "hbox", nullptr},
                                        {false, "vbox", nullptr},
                                        {false, "window", nullptr}});
  g_assert_cmpstr(r.layout.c_str(), ==, expected.c_str());
}

// Every notebook needs an object id of its own, or GtkBuilder refuses the dialog.
static void test_notebooks() {
  const Result r =
      transform("<window><hbox><notebook><vbox></vbox></notebook><notebook variable=\"N\">"
                "<vbox></vbox></notebook><notebook></notebook></hbox></window>");
  for (const char *id : {"\"notebook_main\"", "\"notebook_main_2\"", "\"notebook_main_3\""})
    g_assert_nonnull(strstr(r.layout.c_str(), id));
  g_assert_cmpstr(r.actions.c_str(), ==,
                  "N\nauto_id_1\nauto_id_2\nauto_id_3\nauto_id_4\nauto_id_5\nauto_id_6\n");
  assert_gtk_loads(r.layout);
}

// Spin buttons, sliders, lists and trees find their adjustment or store whatever id form.
static void test_models_for_every_id_form() {
  const Result r = transform(
      "<window><vbox><spinbutton variable=\"S1\" digits=\"2\"></spinbutton>"
      "<SpinButton id=\"S2\"></SpinButton><slider></slider><Slider variable=\"S4\"></Slider>"
      "<list id=\"L1\"><item>a</item></list><TREE variable=\"T1\" x=\"y\"><item>b</item></TREE>"
      "<list  variable=\"L2\"><item>c</item></list><button ok></button></vbox></window>");
  for (const char *id :
       {"adj_S1", "adj_S2", "adj_auto_id_3", "adj_S4", "model_L1", "model_T1", "model_L2"}) {
    g_autofree char *declared = g_strdup_printf(
        "<object class=\"%s\" id=\"%s\">", id[0] == 'a' ? "GtkAdjustment" : "GtkListStore", id);
    g_assert_nonnull(strstr(r.layout.c_str(), declared));
  }
  assert_gtk_loads(r.layout);
}

// A store holds the rows of its own list or tree only.
static void test_rows_stay_with_their_list() {
  const Result r = walk("<tree variable=\"T\">\n<item>t</item>\n</tree>\n<vbox>\n</vbox>\n"
                        "<list variable=\"L\">\n<item>l</item>\n</list>");
  const char *tree = strstr(r.layout.c_str(), "id=\"model_T\"");
  const char *list = strstr(r.layout.c_str(), "id=\"model_L\"");
  g_assert_nonnull(tree);
  g_assert_nonnull(list);
  const std::string tree_store(tree, list);
  g_assert_cmpstr(
      tree_store.c_str(), ==,
      "id=\"model_T\">\n<columns>\n<column type=\"gchararray\"/>\n</columns>\n<data>\n"
      "<row><col id=\"0\">t</col></row>\n</data>\n</object>\n<object class=\"GtkListStore\" ");
}

struct FragmentCase {
  const char *path;
  const char *program;
  const char *fragment; // must appear in the layout
};

// Text the user wrote shows in the dialog: labels, items, titles.
static const FragmentCase kFragmentCases[] = {
    {"/label/same-line", "<window><checkbox><label>Hello</label></checkbox></window>",
     "<object class=\"GtkCheckButton\" id=\"auto_id_2\">\n<property "
     "name=\"label\">Hello</property>\n"},
    {"/label/own-lines",
     "<window><text><label>\n  First line  \n\nSecond line\n</label></text></window>",
     "<property name=\"label\">First line\nSecond line</property>\n"},
    {"/label/progressbar",
     "<window><progressbar variable=\"P\"><label>Working</label></progressbar></window>",
     "<property name=\"text\">Working</property>\n"},
    {"/label/attributes", "<window><text><label use-markup=\"true\">Bold</label></text></window>",
     "<property name=\"label\">Bold</property>\n"},
    {"/label/ampersand", "<window><text><label>R&D &nbsp; a&&b</label></text></window>",
     "<property name=\"label\">R&amp;D &amp;nbsp; a&amp;&amp;b</property>\n"},
    {"/items/written-combo",
     "<window><combobox variable=\"C\"><item>Red</item><item> Blue </item></combobox></window>",
     "<items>\n<item>Red</item>\n<item> Blue</item>\n</items>\n"},
    {"/items/written-list", "<window><list variable=\"L\"><item> Red </item></list></window>",
     "<data>\n<row><col id=\"0\">Red</col></row>\n</data>\n"},
    {"/items/from-command",
     "<window><combobox variable=\"C\"><input>printf '%s\\n' 'a & b' '<c>'</input></combobox>"
     "</window>",
     "<items>\n<item>a &amp; b</item>\n<item>&lt;c&gt;</item>\n</items>\n"},
    {"/window/several-children", "<window><entry></entry><button ok></button></window>",
     "<object class=\"GtkButton\" id=\"btn_ok\">"},
    {"/widget-in-a-leaf",
     "<window><vbox><entry variable=\"A\"><checkbox variable=\"C\"></checkbox><text><list>"
     "<slider></slider></list></text><progressbar><entry></entry></vbox></window>",
     "<object class=\"GtkCheckButton\" id=\"C\">"},
    {"/self-closing", "<window><vbox><entry/><button ok/></vbox></window>",
     "<object class=\"GtkButton\" id=\"btn_ok\">"},
    {"/frame/attribute-title", "<window><frame frame_label=\"A B\"></frame></window>",
     "<property name=\"label\">A B</property>"},
    {"/frame/title", "<window><frame Choose one><entry></entry></frame></window>",
     "<object class=\"GtkFrame\">\n<property name=\"label\">Choose one</property>\n"},
    {"/frame/quoted-title", "<window><frame Say \"hi\"><entry></entry></frame></window>",
     "<property name=\"label\">Say &quot;hi&quot;</property>\n"},
    {"/items/carriage-return",
     "<window><combobox><ITEM>a\rb</ITEM></combobox><list><item>c\rd"
     "</item></list></window>",
     "<item>a&#13;b</item>\n"},
    {"/items/wrapped-tag", "<window><entry\n variable=\"A\"></entry></window>",
     "<object class=\"GtkEntry\" id=\"A\">"},
    // Every element and attribute the markup has for starting values, captions and keys.
    {"/every-extension",
     "<window title=\"T\" width=\"300\" height=\"-2\"><notebook tabs=\"A|B & C\"><vbox>"
     "<text><label>Name</label></text><entry variable=\"E\" visibility=\"false\" "
     "placeholder=\"p\" tooltip=\"t\" sensitive=\"false\"><default>x</default></entry>"
     "<edit variable=\"ED\"><default>a\nb</default></edit>"
     "<checkbox variable=\"C\"><default>true</default><label>c</label></checkbox>"
     "<comboboxtext variable=\"CB\"><default>b</default><item>a</item><item>b</item></comboboxtext>"
     "</vbox><vbox><spinbutton variable=\"S\" min=\"5\" max=\"1\" step=\"-1\" digits=\"x\">"
     "<default>7</default></spinbutton><slider variable=\"SL\" min=\"-1\" max=\"1\" step=\"0.1\" "
     "digits=\"99\"><default>-4</default></slider><progressbar "
     "variable=\"P\"><default>150</default>"
     "</progressbar><tree variable=\"T\"><item>r</item><default>none</default></tree></vbox>"
     "<vbox/></notebook><button ok><label>Save</label></button><button exit=\"W_1\">w</button>"
     "<button exit=\"no way\" tooltip=\"ok\"></button></window>",
     "<property name=\"upper\">100</property>\n<property name=\"step-increment\">1</property>\n"
     "<property name=\"value\">7</property>\n</object>\n<object class=\"GtkAdjustment\" "
     "id=\"adj_SL\">"
     "\n<property name=\"lower\">-1</property>\n<property name=\"upper\">1</property>\n"
     "<property name=\"step-increment\">0.1</property>\n<property name=\"value\">-1</property>\n"},
    // Every picker, and a list with columns and several rows to choose.
    {"/every-extension/pickers",
     "<window><vbox><filechooser variable=\"F\"><default>/</default></filechooser>"
     "<filechooser action=\"folder\"/><filechooser action=\"save\" tooltip=\"t\"></filechooser>"
     "<calendar><default>2000-01-31</default></calendar><colorbutton><default>#123456</default>"
     "</colorbutton><fontbutton><default>Mono 9</default></fontbutton><list columns=\"A|B\" "
     "selection=\"multiple\"><item>a|b|c</item><default>a</default></list></vbox></window>",
     "<row><col id=\"0\">a</col><col id=\"1\">b|c</col></row>"},
    {"/every-extension/escaped",
     "<window title=\"a</property><object\"><entry tooltip=\"a > b &amp; c & d\"></entry>"
     "<notebook tabs=\"&lt;|>\"><vbox/><vbox/></notebook></window>",
     "<property name=\"tooltip-text\">a &gt; b &amp; c &amp; d</property>\n"},
};

static void test_fragment(gconstpointer data) {
  const auto *c = static_cast<const FragmentCase *>(data);
  const Result r = transform(c->program);
  if (strstr(r.layout.c_str(), c->fragment) == nullptr)
    g_assert_cmpstr(r.layout.c_str(), ==, c->fragment); // shows both texts
  assert_gtk_loads(r.layout);
}

static void test_nesting_depth() {
  g_autoptr(XmlTransformer) transformer = xml_transformer_new();
  g_free(xml_transformer_process_and_clean_xml(
      transformer, "<window><vbox><entry></entry></vbox><hbox><list></list></hbox></window>"));
  g_assert_cmpuint(xml_transformer_get_nesting_depth(transformer), ==, 3);
}

static void test_counter_carries_over() {
  g_autoptr(XmlTransformer) transformer = xml_transformer_new();
  g_free(xml_transformer_process_and_clean_xml(transformer, "<window></window>"));
  g_free(xml_transformer_process_and_clean_xml(transformer, "<window></window>"));
  const std::string actions = dump_actions(xml_transformer_get_widget_actions(transformer));
  g_assert_cmpstr(actions.c_str(), ==, "auto_id_1\nauto_id_2\n");
}

static void test_null_arguments() {
  g_autoptr(XmlTransformer) transformer = xml_transformer_new();
  g_test_expect_message(nullptr, G_LOG_LEVEL_CRITICAL,
                        "xml_transformer_process_and_clean_xml: assertion 'self != NULL' failed");
  g_assert_null(xml_transformer_process_and_clean_xml(nullptr, "<window>"));
  g_test_assert_expected_messages();
  g_test_expect_message(
      nullptr, G_LOG_LEVEL_CRITICAL,
      "xml_transformer_process_and_clean_xml: assertion 'raw_xml != NULL' failed");
  g_assert_null(xml_transformer_process_and_clean_xml(transformer, nullptr));
  g_test_assert_expected_messages();
}

int main(int argc, char **argv) {
  if (argc == 2 && argv[1][0] != '-') {
    fputs(expected_output(argv[1]).c_str(), stdout);
    return 0;
  }

  g_test_init(&argc, &argv, NULL);
  g_test_summary("XML programs become GtkBuilder layouts that GTK loads.");
  if (!gtk_init_check(&argc, &argv)) {
    printf("Bail out! These tests load layouts into GTK and need a display (run them under "
           "xvfb-run).\n");
    return 1;
  }

  g_autofree char *data_dir = g_test_build_filename(G_TEST_DIST, "data", NULL);
  g_autoptr(GDir) dir = g_dir_open(data_dir, 0, nullptr);
  std::vector<std::string> names;
  for (const char *file; dir != nullptr && (file = g_dir_read_name(dir)) != nullptr;)
    if (g_str_has_suffix(file, ".xml"))
      names.emplace_back(file, strlen(file) - 4);
  std::sort(names.begin(), names.end());
  for (const std::string &name : names) {
    g_autofree char *path = g_strconcat("/transform/expected/", name.c_str(), NULL);
    g_test_add_data_func_full(path, g_strdup(name.c_str()), test_expected_file, g_free);
  }

  g_test_add_func("/transform/walk/worked-example", test_walk_worked_example);
  g_test_add_func("/transform/stores/worked-example", test_store_worked_example);
  g_test_add_func("/transform/walk/empty", test_empty_program);
  for (const WalkCase &c : kWalkCases) {
    g_autofree char *path = g_strconcat("/transform/walk", c.path, NULL);
    g_test_add_data_func(path, &c, test_walk_case);
  }
  g_test_add_func("/transform/walk/stack", test_stack_rules);
  g_test_add_func("/transform/notebooks", test_notebooks);
  g_test_add_func("/transform/models/every-id-form", test_models_for_every_id_form);
  g_test_add_func("/transform/models/rows-stay-with-their-list", test_rows_stay_with_their_list);
  for (const FragmentCase &c : kFragmentCases) {
    g_autofree char *path = g_strconcat("/transform/text", c.path, NULL);
    g_test_add_data_func(path, &c, test_fragment);
  }
  g_test_add_func("/transform/counter-carries-over", test_counter_carries_over);
  g_test_add_func("/transform/nesting-depth", test_nesting_depth);
  g_test_add_func("/transform/null-arguments", test_null_arguments);
  return g_test_run();
}
