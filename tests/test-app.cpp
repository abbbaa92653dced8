// The application driver: command line, state export and shell quoting.

#include "app/export.h"
#include "app/feeds.h"
#include "app/quillet.h"

#include <glib/gstdio.h>

#include <string>
#include <vector>

// --- command line -------------------------------------------------------------------------

struct ArgsCase {
  const char *path;
  std::vector<const char *> args; // after the program name
  const char *program;            // the XML program afterwards
  gboolean debug;
};

static const ArgsCase kArgsCases[] = {
    {"/program/env", {"--program", "QT_DIALOG"}, "<window/>", FALSE},
    {"/program/short", {"-p", "QT_DIALOG"}, "<window/>", FALSE},
    {"/program/attached", {"--program=QT_DIALOG"}, "<window/>", FALSE},
    {"/program/short-attached", {"-p=QT_DIALOG"}, "<window/>", FALSE},
    {"/program/literal", {"-p", "<window></window>"}, "<window></window>", FALSE},
    {"/program/set-but-empty", {"-p", "QT_EMPTY"}, "", FALSE},
    {"/program/rightmost-wins", {"-p", "one", "--program", "two"}, "two", FALSE},
    {"/program/empty-attached", {"--program=", "-p="}, "", FALSE},
    {"/program/trailing-option", {"--program"}, "", FALSE},
    {"/program/takes-debug-as-name", {"-p", "--debug"}, "--debug", FALSE},
    {"/program/no-equals", {"-pQT_DIALOG", "--help", "-h"}, "", FALSE},
    {"/debug/first", {"--debug", "--help"}, "", TRUE},
    {"/debug/last", {"-p", "QT_DIALOG", "--debug"}, "<window/>", TRUE},
};

static void test_arguments(gconstpointer data) {
  const auto *c = static_cast<const ArgsCase *>(data);
  // debug_mode is process-wide and never cleared, so every case gets a process of its own.
  if (g_test_subprocess()) {
    g_setenv("QT_DIALOG", "<window/>", TRUE);
    g_setenv("QT_EMPTY", "", TRUE);
    std::vector<char *> argv{const_cast<char *>("quillet")};
    for (const char *arg : c->args)
      argv.push_back(const_cast<char *>(arg));
    g_autoptr(Quillet) app = quillet_new();
    quillet_parse_arguments(app, argv.data(), static_cast<int>(argv.size()));
    g_assert_cmpstr(quillet_get_xml_program(app), ==, c->program);
    g_assert_cmpint(quillet_get_debug_mode(), ==, c->debug);
    return;
  }
  g_test_trap_subprocess(nullptr, 0, G_TEST_SUBPROCESS_DEFAULT);
  g_test_trap_assert_passed();
  g_test_trap_assert_stdout("");
}

// --- quoting ------------------------------------------------------------------------------

// Evaluates `assignment` with `shell` in locale `locale` (built in `locpath` if set) and
// returns V. Nothing in the value may have run; with `exact`, the shell must have succeeded.
static std::string eval_in(const char *shell, const char *locale, const char *locpath,
                           const std::string &assignment, bool exact = true) {
  g_autofree char *dir = g_dir_make_tmp("quillet-eval-XXXXXX", nullptr);
  const char *argv[] = {
      shell, "-c",   "cd \"$2\" && eval \"$1\" && printf '%s' \"$V\"", shell, assignment.c_str(),
      dir,   nullptr};
  g_auto(GStrv) envp = g_environ_setenv(g_get_environ(), "LC_ALL", locale, TRUE);
  if (locpath != nullptr)
    envp = g_environ_setenv(envp, "LOCPATH", locpath, TRUE);
  g_autofree char *out = nullptr;
  int status = -1;
  g_autoptr(GError) error = nullptr;
  g_spawn_sync(nullptr, const_cast<char **>(argv), envp, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
               &out, nullptr, &status, &error);
  g_assert_no_error(error);
  if (exact)
    g_assert_cmpint(status, ==, 0);
  g_autofree char *pwned = g_build_filename(dir, "PWNED", NULL);
  if (g_file_test(pwned, G_FILE_TEST_EXISTS))
    g_error("%s in %s ran a command: %s", shell, locale, assignment.c_str());
  g_unlink(pwned);
  g_rmdir(dir);
  return out;
}

