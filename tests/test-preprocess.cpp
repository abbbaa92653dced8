// Cleaning of the legacy markup, and the items that input commands produce.

#include "preprocess/cleaning.h"
#include "preprocess/xml_preprocessor.h"

#include <glib/gstdio.h>

#include <string>

struct CleanCase {
  const char *path;
  const char *input;
  const char *expected;
};

// Markup without input commands: nothing runs, only the text changes.
static const CleanCase kCleanCases[] = {
    {"/empty", "", ""},
    {"/blank", " \t\r\n\f ", ""},
    {"/tags-on-lines", "<window><vbox></vbox></window>", "\n<window>\n<vbox>\n</vbox>\n</window>"},
    {"/outer-blanks", "  <a>\n<b>  ", "\n<a>\n\n<b>"},
    {"/vertical-tab-kept", "\v<a>", "\v\n<a>"},
    {"/amp/blank", "Tom & Jerry", "Tom &amp; Jerry"},
    {"/amp/before-letter", "Tom &Jerry", "Tom &amp;Jerry"},
    {"/amp/inside-word", "R&D", "R&amp;D"},
    {"/amp/doubled", "a && b", "a &amp;&amp; b"},
    {"/amp/at-end", "ends &", "ends &amp;"},
    {"/amp/unknown-entity", "&nbsp;", "&amp;nbsp;"},
    {"/amp/references-kept", "&amp;&lt;&gt;&quot;&apos;&#169;&#xA9;",
     "&amp;&lt;&gt;&quot;&apos;&#169;&#xA9;"},
    {"/amp/broken-references", "&#; &#x; &#12 &#xg;", "&amp;#; &amp;#x; &amp;#12 &amp;#xg;"},
    {"/frame/title", "<frame Options>", "\n<frame frame_label=\"Options\">"},
    {"/frame/blanks", "<frame  Big Title >", "\n<frame frame_label=\"Big Title \">"},
    {"/frame/bare", "<frame>", "\n<frame>"},
    {"/frame/attribute", "<frame label=\"X\">", "\n<frame frame_label=\"label=\"X\"\">"},
    {"/frame/attribute-form-kept", "<frame frame_label=\"My Title\">",
     "\n<frame frame_label=\"My Title\">"},
    {"/button/ok", "<button ok>", "\n<button id=\"btn_ok\" label=\"OK\">"},
    {"/button/ok-blanks", "<button  ok >", "\n<button id=\"btn_ok\" label=\"OK\">"},
    {"/button/ok-tab", "<button\tok>", "\n<button id=\"btn_ok\" label=\"OK\">"},
    {"/button/cancel", "<button cancel>", "\n<button id=\"btn_cancel\" label=\"Cancel\">"},
    {"/button/not-legacy", "<button OK><button okay><button ok/><button cancel/>",
     "\n<button OK>\n<button okay>\n<button ok/>\n<button cancel/>"},
    {"/input/not-exact", "<input file>x</input><INPUT>x</INPUT>",
     "\n<input file>x\n</input>\n<INPUT>x\n</INPUT>"},
    {"/input/unclosed", "<input>echo & x", "\n<input>echo &amp; x"},
    // Commands reach their program as written; only the tags around them are cleaned.
    {"/action/untouched", "<button><action>make && make install</action></button>",
     "\n<button>\n<action>make && make install\n</action>\n</button>"},
    {"/action/markup-inside",
     "<action>if [ 1 < 2 ]; then echo '<button ok>' '<frame x>'; fi</action>",
     "\n<action>if [ 1 < 2 ]; then echo '<button ok>' '<frame x>'; fi\n</action>"},
    {"/action/attributes", "<action signal=\"x&y\">a & b</action>",
     "\n<action signal=\"x&amp;y\">a & b\n</action>"},
    {"/action/input-inside", "<action><input>echo hi</input></action>",
     "\n<action><input>echo hi</input>\n</action>"},
    {"/action/not-action-tag", "<actions>a & b</actions>", "\n<actions>a &amp; b\n</actions>"},
    {"/action/unclosed", "<action>a & b<entry>", "\n<action>a &amp; b\n<entry>"},
    {"/invalid-utf8", "<text>\xff\xfe ok</text>", "\n<text>\xef\xbf\xbd\xef\xbf\xbd ok\n</text>"},
};

static std::string clean(const char *input) {
  g_autoptr(XmlPreprocessor) preprocessor = xml_preprocessor_new();
  g_autofree char *out = xml_preprocessor_clean_legacy_syntax(preprocessor, input);
  return out;
}

static void test_clean(gconstpointer data) {
  const auto *c = static_cast<const CleanCase *>(data);
  const std::string cleaned = clean(c->input);
  g_assert_cmpstr(cleaned.c_str(), ==, c->expected);
}

