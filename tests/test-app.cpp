// The application driver: command line, state export and shell quoting.

#include "app/export.h"
#include "app/feeds.h"
#include "app/quillet.h"

#include <glib/gstdio.h>

#include <map>
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
    std::vector<const char *> argv{"quillet"};
    argv.insert(argv.end(), c->args.begin(), c->args.end());
    g_autoptr(Quillet) app = quillet_new();
    quillet_parse_arguments(app, const_cast<char **>(argv.data()), static_cast<int>(argv.size()));
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
}

// Names neither printed nor given to actions, with why, and names like them that are kept.
static const std::pair<const char *, const char *> kRefusedNames[] = {
    {"PS4", "steers the shell"},
    {"IFS", "steers the shell"},
    {"PATH", "steers the shell"},
    {"BASH_ENV", "steers the shell"},
    {"ENV", "steers the shell"},
    {"LD_PRELOAD", "makes programs load other code"},
    {"LD_", "makes programs load other code"},
    {"GCONV_PATH", "makes programs load other code"},
    {"GLIBC_TUNABLES", "makes programs load other code"},
    {"MALLOC_PERTURB_", "makes programs load other code"},
    {"GTK_MODULES", "makes programs load other code"},
    {"GIO_EXTRA_MODULES", "makes programs load other code"},
    {"PYTHONSTARTUP", "makes programs load other code"},
    {"PERL5OPT", "makes programs load other code"},
    {"PS0", "is special to bash"},
    {"PS3", "is special to bash"},
    {"UID", "is special to bash"},
    {"BASH_VERSINFO", "is special to bash"},
    {"SRANDOM", "is special to bash"},
    {"OPTIND", "is special to bash"},
    {"_", "is special to bash"},
    {"PS", nullptr},
    {"path", nullptr},
    {"ENVY", nullptr},
    {"SHELL_NAME", nullptr},
    {"OLD_PRELOAD", nullptr},
    {"ld_preload", nullptr},
    {"BASH", nullptr},
    {"UIDS", nullptr},
    {"_x", nullptr},
};

static void test_refused_name(gconstpointer data) {
  const auto *c = static_cast<const std::pair<const char *, const char *> *>(data);
  g_assert_cmpstr(quillet::app::refused_name(c->first), ==, c->second);
}

// --- state export with real widgets -------------------------------------------------------

// The widgets of state-widgets.ui as built, then after rows are chosen and feeds wrote lines:
// a percentage (clamped), a caption after '#' and what is no number (ignored) to a progress
// bar; NUL bytes and invalid UTF-8 to an entry; a blank line (no row) and a row to a list.
static void test_state_lines() {
  g_autoptr(GtkBuilder) builder =
      gtk_builder_new_from_file(g_test_get_filename(G_TEST_DIST, "data", "state-widgets.ui", NULL));
  auto get = [&](const char *id) { return gtk_builder_get_object(builder, id); };
  g_autoptr(GString) out = g_string_new(nullptr);
  auto append_all = [&] {
    std::map<std::string, GObject *> widgets; // in the order of their names
    g_autoptr(GSList) objects = gtk_builder_get_objects(builder);
    for (GSList *o = objects; o != nullptr; o = o->next)
      if (GTK_IS_WIDGET(o->data))
        widgets[gtk_buildable_get_name(GTK_BUILDABLE(o->data))] = G_OBJECT(o->data);
    for (const auto &[name, object] : widgets)
      quillet::app::append_state_line(out, name.c_str(), object, false);
    g_string_append(out, "==\n");
  };
  append_all();

  using quillet::app::feed_line;
  for (const char *line : {"40", "#  Copying <b> ", "", "250\r", "4O"})
    feed_line(get("progress"), "progressbar", line);
  feed_line(get("entry"), "entry", std::string_view("a\0b\xff\r", 5));
  feed_line(get("label"), "text", " two  words");
  for (const char *line : {" ", " added "})
    feed_line(get("rows"), "list", line);
  g_autoptr(GtkTreePath) first = gtk_tree_path_new_first();
  gtk_tree_selection_select_path(gtk_tree_view_get_selection(GTK_TREE_VIEW(get("tree"))), first);
  gtk_tree_selection_select_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(get("rows"))));
  append_all();
  g_assert_cmpstr(gtk_progress_bar_get_text(GTK_PROGRESS_BAR(get("progress"))), ==, "Copying <b>");
  g_assert_cmpstr(gtk_label_get_text(GTK_LABEL(get("label"))), ==, " two  words");

  g_autofree char *expected = nullptr;
  g_autoptr(GError) error = nullptr;
  g_file_get_contents(g_test_get_filename(G_TEST_DIST, "data", "state-widgets.expected", NULL),
                      &expected, nullptr, &error);
  g_assert_no_error(error);
  g_assert_cmpstr(out->str, ==, expected);
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
  for (const auto &c : kRefusedNames) {
    g_autofree char *path = g_strconcat("/app/quoting/refused-names/", c.first, NULL);
    g_test_add_data_func(path, &c, test_refused_name);
  }
  g_test_add_func("/app/quoting/any-shell-any-locale", test_quoting_any_shell);
  if (gtk_init_check(&argc, &argv)) {
    g_test_add_func("/app/export/state-lines", test_state_lines);
  } else {
    printf("Bail out! The export tests need a display (run them under xvfb-run).\n");
  }
  return g_test_run();
}
