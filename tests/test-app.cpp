// The application driver: command line, state export and shell quoting.

#include "app/actions.h"
#include "app/dialog.h"
#include "app/export.h"
#include "app/feeds.h"
#include "app/formats.h"
#include "app/quillet.h"
#include "app/values.h"
#include "common/output.h"
#include "common/strings.h"
#include "transform/xml_transformer.h"
#include "widgets/kinds.h"
#include "widgets/tables.h"

#include <glib/gstdio.h>

#include <algorithm>
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
  // A refused command line ends the process, so every case gets a process of its own.
  if (g_test_subprocess()) {
    g_setenv("QT_DIALOG", "<window/>", TRUE);
    g_setenv("QT_EMPTY", "", TRUE);
    std::vector<const char *> argv{"quillet"};
    argv.insert(argv.end(), c->args.begin(), c->args.end());
    g_autoptr(Quillet) app = quillet_new();
    quillet_parse_arguments(app, const_cast<char **>(argv.data()), static_cast<int>(argv.size()));
    g_assert_cmpstr(quillet_get_xml_program(app), ==, c->program);
    g_assert_cmpint(quillet_get_debug_mode(app), ==, c->debug);
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
    {"LANG", "changes how the shell reads the rest of the answer"},
    {"LANGUAGE", "changes how the shell reads the rest of the answer"},
    {"LC_ALL", "changes how the shell reads the rest of the answer"},
    {"LC_CTYPE", "changes how the shell reads the rest of the answer"},
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
    {"LANGS", nullptr},
    {"LC", nullptr},
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
    const std::string before = kind->read(widget).text;
    g_assert_cmpint(kind->set_value(widget, c.value), ==, c.taken);
    const std::string after = kind->read(widget).text;
    g_assert_cmpstr(after.c_str(), ==, c.taken ? c.value : before.c_str());
  }
}

// --- worked lists --------------------------------------------------------------------------

// A cell's text as an edit may leave it: bars, breaks, tabs, quotes, backslashes, UTF-8.
static std::string random_cell() {
  static const char *const kPieces[] = {"|", "\\", "\\|", "\t", "\n",       "\r",           "\"",
                                        "'", " ",  "a",   "7",  "\xc3\xa9", "\xe2\x82\xac", "true",
                                        "/"};
  std::string text;
  for (int i = g_test_rand_int_range(0, 6); i > 0; i--)
    text += kPieces[g_test_rand_int_range(0, G_N_ELEMENTS(kPieces))];
  return text;
}