static void test_shell_names() {
  for (const char *name : {"NAME", "_x", "a1", "heartbeat_timer"})
    g_assert_true(quillet::app::is_shell_name(name));
  for (const char *name : {"", "1a", "my-var", "a b", "x;rm", "$(x)", "caf\xc3\xa9"})
    g_assert_false(quillet::app::is_shell_name(name));
  for (const char *name : {"PS4", "IFS", "PATH", "BASH_ENV", "ENV"})
    g_assert_true(quillet::app::steers_shell(name));
  for (const char *name : {"PS", "path", "ENVY", "SHELL_NAME"})
    g_assert_false(quillet::app::steers_shell(name));
}

// --- state export with real widgets -------------------------------------------------------

static std::string state_line(const char *name, GObject *object) {
  g_autoptr(GString) out = g_string_new(nullptr);
  quillet::app::append_state_line(out, name, object, false);
  return out->str;
}

static void test_state_lines() {
  g_autoptr(GtkBuilder) builder = gtk_builder_new();
  g_autoptr(GError) error = nullptr;
  // The widgets as the templates make them.
  gtk_builder_add_from_string(
      builder,
      "<interface>"
      "<object class=\"GtkAdjustment\" id=\"adj\"><property name=\"upper\">100</property>"
      "<property name=\"step-increment\">1</property></object>"
      "<object class=\"GtkListStore\" id=\"model\"><columns><column type=\"gchararray\"/>"
      "</columns><data><row><col id=\"0\">a \"row\"</col></row></data></object>"
      "<object class=\"GtkWindow\" id=\"w\"><child><object class=\"GtkBox\">"
      "<child><object class=\"GtkEntry\" id=\"entry\"/></child>"
      "<child><object class=\"GtkSpinButton\" id=\"spin\">"
      "<property name=\"adjustment\">adj</property></object></child>"
      "<child><object class=\"GtkCheckButton\" id=\"check\"/></child>"
      "<child><object class=\"GtkComboBoxText\" id=\"combo\"><items><item>one</item>"
      "<item>$two</item></items></object></child>"
      "<child><object class=\"GtkComboBoxText\" id=\"empty_combo\"/></child>"
      "<child><object class=\"GtkScale\" id=\"scale\"/></child>"
      "<child><object class=\"GtkProgressBar\" id=\"progress\"/></child>"
      "<child><object class=\"GtkTreeView\" id=\"tree\"><property name=\"model\">model</property>"
      "</object></child>"
      "<child><object class=\"GtkTextView\" id=\"text\"/></child>"
      "<child><object class=\"GtkButton\" id=\"button\"/></child>"
      "<child><object class=\"GtkLabel\" id=\"label\"/></child>"
      "</object></child></object></interface>",
      -1, &error);
  g_assert_no_error(error);
  auto get = [&](const char *id) { return gtk_builder_get_object(builder, id); };

  gtk_entry_set_text(GTK_ENTRY(get("entry")), "say \"$HOME\"");
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(get("spin")), 5);
  gtk_combo_box_set_active(GTK_COMBO_BOX(get("combo")), 1);
  gtk_range_set_range(GTK_RANGE(get("scale")), 0, 100);
  gtk_range_set_value(GTK_RANGE(get("scale")), 37.2);
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(get("progress")), 0.3);
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(get("text"))),
                           "it's \"two\"\nlines\\", -1);

  const struct {
    const char *id;
    const char *line;
  } cases[] = {
      {"entry", "entry=\"say \\\"\\$HOME\\\"\"\n"},
      {"spin", "spin=\"5\"\n"},
      {"check", "check=\"false\"\n"},
      {"combo", "combo=\"\\$two\"\n"},
      {"empty_combo", "empty_combo=\"\"\n"},
      {"scale", "scale=\"37.200000000000003\"\n"},
      {"progress", "progress=\"0.29999999999999999\"\n"},
      {"tree", "tree=\"\"\n"},
      {"text", "text=$'it\\x27s \\\"two\\\"\\nlines\\\\'\n"},
      {"button", ""},
  };
  for (const auto &c : cases) {
    const std::string line = state_line(c.id, get(c.id));
    g_assert_cmpstr(line.c_str(), ==, c.line);
  }

  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(get("check")), TRUE);
  std::string line = state_line("check", get("check"));
  g_assert_cmpstr(line.c_str(), ==, "check=\"true\"\n");
  GtkTreeView *tree = GTK_TREE_VIEW(get("tree"));
  g_autoptr(GtkTreePath) first = gtk_tree_path_new_first();
  gtk_tree_selection_select_path(gtk_tree_view_get_selection(tree), first);
  line = state_line("tree", get("tree"));
  g_assert_cmpstr(line.c_str(), ==, "tree=\"a \\\"row\\\"\"\n");

  // Lines from feeds: a percentage (clamped), a caption after '#'; what is no number is
  // ignored; NUL bytes dropped, invalid UTF-8 made valid; blank lines add no row.
  using quillet::app::feed_line;
  for (const char *l : {"40", "#  Copying <b> ", "4O", "", "250\r"})
    feed_line(get("progress"), "progressbar", l);
  g_assert_cmpstr(gtk_progress_bar_get_text(GTK_PROGRESS_BAR(get("progress"))), ==, "Copying <b>");
  line = state_line("progress", get("progress"));
  g_assert_cmpstr(line.c_str(), ==, "progress=\"1\"\n");
  feed_line(get("entry"), "entry", std::string_view("a\0b\xff\r", 5));
  g_assert_cmpstr(gtk_entry_get_text(GTK_ENTRY(get("entry"))), ==, "ab\xef\xbf\xbd");
  feed_line(get("label"), "text", " two  words");
  g_assert_cmpstr(gtk_label_get_text(GTK_LABEL(get("label"))), ==, " two  words");
  for (const char *l : {" added ", " "})
    feed_line(get("tree"), "list", l);
  GtkTreeModel *model = gtk_tree_view_get_model(tree);
  g_assert_cmpint(gtk_tree_model_iter_n_children(model, nullptr), ==, 2);
  g_autoptr(GtkTreePath) second = gtk_tree_path_new_from_indices(1, -1);
  gtk_tree_selection_select_path(gtk_tree_view_get_selection(tree), second);
  line = state_line("tree", get("tree"));
  g_assert_cmpstr(line.c_str(), ==, "tree=\"added\"\n");
  gtk_widget_destroy(GTK_WIDGET(get("w")));
}

