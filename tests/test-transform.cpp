// From XML program to GtkBuilder layout, checked against expected-output files: the
// programs of tests/data/NAME.xml, and the cases of tests/data/cases.txt, each of which is
// cleaned only, walked only (as cleaning would hand it over, or as no cleaning could) or
// transformed whole. A real GtkBuilder must accept every layout with a window.
//
// Run with a file argument to print what its .expected file should hold.

#include "preprocess/xml_preprocessor.h"
#include "transform/layout.h"
#include "transform/xml_transformer.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

// Off when printing what an expected file should hold: GTK may well refuse a random program.
static bool checking = true;

// One "id" line per widget action entry, in the order of the ids, each command below it.
static std::string dump_actions(GHashTable *widget_actions) {
  std::map<std::string, const GPtrArray *> entries;
  GHashTableIter iter;
  gpointer key, value;
  g_hash_table_iter_init(&iter, widget_actions);
  while (g_hash_table_iter_next(&iter, &key, &value))
    entries[static_cast<const char *>(key)] = static_cast<const GPtrArray *>(value);
  std::string out;
  for (const auto &[id, commands] : entries) {
    out += id + "\n";
    for (guint i = 0; i < commands->len; i++)
      out += std::string("  > ") + static_cast<const char *>(commands->pdata[i]) + "\n";
  }
  return out;
}

// The cells of `object`'s rows as GTK holds them: a list store's, or a combo box's texts.
static std::vector<std::string> cells_of(GObject *object) {
  const bool combo = GTK_IS_COMBO_BOX(object);
  GtkTreeModel *model =
      combo ? gtk_combo_box_get_model(GTK_COMBO_BOX(object)) : GTK_TREE_MODEL(object);
  const int columns = combo ? 1 : gtk_tree_model_get_n_columns(model);
  std::vector<std::string> cells;
  GtkTreeIter iter;
  for (bool more = gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter))
    for (int column = 0; column < columns; column++) {
      g_autofree char *text = nullptr;
      gtk_tree_model_get(model, &iter, column, &text, -1);
      cells.emplace_back(text != nullptr ? text : "");
    }
  return cells;
}

// Rows given to GTK apart are exactly those it reads from the copy, and the layout it is
// given instead holds none of them but keeps their lines.
static void assert_rows_apart(const char *layout, const quillet::transform::DialogExtras &x) {
  if (x.builder_layout.empty() || !strstr(layout, "id=\"main_window\""))
    return;
  // The lines GTK names in a complaint are those of the copy.
  g_assert_cmpuint(std::ranges::count(x.builder_layout, '\n'), ==,
                   std::ranges::count(std::string_view(layout), '\n'));
  for (const char *text : {layout, x.builder_layout.c_str()}) {
    g_autoptr(GtkBuilder) builder = gtk_builder_new();
    g_autoptr(GError) error = nullptr;
    gtk_builder_add_from_string(builder, text, -1, &error);
    g_assert_no_error(error);
    for (const auto &[id, cells] : x.rows) {
      GObject *store = gtk_builder_get_object(builder, ("model_" + id).c_str());
      const std::vector<std::string> read =
          cells_of(store != nullptr ? store : gtk_builder_get_object(builder, id.c_str()));
      g_assert_cmpuint(read.size(), ==, text == layout ? cells.size() : 0);
      for (size_t i = 0; i < read.size(); i++)
        g_assert_cmpstr(read[i].c_str(), ==, cells[i].c_str());
    }
    gtk_widget_destroy(GTK_WIDGET(gtk_builder_get_object(builder, "main_window")));
  }
}