// Whatever the cells hold, an edited list's value reopens it exactly (its rows, nested or
// not, and its check boxes); a list of check boxes or radio boxes reopens with the same rows
// ticked.
static void test_worked_lists() {
  std::string program =
      "<window><vbox><list variable=\"T\" columns=\"A|B|C\" "
      "column-types=\"check|text|number\" editable=\"true\"></list>"
      "<tree variable=\"N\" columns=\"A|B\" nested=\"true\" editable=\"2\"></tree>"
      "<list variable=\"C\" columns=\"A|B\" column-types=\"check|text\">";
  for (int row = 0; row < 6; row++)
    program += "<item>false|row " + std::to_string(row) + "</item>";
  program += "</list><tree variable=\"R\" column-types=\"radio|text\" columns=\"A|B\" "
             "nested=\"true\"><item>false|a</item><item>\tfalse|b</item><item>true|c</item>"
             "</tree></vbox></window>";
  g_autoptr(XmlTransformer) transformer = xml_transformer_new();
  g_autofree char *layout = xml_transformer_process_and_clean_xml(transformer, program.c_str());
  g_autoptr(GtkBuilder) builder = gtk_builder_new_from_string(layout, -1);
  auto *window = GTK_WIDGET(gtk_builder_get_object(builder, "main_window"));
  quillet::app::Actions actions(window, [] { return g_get_environ(); });
  quillet::app::Dialog dialog{builder, window, nullptr, nullptr};
  dialog.actions = &actions;
  quillet::app::dialog_set_up(dialog, *xml_transformer_get_extras(transformer));
  const auto list = [&](const char *id) { return gtk_builder_get_object(builder, id); };
  const quillet::widgets::Kind *kind = quillet::widgets::kind_of_widget(list("T"));
  // Its value: held here, as the assertions keep pointers to it.
  std::string value;
  const auto read = [&](const char *id) -> const std::string & {
    return value = kind->read(list(id)).text;
  };
  g_assert_cmpstr(read("R").c_str(), ==, "c");
  for (int round = 0; round < 200; round++) {
    quillet::widgets::Table flat(static_cast<size_t>(g_test_rand_int_range(0, 5)));
    quillet::widgets::Table nested(flat.size());
    for (size_t i = 0, depth = 0; i < flat.size(); i++) {
      flat[i] = {g_test_rand_bit() ? "true" : "false", random_cell(), random_cell()};
      depth =
          i == 0 ? 0 : static_cast<size_t>(g_test_rand_int_range(0, static_cast<int>(depth) + 2));
      nested[i] = {std::string(depth, '\t') + "n" + random_cell(), random_cell()};
    }
    for (const auto &[id, rows] : {std::pair{"T", &flat}, {"N", &nested}}) {
      const std::string text = quillet::widgets::table_text(*rows);
      g_assert_true(kind->set_value(list(id), text));
      const quillet::widgets::Value value = kind->read(list(id));
      g_assert_cmpstr(value.text.c_str(), ==, text.c_str());
      g_assert_true(value.table == *rows);
    }
    std::string ticked;
    for (int row = 0; row < 6; row++)
      if (g_test_rand_bit())
        ticked += (ticked.empty() ? "row " : "\nrow ") + std::to_string(row);
    g_assert_true(kind->set_value(list("C"), ticked));
    g_assert_cmpstr(read("C").c_str(), ==, ticked.c_str());
    const char *one = (const char *[]){"", "a", "a/b", "c"}[g_test_rand_int_range(0, 4)];
    g_assert_true(kind->set_value(list("R"), one));
    g_assert_cmpstr(read("R").c_str(), ==, one);
  }
  g_assert_false(kind->set_value(list("T"), "a|b|c|d"));
  g_assert_false(kind->set_value(list("C"), "no such row"));
  gtk_widget_destroy(window);
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
                                        "7",
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

// Rows of cells, each cell random bytes, the first of a row at times after tabs (a nested
// list's depth); never a single row of one empty cell, which writes as no rows at all.
static quillet::widgets::Table random_table() {
  quillet::widgets::Table rows(static_cast<size_t>(g_test_rand_int_range(0, 4)));
  for (std::vector<std::string> &row : rows) {
    row.resize(static_cast<size_t>(g_test_rand_int_range(1, 4)));
    for (std::string &cell : row)
      cell = std::string(static_cast<size_t>(g_test_rand_int_range(0, 3)), '\t') + random_bytes();
  }
  if (rows.size() == 1 && rows[0] == std::vector<std::string>{""})
    rows[0][0] = "|";
  return rows;
}

// Whatever the cells hold, their text gives back the same rows; a backslash before anything
// but what it escapes gives none.
static void test_table_text() {
  using namespace quillet::widgets;
  for (int round = 0; round < 500; round++) {
    const Table rows = random_table();
    const std::string text = table_text(rows);
    g_assert_cmpuint(std::ranges::count(text, '\n') + !rows.empty(), ==, rows.size());
    const std::optional<Table> read = table_rows(text);
    g_assert_true(read.has_value());
    g_assert_cmpuint(read->size(), ==, rows.size());
    for (size_t i = 0; i < rows.size(); i++)
      g_assert_true((*read)[i] == rows[i]);
  }
  for (const char *text : {"a\\", "a\\x|b", "\\\n"})
    g_assert_false(table_rows(text).has_value());
}

// Every value a widget may hold (bytes 1-255): what users type and paste (kFirstValues),
// random bytes (kRandomValues), then each non-ASCII byte before each ASCII one, at the end of
// a value, in its middle and before a character the formats escape. The value after each of
// them starts with a command, which a closing quote taken into a character would run.
static constexpr size_t kFirstValues = 9, kRandomValues = 200;

static std::vector<std::string> hostile_values() {
  const std::string run = "; touch PWNED; #";
  std::vector<std::string> values{
      "", "${HOME} $HOME $0 $$ !history ; && | > < * ?",
      "back\\slash \\\" \\n \\\\ $'x' 'a' tab\there\rcr\n",
      // A line pasted into an entry; a character and a digit (GB18030 reads a character of
      // four bytes); 0x88 and 'b' (two characters in Big5-HKSCS).
      "x\nADMIN=yes", "\u20ac3", "\u6208b\u6208",
      "\xe2\x82\xac\\$(touch PWNED) \xe2\x82\xac\"\xe2\x82\xac`touch PWNED`\xe2\x82\xac'",
      // An encoded surrogate, an overlong slash, past U+10FFFF, an emoji, a cut character.
      "\xed\xa0\x80 \xc0\xaf \xf4\x90\x80\x80 \xf0\x9f\x98\x80 \xe2\x82", run};
  for (int c = 1; c < 256; c++)
    values.back() += static_cast<char>(c);
  g_assert_cmpuint(values.size(), ==, kFirstValues);
  for (size_t round = 0; round < kRandomValues; round++)
    values.push_back(random_bytes());
  for (int high = 0x80; high < 0x100; high++) {
    std::string middle = run, escapes = run;
    for (int low = 1; low < 0x80; low++) {
      const std::string pair{static_cast<char>(high), static_cast<char>(low)};
      values.push_back(run + pair);
      middle += pair;
      escapes += pair + "\\\"$`'\n\r"[low % 7];
    }
    values.push_back(middle + static_cast<char>(high));
    values.push_back(escapes);
  }
  return values;
}

static std::vector<std::string> split_lines(const std::string &text) {
  g_auto(GStrv) lines = g_strsplit(text.c_str(), "\n", -1);
  return std::vector<std::string>(lines, lines + g_strv_length(lines));
}

static std::string join_lines(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &line : lines)
    text += (&line != lines.data() ? "\n" : "") + line;
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

// Locales whose charmaps take ASCII bytes into characters (a backslash as a second byte, a
// digit after a first one) or read two bytes as two characters, and UTF-8.
struct Locale {
  const char *name, *source, *charmap;
};

static const Locale kLocales[] = {
    {"C.UTF-8", nullptr, "UTF-8"},
    {"zh_CN.GBK", "zh_CN", "GBK"},
    {"zh_CN.GB18030", "zh_CN", "GB18030"},
    {"zh_TW.BIG5", "zh_TW", "BIG5"},
    {"zh_HK.BIG5-HKSCS", "zh_HK", "BIG5-HKSCS"},
    {"ja_JP.SJIS", "ja_JP", "SHIFT_JIS"},
    {"ja_JP.EUC-JP", "ja_JP", "EUC-JP"},
    {"ko_KR.EUC-KR", "ko_KR", "EUC-KR"},
};

// What `argv` prints on its standard output in `locale` (built in `locpath`) with an empty
// directory as the current one. It must succeed and make no file named PWNED there.
static std::string output_of(std::vector<const char *> argv, const Locale &locale,
                             const char *locpath) {
  g_autofree char *dir = g_dir_make_tmp("quillet-eval-XXXXXX", nullptr);
  argv.push_back(nullptr);
  g_autoptr(GSubprocessLauncher) launcher =
      g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE);
  g_subprocess_launcher_set_cwd(launcher, dir);
  g_subprocess_launcher_setenv(launcher, "LC_ALL", locale.name, TRUE);
  if (locale.source != nullptr)
    g_subprocess_launcher_setenv(launcher, "LOCPATH", locpath, TRUE);
  g_autoptr(GError) error = nullptr;
  g_autoptr(GSubprocess) process = g_subprocess_launcher_spawnv(launcher, argv.data(), &error);
  g_assert_no_error(error);
  g_autoptr(GBytes) out = nullptr;
  g_subprocess_communicate(process, nullptr, nullptr, &out, nullptr, &error);
  g_assert_no_error(error);
  g_autofree char *pwned = g_build_filename(dir, "PWNED", NULL);
  const bool ran = g_file_test(pwned, G_FILE_TEST_EXISTS);
  g_unlink(pwned);
  g_rmdir(dir);
  if (ran || !g_subprocess_get_successful(process))
    g_error("%s in %s %s (wait status %d)", argv[0], locale.name, ran ? "ran a command" : "failed",
            g_subprocess_get_status(process));
  gsize length = 0;
  const auto *data = static_cast<const char *>(g_bytes_get_data(out, &length));
  return std::string(data != nullptr ? data : "", length);
}