// Random bytes 1-255 and shell syntax, with a non-ASCII byte before every character that
// gets escaped.
static std::string random_bytes() {
  static const char *const kPieces[] = {
      "$(touch PWNED)", "`touch PWNED`", "';touch PWNED;#", "\";touch PWNED;#", "\\",
      "\xe2\x82\xac",   "\xa4"};
  std::string text;
  const int length = g_test_rand_int_range(0, 24);
  for (int i = 0; i < length; i++) {
    std::string piece = kPieces[g_test_rand_int_range(0, G_N_ELEMENTS(kPieces))];
    if (g_test_rand_bit())
      piece = std::string(1, static_cast<char>(g_test_rand_int_range(1, 256)));
    for (char c : piece) {
      if (strchr("\\\"$`'\n", c) != nullptr)
        text += g_test_rand_bit() ? "\xe2\x82\xac" : "\xa4";
      text += c;
    }
  }
  return text;
}

static void build_locale(const char *dir, const char *input, const char *charmap,
                         const char *name) {
  g_autofree char *path = g_build_filename(dir, name, NULL);
  const char *argv[] = {"localedef", "-i", input, "-f", charmap, path, nullptr};
  int status = -1;
  g_autoptr(GError) error = nullptr;
  g_spawn_sync(
      nullptr, const_cast<char **>(argv), nullptr,
      GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL),
      nullptr, nullptr, nullptr, nullptr, &status, &error);
  g_assert_no_error(error);
  // localedef warns (status 1) about the charmaps' non-ASCII-compatible bytes.
  g_assert_true(g_file_test(path, G_FILE_TEST_IS_DIR));
}

