// The application driver: command line, state export and shell quoting.

#include "app/export.h"
#include "app/feeds.h"
#include "app/formats.h"
#include "app/quillet.h"
#include "app/values.h"
#include "widgets/kinds.h"

#include <glib/gstdio.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

// --- command line -------------------------------------------------------------------------

struct ArgsCase {
  const char *path;
  std::vector<const char *> args; // after the program name
  const char *program;            // the XML program afterwards
  gboolean debug;
  const char *format = "bash";
  const char *values = nullptr;
  const char *error = nullptr; // the message of a command line refused with status 2
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
    {"/format/attached", {"--format=json", "--values=-"}, "", FALSE, "json", "-"},
    {"/format/apart",
     {"--format", "sh", "--values", "a b", "--format", "bash"},
     "",
     FALSE,
     "bash",
     "a b"},
    {"/format/unknown", {"--format=JSON"}, "", FALSE, "", nullptr, "*not 'JSON'*"},
    {"/format/missing", {"-p", "x", "--format"}, "", FALSE, "", nullptr, "*not ''*"},
    {"/values/empty", {"--values="}, "", FALSE, "", nullptr, "*--values takes a file*"},
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
    g_assert_cmpstr(quillet_get_format(app), ==, c->format);
    g_assert_cmpstr(quillet_get_values_file(app), ==, c->values);
    return;
  }
  g_test_trap_subprocess(nullptr, 0, G_TEST_SUBPROCESS_DEFAULT);
  if (c->error != nullptr) {
    g_test_trap_assert_failed();
    g_test_trap_assert_stderr(c->error);
  } else {
    g_test_trap_assert_passed();
  }
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
      if (const auto state = quillet::app::widget_state(name.c_str(), object, false))
        quillet::app::append_state_line(out, *state);
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

// A value as a kind reads it, set from an answer, reads back the same; one the kind never
// reads (no such item, no number, no UTF-8, no date) is not taken and changes nothing.
struct SetCase {
  const char *id; // in state-widgets.ui, or made below
  const char *value;
  bool taken;
};

static const SetCase kSetCases[] = {
    {"entry", " two\n\nblank lines ", true},
    {"entry", "\xff", false},
    {"text", "  indented\n\n", true},
    {"check", "true", true},
    {"check", "yes", false},
    {"combo", "$two", true},
    {"combo", "three", false},
    {"spin", "7", true},
    {"spin", "7 copies", false},
    {"scale", "12.5", true},
    {"rows", "a \"row\"", true},
    {"rows", "", true},
    {"tree", "b", false},
    {"calendar", "2024-02-29", true},
    {"calendar", "2023-02-29", false},
    {"colour", "#12abef", true},
    {"font", "Serif Bold 12", true},
};

static void test_set_values() {
  g_autoptr(GtkBuilder) builder =
      gtk_builder_new_from_file(g_test_get_filename(G_TEST_DIST, "data", "state-widgets.ui", NULL));
  for (auto [id, type] : {std::pair{"calendar", GTK_TYPE_CALENDAR},
                          {"colour", GTK_TYPE_COLOR_BUTTON},
                          {"font", GTK_TYPE_FONT_BUTTON}}) {
    g_autoptr(GObject) widget = G_OBJECT(g_object_ref_sink(g_object_new(type, nullptr)));
    gtk_builder_expose_object(builder, id, widget);
  }
  for (const SetCase &c : kSetCases) {
    GObject *widget = gtk_builder_get_object(builder, c.id);
    const quillet::widgets::Kind *kind = quillet::widgets::kind_of_widget(widget);
    const std::string before = kind->read(widget, c.id, false).text;
    g_assert_cmpint(kind->set_value(widget, c.value), ==, c.taken);
    const std::string after = kind->read(widget, c.id, false).text;
    g_assert_cmpstr(after.c_str(), ==, c.taken ? c.value : before.c_str());
  }
}