static std::string hex(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes)
    out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
  return out;
}

// Compares the bytes, shown in hexadecimal when they differ.
static void assert_bytes(std::string_view got, std::string_view wanted) {
  if (got == wanted)
    return;
  const std::string got_hex = hex(got), wanted_hex = hex(wanted);
  g_assert_cmpstr(got_hex.c_str(), ==, wanted_hex.c_str());
}

// What Python's json reads from the file at `path`, a line each: S and the bytes
// surrogateescape gives of a string, in hexadecimal, L and each string's of a list, separated
// by commas, or T and each row's of a list of lists, separated by semicolons.
static std::string through_python(const char *path) {
  return output_of(
      {"python3", "-c",
       "import json, sys\n"
       "hex = lambda v: v.encode('utf-8', 'surrogateescape').hex()\n"
       "answer = open(sys.argv[1], 'rb').read().decode('utf-8')\n"
       "for v in json.loads(answer).values():\n"
       "  if v and isinstance(v[0], list):\n"
       "    print('T' + ';'.join(','.join(map(hex, row)) for row in v))\n"
       "  else:\n"
       "    print('L' + ','.join(map(hex, v)) if isinstance(v, list) else 'S' + hex(v))\n",
       path},
      kLocales[0], nullptr);
}

// The states of hostile values: the first ones, and the random ones, of every form (lists,
// some with their items whole); all the others in the $'...' form, which the sh format
// answer writes in "...". With what Python's json reads from them (see through_python).
static std::vector<quillet::app::WidgetState> hostile_states(std::string &python) {
  std::vector<quillet::app::WidgetState> states;
  python = "S" + hex("OK") + "\n";
  for (std::string &value : hostile_values()) {
    const bool any = states.size() < kFirstValues + kRandomValues;
    const bool rows = any && g_test_rand_int_range(0, 4) == 0;
    quillet::app::WidgetState state{"V" + std::to_string(states.size()), std::move(value),
                                    !any || g_test_rand_bit(), rows};
    if (any && !rows && g_test_rand_int_range(0, 4) == 0) {
      state.table = random_table();
      state.value = quillet::widgets::table_text(*state.table);
      state.lines = true;
      python += state.table->empty() ? "L" : "T";
      for (const std::vector<std::string> &row : *state.table) {
        python += &row != state.table->data() ? ";" : "";
        for (size_t i = 0; i < row.size(); i++)
          python += (i > 0 ? "," : "") + hex(row[i]);
      }
      python += '\n';
      states.push_back(std::move(state));
      continue;
    }
    std::vector<std::string> items;
    if (rows && g_test_rand_bit())
      items = state.items = {random_bytes(), random_bytes()};
    else if (rows && !state.value.empty())
      items = split_lines(state.value);
    python += rows ? "L" : "S" + hex(state.value);
    for (size_t i = 0; i < items.size(); i++)
      python += (i > 0 ? "," : "") + hex(items[i]);
    python += '\n';
    states.push_back(std::move(state));
  }
  return states;
}