// bash in UTF-8 gives back every value exactly; bash in GBK and Big5 (where a backslash can
// end a character) and dash (no $'...') may read another value but never run anything.
static void test_quoting_any_shell() {
  g_autofree char *locales = g_dir_make_tmp("quillet-locales-XXXXXX", nullptr);
  build_locale(locales, "zh_CN", "GBK", "zh_CN.GBK");
  build_locale(locales, "zh_TW", "BIG5", "zh_TW.BIG5");
  const std::string charmap = eval_in("bash", "zh_CN.GBK", locales, "V=$(locale charmap)");
  g_assert_cmpstr(charmap.c_str(), ==, "GBK");

  // Values a user may type, every byte but NUL, and random bytes.
  std::vector<std::string> values{
      "", "${HOME} $HOME $0 $$ !history ; && | > < * ?",
      "back\\slash \\\" \\n \\\\ $'x' tab\there\rcr\n",
      "\xe2\x82\xac\\$(touch PWNED) \xe2\x82\xac\"\xe2\x82\xac`touch PWNED`\xe2\x82\xac'",
      "';touch PWNED;#"};
  for (int c = 1; c < 256; c++)
    values.back() += static_cast<char>(c);
  for (int round = 0; round < 60; round++)
    values.push_back(random_bytes());
  for (const std::string &value : values) {
    const std::string lines[] = {"V=\"" + quillet::app::double_quoted(value) + "\"",
                                 "V=$'" + quillet::app::ansi_c_quoted(value) + "'"};
    for (const std::string &line : lines) {
      const std::string got = eval_in("bash", "C.UTF-8", nullptr, line);
      g_assert_cmpstr(got.c_str(), ==, value.c_str());
      // A quote left open would take in the next state line, whose value may hold a quote.
      const std::string two_lines = line + "\nW=\"';touch PWNED;#\"";
      eval_in("bash", "zh_CN.GBK", locales, two_lines, false);
      eval_in("bash", "zh_TW.BIG5", locales, two_lines, false);
      eval_in("dash", "C.UTF-8", nullptr, two_lines, false);
    }
  }
  g_autofree char *rm = g_strdup_printf("rm -rf '%s'", locales);
  g_assert_true(g_spawn_command_line_sync(rm, nullptr, nullptr, nullptr, nullptr));
}

int main(int argc, char **argv) {
  g_test_init(&argc, &argv, NULL);
  g_test_summary("Command line, state export and quoting of the application driver.");
  for (const ArgsCase &c : kArgsCases) {
    g_autofree char *path = g_strconcat("/app/arguments", c.path, NULL);
    g_test_add_data_func(path, &c, test_arguments);
  }
  g_test_add_func("/app/quoting/shell-names", test_shell_names);
  g_test_add_func("/app/quoting/any-shell-any-locale", test_quoting_any_shell);
  if (gtk_init_check(&argc, &argv)) {
    g_test_add_func("/app/export/state-lines", test_state_lines);
  } else {
    printf("Bail out! The export tests need a display (run them under xvfb-run).\n");
  }
  return g_test_run();
}