// Random bytes 1-255 and shell syntax, with a non-ASCII byte before every character that
// gets escaped.
static std::string random_bytes() {
  static const char *const kPieces[] = {"$(touch PWNED)",
                                        "`touch PWNED`",
                                        "';touch PWNED;#",
                                        "\";touch PWNED;#",
                                        "\\",
                                        "\xe2\x82\xac",
                                        "\xa4",
                                        "\n",
                                        "\r\n"};
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

// GBK and Big5 locales, built once for the tests that need them and removed at the end.
static char *locales_dir = nullptr;

static const char *locales() {
  if (locales_dir == nullptr) {
    locales_dir = g_dir_make_tmp("quillet-locales-XXXXXX", nullptr);
    build_locale(locales_dir, "zh_CN", "GBK", "zh_CN.GBK");
    build_locale(locales_dir, "zh_TW", "BIG5", "zh_TW.BIG5");
    const std::string charmap = eval_in("bash", "zh_CN.GBK", locales_dir, "V=$(locale charmap)");
    g_assert_cmpstr(charmap.c_str(), ==, "GBK");
  }
  return locales_dir;
}

// Values a user may type, every byte but NUL, and random bytes.
static std::vector<std::string> hostile_values() {
  std::vector<std::string> values{
      "", "${HOME} $HOME $0 $$ !history ; && | > < * ?",
      "back\\slash \\\" \\n \\\\ $'x' 'a' tab\there\rcr\n",
      "\xe2\x82\xac\\$(touch PWNED) \xe2\x82\xac\"\xe2\x82\xac`touch PWNED`\xe2\x82\xac'",
      // An encoded surrogate, an overlong slash, past U+10FFFF, an emoji, a cut character.
      "\xed\xa0\x80 \xc0\xaf \xf4\x90\x80\x80 \xf0\x9f\x98\x80 \xe2\x82", "';touch PWNED;#"};
  for (int c = 1; c < 256; c++)
    values.back() += static_cast<char>(c);
  for (int round = 0; round < 60; round++)
    values.push_back(random_bytes());
  return values;
}

// bash in UTF-8 gives back every value exactly; bash in GBK and Big5 (where a backslash can
// end a character) and dash (no $'...') may read another value but never run anything.
static void test_quoting_any_shell() {
  const char *const locales = ::locales();
  for (const std::string &value : hostile_values()) {
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
}

// Each value as Python's json reads it: S or L (a list, its items joined by newlines), then
// the bytes surrogateescape gives, in hexadecimal; a line each.
static std::string through_python(const std::string &answer) {
  const char *argv[] = {"python3", "-c",
                        "import json, os, sys\n"
                        "answer = os.fsencode(sys.argv[1]).decode('utf-8')\n"
                        "for name, v in json.loads(answer).items():\n"
                        "  rows = isinstance(v, list)\n"
                        "  v = '\\n'.join(v) if rows else v\n"
                        "  print('LS'[not rows] + v.encode('utf-8', 'surrogateescape').hex())\n",
                        answer.c_str(), nullptr};
  g_auto(GStrv) envp = g_environ_setenv(g_get_environ(), "LC_ALL", "C.UTF-8", TRUE);
  g_autofree char *out = nullptr;
  int status = -1;
  g_autoptr(GError) error = nullptr;
  g_spawn_sync(nullptr, const_cast<char **>(argv), envp, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
               &out, nullptr, &status, &error);
  g_assert_no_error(error);
  g_assert_cmpint(status, ==, 0);
  return out;
}

// Every value back exactly from every format: sh through dash and bash in UTF-8, GBK and Big5
// (nothing run), json through Python's json, all three through the values reader.
static void test_formats_round_trip() {
  using namespace quillet::app;
  std::vector<WidgetState> states{{"EMPTY_ROWS", "", true, true}};
  std::string python = "S4f4b\nL\n"; // EXIT, then EMPTY_ROWS
  for (const std::string &value : hostile_values()) {
    const bool rows = g_test_rand_bit();
    states.push_back({"V" + std::to_string(states.size()), value, rows || g_test_rand_bit(), rows});
    python += rows ? 'L' : 'S';
    for (unsigned char c : value)
      python += "0123456789abcdef"[c >> 4], python += "0123456789abcdef"[c & 15];
    python += '\n';

    const WidgetState pair[] = {{"V", value, states.back().lines}, {"W", "';touch PWNED;#"}};
    g_autoptr(GString) sh = g_string_new(nullptr);
    append_answer(sh, Format::sh, "OK", pair);
    for (const char *shell : {"dash", "bash"})
      for (const char *locale : {"C.UTF-8", "zh_CN.GBK", "zh_TW.BIG5"}) {
        const std::string got = eval_in(shell, locale, locales(), sh->str);
        g_assert_cmpstr(got.c_str(), ==, value.c_str());
      }
  }
  for (Format format : {Format::bash, Format::sh, Format::json}) {
    g_autoptr(GString) answer = g_string_new(nullptr);
    append_answer(answer, format, "OK", states);
    const Values got = values_parse(answer->str);
    g_assert_cmpuint(got.notes.size(), ==, 0);
    g_assert_cmpuint(got.values.size(), ==, states.size());
    for (size_t i = 0; i < states.size(); i++) {
      g_assert_cmpstr(got.values[i].first.c_str(), ==, states[i].name.c_str());
      g_assert_cmpstr(got.values[i].second.c_str(), ==, states[i].value.c_str());
    }
    if (format == Format::json) {
      const std::string read = through_python(answer->str);
      g_assert_cmpstr(read.c_str(), ==, python.c_str());
    }
  }
}

// --- values of an earlier answer ---------------------------------------------------------

struct ValuesCase {
  const char *path;
  const char *text;
  const char *values; // NAME=value, joined by '|'
  size_t notes;       // parts skipped, each with a note
};

// Parts no format writes give nothing and a note each; the rest of the file is still read.
static const ValuesCase kValuesCases[] = {
    {"/shell/expanded", "A=\"$HOME\"\nB=`id`\nC=$(id)\nD=\"ok\"\nE=a;id\n", "D=ok", 4},
    {"/shell/hand-written", "# kept\n\nA='it'\\''s'\nB=plain-word_1.2\nC=$'\\x41\\101\\q\\t'",
     "A=it's|B=plain-word_1.2|C=AA\\q\t", 1},
    {"/shell/names", "EXIT=\"OK\"\nPATH=\"/x\"\n1A=\"x\"\nA B=\"x\"\nA=\"1\"\nZ=\nA=\"2\"\n",
     "A=2|Z=", 3},
    {"/shell/nul-and-locale", "A=$'\\0'\nB=$'\\u00e9'\nC=\"x\"\r\n", "", 3},
    {"/shell/open-quote", "A=\"x\nB=\"y\"\nC=\"z\"\n", "", 1},
    {"/json/members",
     "{\"EXIT\": \"OK\", \"A\": 1, \"B\": [\"x\", 2], \"C\": {\"D\": [\"e\"]}, "
     "\"E\": \"\\u00e9\\ud83d\\ude00\\udcff\\/\", \"F\": \"\\u0000\", \"G\": \"\\ud800\", "
     "\"PATH\": \"x\", \"H\": [], \"I\": [\"\", \"\"]}",
     "E=\xc3\xa9\xf0\x9f\x98\x80\xff/|H=|I=\n", 6},
    {"/json/broken", "{\"A\": \"1\", \"B\" \"2\", \"C\": \"3\"}", "A=1", 1},
    {"/json/after", " {\"A\": \"1\"} {\"B\": \"2\"}", "A=1", 1},
};

static void test_values(gconstpointer data) {
  const auto *c = static_cast<const ValuesCase *>(data);
  const quillet::app::Values got = quillet::app::values_parse(c->text);
  std::string values;
  for (const auto &[name, value] : got.values)
    values += (values.empty() ? "" : "|") + name + "=" + value;
  g_assert_cmpstr(values.c_str(), ==, c->values);
  g_assert_cmpuint(got.notes.size(), ==, c->notes);
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
  g_test_add_func("/app/formats/round-trip", test_formats_round_trip);
  for (const ValuesCase &c : kValuesCases) {
    g_autofree char *path = g_strconcat("/app/values", c.path, NULL);
    g_test_add_data_func(path, &c, test_values);
  }
  if (gtk_init_check(&argc, &argv)) {
    g_test_add_func("/app/export/state-lines", test_state_lines);
    g_test_add_func("/app/values/set", test_set_values);
  } else {
    printf("Bail out! The export tests need a display (run them under xvfb-run).\n");
  }
  const int status = g_test_run();
  if (locales_dir != nullptr) {
    g_autofree char *rm = g_strdup_printf("rm -rf '%s'", locales_dir);
    g_spawn_command_line_sync(rm, nullptr, nullptr, nullptr, nullptr);
    g_free(locales_dir);
  }
  return status;
}