// Every value comes back exactly, nothing in it runs and no shell fails or crashes, from every
// format in every shell and locale that reads it: bash evaluates the bash and sh formats,
// dash and busybox the sh one, in UTF-8 and each locale above, and each prints the values
// back; Python's json reads the json one, the values reader all three. The bash format keeps
// every value on a line of its own.
static void test_answer_any_locale() {
  using namespace quillet::app;
  g_autofree char *dir = g_dir_make_tmp("quillet-answer-XXXXXX", nullptr);
  for (const Locale &locale : kLocales)
    if (locale.source != nullptr)
      build_locale(dir, locale.source, locale.charmap, locale.name);
  std::string python;
  const std::vector<WidgetState> states = hostile_states(python);
  // The charmap in force, then every value, each ended by a NUL.
  std::string print = "printf '%s\\0' \"$(locale charmap)\"";
  for (const WidgetState &state : states)
    print += " \"$" + state.name + "\"";
  g_autofree char *print_path = g_build_filename(dir, "print", NULL);
  g_autofree char *answer_path = g_build_filename(dir, "answer", NULL);
  g_autoptr(GError) error = nullptr;
  g_file_set_contents(print_path, print.c_str(), -1, &error);
  g_assert_no_error(error);

  for (Format format : {Format::bash, Format::sh, Format::json}) {
    g_autoptr(GString) answer = g_string_new(nullptr);
    append_answer(answer, format, "OK", states);
    g_file_set_contents(answer_path, answer->str, answer->len, &error);
    g_assert_no_error(error);
    const Values got = values_parse(answer->str);
    g_assert_cmpuint(got.notes.size(), ==, 0);
    g_assert_cmpuint(got.values.size(), ==, states.size());
    for (size_t i = 0; i < states.size(); i++) {
      const auto &[name, value] = got.values[i];
      const bool whole = format == Format::json && !states[i].items.empty();
      g_assert_cmpstr(name.c_str(), ==, states[i].name.c_str());
      assert_bytes(value.text, whole ? join_lines(states[i].items) : states[i].value);
      g_assert_true(!whole || value.items == states[i].items);
    }
    if (format == Format::json) {
      assert_bytes(through_python(answer_path), python);
      continue;
    }
    if (format == Format::bash)
      g_assert_cmpuint(std::count(answer->str, answer->str + answer->len, '\n'), ==,
                       states.size() + 1);
    for (const char *shell : {"bash", "dash", "busybox"})
      for (const Locale &locale : kLocales) {
        if (format == Format::bash && !g_str_equal(shell, "bash"))
          continue;
        std::vector<const char *> argv{shell, "-c",        "eval \"$(cat \"$1\")\" && . \"$2\"",
                                       "sh",  answer_path, print_path};
        if (g_str_equal(shell, "busybox"))
          argv.insert(argv.begin() + 1, "sh");
        const std::string out = output_of(argv, locale, dir);
        std::vector<std::string_view> read;
        for (size_t start = 0, end; (end = out.find('\0', start)) != std::string::npos;
             start = end + 1)
          read.emplace_back(out.data() + start, end - start);
        g_test_message("%s reading the %s format in %s", shell, format_name(format), locale.name);
        g_assert_cmpuint(read.size(), ==, states.size() + 1);
        assert_bytes(read[0], locale.charmap);
        for (size_t i = 0; i < states.size(); i++)
          assert_bytes(read[i + 1], states[i].value);
      }
  }
  g_autofree char *rm = g_strdup_printf("rm -rf '%s'", dir);
  g_spawn_command_line_sync(rm, nullptr, nullptr, nullptr, nullptr);
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
    values += (values.empty() ? "" : "|") + name + "=" + value.text;
  g_assert_cmpstr(values.c_str(), ==, c->values);
  g_assert_cmpuint(got.notes.size(), ==, c->notes);
}

