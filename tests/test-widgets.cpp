// Widget templates: every fragment byte for byte, and the button label rules.

#include "widgets/hollin_widgets.h"

#include <cstdio>
#include <string>

static const char *const kElements[] = {
    "window",     "vbox",   "hbox",     "notebook",    "frame",        "text",
    "entry",      "edit",   "checkbox", "button",      "comboboxtext", "combobox",
    "spinbutton", "slider", "timer",    "progressbar", "tree",         "list",
};

// Start and end fragment of every element, each under a "== name" line.
static std::string all_templates() {
  g_autoptr(GString) sb = g_string_new(nullptr);
  for (const char *name : kElements) {
    g_string_append_printf(sb, "== %s\n", name);
    hollin_widgets_append_element_start(sb, name, name[0] == 'n' ? "notebook_main" : "W", "",
                                        "Quillet");
    g_string_append(sb, "-- end\n");
    hollin_widgets_append_element_end(sb, name);
  }
  return sb->str;
}

static void test_templates_expected() {
  g_autofree char *path = g_test_build_filename(G_TEST_DIST, "data", "templates.expected", NULL);
  g_autofree char *expected = nullptr;
  g_autoptr(GError) error = nullptr;
  g_file_get_contents(path, &expected, nullptr, &error);
  g_assert_no_error(error);
  const std::string templates = all_templates();
  g_assert_cmpstr(templates.c_str(), ==, expected);
}

struct ButtonCase {
  const char *id;
  const char *label;
  const char *expected;
};

static const ButtonCase kButtonCases[] = {
    {"btn_ok", "",
     "<child>\n<object class=\"GtkButton\" id=\"btn_ok\">\n<property "
     "name=\"label\">OK</property>\n"},
    {"btn_cancel", "",
     "<child>\n<object class=\"GtkButton\" id=\"btn_cancel\">\n"
     "<property name=\"label\">Cancel</property>\n"},
    {"go", "", "<child>\n<object class=\"GtkButton\" id=\"go\">\n"},
    {"btn_ok", "Yes",
     "<child>\n<object class=\"GtkButton\" id=\"btn_ok\">\n"
     "<property name=\"label\">Yes</property>\n"},
    {"btn_cancel", "R&amp;D <x>\"",
     "<child>\n<object class=\"GtkButton\" id=\"btn_cancel\">\n"
     "<property name=\"label\">R&amp;D <x>\"</property>\n"},
};

static void test_button_label(gconstpointer data) {
  const auto *c = static_cast<const ButtonCase *>(data);
  g_autoptr(GString) sb = g_string_new(nullptr);
  hollin_widgets_append_element_start(sb, "button", c->id, c->label, "Quillet");
  g_assert_cmpstr(sb->str, ==, c->expected);
}

static void test_unknown_names() {
  g_autoptr(GString) sb = g_string_new("kept");
  for (const char *name : {"Entry", "label", "item", "action", "input", "Frame", ""}) {
    hollin_widgets_append_element_start(sb, name, "x", "y", "z");
    hollin_widgets_append_element_end(sb, name);
  }
  g_assert_cmpstr(sb->str, ==, "kept");
}

static void test_shared_templates() {
  for (auto [a, b] : {std::pair{"comboboxtext", "combobox"}, std::pair{"tree", "list"}}) {
    g_autoptr(GString) first = g_string_new(nullptr);
    g_autoptr(GString) second = g_string_new(nullptr);
    hollin_widgets_append_element_start(first, a, "I", "", "T");
    hollin_widgets_append_element_end(first, a);
    hollin_widgets_append_element_start(second, b, "I", "", "T");
    hollin_widgets_append_element_end(second, b);
    g_assert_cmpstr(first->str, ==, second->str);
  }
}

static void test_null_arguments() {
  g_autoptr(GString) sb = g_string_new(nullptr);
  const struct {
    const char *args[4];
    const char *condition;
  } cases[] = {
      {{nullptr, "i", "l", "t"}, "name != NULL"},
      {{"entry", nullptr, "l", "t"}, "id != NULL"},
      {{"entry", "i", nullptr, "t"}, "label != NULL"},
      {{"entry", "i", "l", nullptr}, "title != NULL"},
  };
  for (const auto &c : cases) {
    g_autofree char *message =
        g_strdup_printf("hollin_widgets_append_element_start: assertion '%s' failed", c.condition);
    g_test_expect_message(nullptr, G_LOG_LEVEL_CRITICAL, message);
    hollin_widgets_append_element_start(sb, c.args[0], c.args[1], c.args[2], c.args[3]);
    g_test_assert_expected_messages();
  }
  g_test_expect_message(nullptr, G_LOG_LEVEL_CRITICAL,
                        "hollin_widgets_append_element_end: assertion 'sb != NULL' failed");
  hollin_widgets_append_element_end(nullptr, "entry");
  g_test_assert_expected_messages();
  g_assert_cmpstr(sb->str, ==, "");
}

int main(int argc, char **argv) {
  // Run with "print" to write the fragments that templates.expected holds.
  if (argc == 2 && g_str_equal(argv[1], "print")) {
    fputs(all_templates().c_str(), stdout);
    return 0;
  }
  g_test_init(&argc, &argv, NULL);
  g_test_summary("The GtkBuilder fragments that open and close each widget element.");
  g_test_add_func("/widgets/templates/expected", test_templates_expected);
  for (const ButtonCase &c : kButtonCases) {
    g_autofree char *path =
        g_strdup_printf("/widgets/button-label/%s/%s", c.id, *c.label ? "given" : "default");
    g_test_add_data_func(path, &c, test_button_label);
  }
  g_test_add_func("/widgets/templates/unknown-names", test_unknown_names);
  g_test_add_func("/widgets/templates/shared", test_shared_templates);
  g_test_add_func("/widgets/templates/null-arguments", test_null_arguments);
  return g_test_run();
}