// Input elements whose commands really run through bash.
static const CleanCase kInputCases[] = {
    {"/worked-example",
     "<window><frame Choose><combobox><input>printf 'red\\nblue\\n'</input></combobox></frame>"
     "<button ok></button></window>",
     "\n<window>\n<frame frame_label=\"Choose\">\n<combobox>\n<item>red</item>\n"
     "<item>blue</item>\n\n</combobox>\n</frame>\n<button id=\"btn_ok\" label=\"OK\">\n"
     "</button>\n</window>"},
    {"/every-line", "<input>seq 5</input>",
     "\n<item>1</item>\n<item>2</item>\n<item>3</item>\n<item>4</item>\n<item>5</item>\n"},
    {"/blank-lines", "<input>printf '\\n\\n  a  \\r\\n\\n b\\n'</input>",
     "\n<item>a</item>\n<item>b</item>\n"},
    {"/xml-escaped", "<input>echo '2 < 3 & 4 > 1'</input>",
     "\n<item>2 &lt; 3 &amp; 4 &gt; 1</item>\n"},
    {"/each-own-items", "<input>echo a</input><input>echo b</input>",
     "\n<item>a</item>\n\n<item>b</item>\n"},
    {"/backslash-d", "<input>printf '%s\\n' 'C:\\data'</input>", "\n<item>C:\\data</item>\n"},
    {"/backslash-t", "<input>printf '%s\\n' 'a\\tb' '\\1'</input>",
     "\n<item>a\\tb</item>\n<item>\\1</item>\n"},
    {"/shell-operators", "<input>[ 1 -lt 2 ] && echo 'a<b>c' & wait</input>",
     "\n<item>a&lt;b&gt;c</item>\n"},
    {"/redirect", "<input>sort < /dev/null; echo done</input>", "\n<item>done</item>\n"},
    {"/dollar-unescaped", "<input>echo \\$QUILLET_TEST_WORD</input>", "\n<item>w0rd</item>\n"},
    {"/failing-command", "<input>echo a; exit 1</input>", "\n<item>a</item>\n"},
    {"/nul-in-output", "<input>printf 'a\\nb\\0c\\n'</input>",
     "\n<item>a</item>\n<item>bc</item>\n"},
    {"/stdin-at-eof", "<input>read x && echo line || echo eof</input>", "\n<item>eof</item>\n"},
    {"/invalid-utf8-output", "<input>printf 'x\\377y\\n'</input>",
     "\n<item>x\xef\xbf\xbdy</item>\n"},
    {"/prints-nothing", "<a><input>true</input></a>", "\n<a>\n\n</a>"},
    {"/empty-command", "<a><input>  </input></a>", "\n<a>\n\n</a>"},
    {"/stderr-ignored", "<input>echo out; echo err >&2</input>", "\n<item>out</item>\n"},
};

static void test_input(gconstpointer data) {
  const auto *c = static_cast<const CleanCase *>(data);
  g_setenv("QUILLET_TEST_WORD", "w0rd", TRUE);
  const std::string cleaned = clean(c->input);
  g_assert_cmpstr(cleaned.c_str(), ==, c->expected);
}

static void test_input_runs_once_in_order() {
  g_autofree char *dir = g_dir_make_tmp("quillet-test-XXXXXX", nullptr);
  g_autofree char *log = g_build_filename(dir, "log", NULL);
  g_setenv("QUILLET_TEST_LOG", log, TRUE);
  clean("<input>echo one >> \"$QUILLET_TEST_LOG\"</input><list>"
        "<input>echo two >> \"$QUILLET_TEST_LOG\"</input></list>");
  g_autofree char *contents = nullptr;
  g_file_get_contents(log, &contents, nullptr, nullptr);
  g_assert_cmpstr(contents, ==, "one\ntwo\n");
  g_remove(log);
  g_rmdir(dir);
}

static void test_input_cannot_start() {
  g_autofree char *path = g_strdup(g_getenv("PATH"));
  g_setenv("PATH", "/nonexistent", TRUE);
  const std::string out = clean("<a><input>echo x</input></a>");
  g_setenv("PATH", path, TRUE);
  g_assert_cmpstr(out.c_str(), ==, "\n<a>\n\n</a>");
}

static void test_items_from_output() {
  const struct {
    const char *output;
    const char *items;
  } cases[] = {
      {"", ""},
      {" \n\r\n\t", ""},
      {"red\nblue\n", "<item>red</item>\n<item>blue</item>\n"},
      {"\"q\" 'a' \\", "<item>\"q\" 'a' \\</item>\n"},
  };
  for (const auto &c : cases) {
    const std::string items = quillet::preprocess::items_from_output(c.output);
    g_assert_cmpstr(items.c_str(), ==, c.items);
  }
}

static void test_null_arguments() {
  g_autoptr(XmlPreprocessor) preprocessor = xml_preprocessor_new();
  g_test_expect_message(nullptr, G_LOG_LEVEL_CRITICAL,
                        "xml_preprocessor_clean_legacy_syntax: assertion 'self != NULL' failed");
  g_assert_null(xml_preprocessor_clean_legacy_syntax(nullptr, "<a>"));
  g_test_assert_expected_messages();
  g_test_expect_message(nullptr, G_LOG_LEVEL_CRITICAL,
                        "xml_preprocessor_clean_legacy_syntax: assertion 'raw_xml != NULL' failed");
  g_assert_null(xml_preprocessor_clean_legacy_syntax(preprocessor, nullptr));
  g_test_assert_expected_messages();
}

int main(int argc, char **argv) {
  g_test_init(&argc, &argv, NULL);
  g_test_summary("Legacy markup cleaning and input-command expansion.");
  for (const CleanCase &c : kCleanCases) {
    g_autofree char *path = g_strconcat("/preprocess/clean", c.path, NULL);
    g_test_add_data_func(path, &c, test_clean);
  }
  for (const CleanCase &c : kInputCases) {
    g_autofree char *path = g_strconcat("/preprocess/input", c.path, NULL);
    g_test_add_data_func(path, &c, test_input);
  }
  g_test_add_func("/preprocess/input/runs-once-in-order", test_input_runs_once_in_order);
  g_test_add_func("/preprocess/input/cannot-start", test_input_cannot_start);
  g_test_add_func("/preprocess/items-from-output", test_items_from_output);
  g_test_add_func("/preprocess/null-arguments", test_null_arguments);
  return g_test_run();
}