// --- a command's output -------------------------------------------------------------------

// Random output (lines, NUL bytes, two-byte characters) read in random chunks within small
// bounds gives, however it is chunked, the lines of its text without NUL bytes: all of them,
// a last one without a newline too; or, when a byte comes after the most lines or bytes, those
// ended before it. Each is cut on a character boundary to the longest a line may be.
static void test_output_bounds() {
  constexpr std::string_view kPieces[] = {"a", "\n", std::string_view("\0", 1), "\xc3\xa9"};
  for (int round = 0; round < 3000; round++) {
    const size_t most_lines = g_test_rand_int_range(1, 6),
                 most_bytes = g_test_rand_int_range(1, 30), longest = g_test_rand_int_range(1, 8);
    std::string raw;
    for (int n = g_test_rand_int_range(0, 40); n > 0; n--)
      raw += kPieces[g_test_rand_int_range(0, G_N_ELEMENTS(kPieces))];

    std::string text = raw;
    std::erase(text, '\0');
    size_t stop = most_bytes, lines = 0;
    for (size_t i = 0; i < text.size() && stop == most_bytes; i++)
      if (text[i] == '\n' && ++lines == most_lines)
        stop = std::min(stop, i + 1);
    const bool past = text.size() > stop;
    const size_t eol = past ? text.rfind('\n', stop - 1) : std::string::npos;
    const std::string read = !past ? text : eol == std::string::npos ? "" : text.substr(0, eol + 1);
    std::vector<std::pair<std::string, bool>> wanted; // and whether it was cut
    for (std::string &line : split_lines(read))
      wanted.emplace_back(line.substr(0, quillet::utf8_fit(line, longest)), line.size() > longest);
    if (!read.empty() && read.back() == '\n')
      wanted.pop_back();

    quillet::output::Bound bound(longest, most_lines, most_bytes);
    std::vector<std::pair<std::string, bool>> got;
    const auto line = [&](std::string_view text, bool cut) { got.emplace_back(text, cut); };
    bool more = true;
    for (size_t at = 0, n; more && at < raw.size(); at += n) {
      n = g_test_rand_int_range(1, static_cast<gint32>(raw.size() - at) + 1);
      more = bound.take(std::string_view(raw).substr(at, n), line);
    }
    if (more)
      bound.finish(line);
    g_assert_cmpint(bound.past(), ==, past);
    g_assert_cmpint(more, !=, past);
    g_assert_true(got == wanted);
    g_assert_cmpuint(bound.lines(), ==, wanted.size());
    g_assert_cmpuint(bound.bytes(), ==, read.size());
  }
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
  g_test_add_func("/app/formats/any-shell-any-locale", test_answer_any_locale);
  g_test_add_func("/app/formats/table-text", test_table_text);
  g_test_add_func("/app/output/bounds", test_output_bounds);
  for (const ValuesCase &c : kValuesCases) {
    g_autofree char *path = g_strconcat("/app/values", c.path, NULL);
    g_test_add_data_func(path, &c, test_values);
  }
  if (gtk_init_check(&argc, &argv)) {
    g_test_add_func("/app/export/state-lines", test_state_lines);
    g_test_add_func("/app/values/set", test_set_values);
    g_test_add_func("/app/values/worked-lists", test_worked_lists);
  } else {
    printf("Bail out! The export tests need a display (run them under xvfb-run).\n");
  }
  return g_test_run();
}