// The lines of the rows' notes on `topics` ("== " and the note), topic by topic, each topic's
// in the order of the widgets' ids; with no topics, those on any other.
static std::vector<std::string> noted(const std::vector<quillet::widgets::Note> &notes,
                                      std::initializer_list<std::string_view> topics) {
  static constexpr std::string_view kKnown[] = {"selects", "starts at", "exit",   "chosen",
                                                "digits",  "hidden",    "filter", "closes"};
  std::vector<std::string> lines;
  for (const quillet::widgets::Note &note : notes)
    if (topics.size() == 0 && std::ranges::find(kKnown, note.topic) == std::end(kKnown))
      lines.push_back("== " + note.line);
  for (std::string_view topic : topics)
    for (const quillet::widgets::Note &note : notes)
      if (note.topic == topic)
        lines.push_back("== " + note.line);
  return lines;
}

// The layout, the actions, then the feeds when there are any: "id (kind)", the script below,
// and what the rows keep for the window that the layout does not say. With `extras`, also
// the document order and what the dialog as a whole keeps.
static std::string transform(const char *program, bool extras) {
  g_autoptr(XmlTransformer) transformer = xml_transformer_new();
  g_autofree char *layout = xml_transformer_process_and_clean_xml(transformer, program);
  std::string out = std::string(layout) + "== widget actions\n" +
                    dump_actions(xml_transformer_get_widget_actions(transformer));
  const quillet::transform::DialogExtras *x = xml_transformer_get_extras(transformer);
  if (checking)
    assert_rows_apart(layout, *x);
  if (!x->feeds.empty())
    out += "== feeds\n";
  for (const quillet::transform::Feed &feed : x->feeds)
    out += feed.object_id + " (" + feed.kind + ")\n  > " + feed.command + "\n";
  const std::vector<quillet::widgets::Note> notes = x->records.notes();
  for (const std::string &line : noted(notes, {"selects", "starts at"}))
    out += line + "\n";
  for (const auto &[event, widgets] : x->events)
    for (const auto &[id, commands] : widgets)
      for (const std::string &command : commands)
        out += "== on " + event + " " + id + " > " + command + "\n";
  if (!extras)
    return out;
  out += "== order:";
  for (const std::string &id : x->order)
    out += " " + id;
  for (const std::string &line : noted(notes, {"exit", "chosen", "digits", "hidden", "filter"}))
    out += "\n" + line;
  if (!x->mnemonics)
    out += "\n== no Alt keys";
  if (x->timeout_ms > 0)
    out += "\n== timeout " + std::to_string(x->timeout_ms) + " ms";
  if (x->keep_above)
    out += "\n== kept above";
  for (const std::string &line : noted(notes, {"closes"}))
    out += "\n" + line;
  for (const std::string &line : noted(notes, {}))
    out += "\n" + line;
  if (!x->default_button.empty())
    out += "\n== default " + x->default_button;
  for (const std::string &id : x->hidden)
    out += "\n== starts hidden " + id;
  return out + "\n";
}

static std::string walk(const char *clean) {
  g_autoptr(GHashTable) actions = g_hash_table_new_full(
      g_str_hash, g_str_equal, g_free, reinterpret_cast<GDestroyNotify>(g_ptr_array_unref));
  g_autoptr(GString) sb = g_string_new(nullptr);
  int counter = 0;
  quillet::transform::build_layout(sb, clean, actions, counter);
  return std::string(sb->str) + "== widget actions\n" + dump_actions(actions);
}

static std::string clean(const char *input) {
  g_autoptr(XmlPreprocessor) preprocessor = xml_preprocessor_new();
  g_autofree char *out = xml_preprocessor_clean_legacy_syntax(preprocessor, input);
  return std::string(out) + "\n";
}

// The layout is what comes before the actions.
static void assert_gtk_loads(const std::string &output) {
  const std::string layout = output.substr(0, output.find("== widget actions\n"));
  if (layout.find("id=\"main_window\"") == std::string::npos)
    return;
  g_autoptr(GtkBuilder) builder = gtk_builder_new();
  g_autoptr(GError) error = nullptr;
  gtk_builder_add_from_string(builder, layout.c_str(), -1, &error);
  g_assert_no_error(error);
  GObject *window = gtk_builder_get_object(builder, "main_window");
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

// cases.txt: "== MODE NAME" lines (MODE clean, walk or transform; "MODE\" when the text below
// is written with C escapes), each followed by its text up to the next such line.
static std::string run_cases(const std::string &cases) {
  std::string out;
  g_auto(GStrv) parts =
      g_regex_split_simple("^== ", cases.c_str(), G_REGEX_MULTILINE, GRegexMatchFlags(0));
  for (char **part = parts; *part != nullptr; part++) {
    const std::string_view text = *part;
    const size_t eol = text.find('\n');
    if (text.empty() || eol == std::string_view::npos)
      continue;
    const std::string header(text.substr(0, eol));
    std::string body(text.substr(eol + 1, text.size() - eol - 1 - text.ends_with('\n')));
    const std::string mode = header.substr(0, header.find(' '));
    if (mode.ends_with('\\')) {
      g_autofree char *raw = g_strcompress(body.c_str());
      body = raw;
    }
    const bool whole = !mode.starts_with("clean") && !mode.starts_with("walk");
    const std::string got = whole                       ? transform(body.c_str(), true)
                            : mode.starts_with("clean") ? clean(body.c_str())
                                                        : walk(body.c_str());
    if (whole && checking)
      assert_gtk_loads(got);
    out += "== " + header + "\n" + got;
  }
  return out;
}

static std::string expected_output(const char *path) {
  const std::string input = read_file(path);
  return g_str_has_suffix(path, ".txt") ? run_cases(input) : transform(input.c_str(), false);
}

static void test_expected_file(gconstpointer data) {
  const std::string name = static_cast<const char *>(data);
  const std::string expected = name.substr(0, name.rfind('.')) + ".expected";
  const std::string got =
      expected_output(g_test_get_filename(G_TEST_DIST, "data", name.c_str(), NULL));
  const std::string want =
      read_file(g_test_get_filename(G_TEST_DIST, "data", expected.c_str(), NULL));
  g_assert_cmpstr(got.c_str(), ==, want.c_str());
  if (name.ends_with(".xml"))
    assert_gtk_loads(got);
}

// Generated ids carry over from one program to the next.
static void test_counter_carries_over() {
  g_autoptr(XmlTransformer) transformer = xml_transformer_new();
  g_free(xml_transformer_process_and_clean_xml(transformer, "<window></window>"));
  g_free(xml_transformer_process_and_clean_xml(transformer, "<window></window>"));
  const std::string actions = dump_actions(xml_transformer_get_widget_actions(transformer));
  g_assert_cmpstr(actions.c_str(), ==, "auto_id_1\nauto_id_2\n");
  g_assert_cmpuint(xml_transformer_get_nesting_depth(transformer), ==, 1);
}

int main(int argc, char **argv) {
  g_setenv("QUILLET_TEST_WORD", "w0rd", TRUE);
  if (argc == 2 && argv[1][0] != '-') {
    gtk_init(&argc, &argv);
    checking = false;
    fputs(expected_output(argv[1]).c_str(), stdout);
    return 0;
  }

  g_test_init(&argc, &argv, NULL);
  g_test_summary("XML programs become GtkBuilder layouts that GTK loads.");
  if (!gtk_init_check(&argc, &argv)) {
    printf("Bail out! These tests load layouts into GTK: run them under xvfb-run.\n");
    return 1;
  }

  g_autofree char *data_dir = g_test_build_filename(G_TEST_DIST, "data", NULL);
  g_autoptr(GDir) dir = g_dir_open(data_dir, 0, nullptr);
  std::set<std::string> names; // kept until the tests have run
  for (const char *file; dir != nullptr && (file = g_dir_read_name(dir)) != nullptr;)
    if (g_str_has_suffix(file, ".xml") || g_str_has_suffix(file, ".txt"))
      names.insert(file);
  for (const std::string &name : names) {
    g_autofree char *path = g_strconcat("/transform/expected/", name.c_str(), NULL);
    g_test_add_data_func(path, name.c_str(), test_expected_file);
  }
  g_test_add_func("/transform/counter-carries-over", test_counter_carries_over);
  return g_test_run();
}
