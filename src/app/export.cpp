#include "export.h"

#include "common/checks.h"

#include <cstdio>

namespace quillet::app {

// In GBK, Big5 and Shift-JIS a backslash can be the second byte of a character, so bash
// in such a locale reads the byte before an escaping backslash and the backslash as one
// character and the escape is lost. A string that ends and opens again just before such a
// backslash gives the same value in every shell and locale.
namespace {

bool after_non_ascii(std::string_view out) {
  return !out.empty() && static_cast<unsigned char>(out.back()) >= 0x80;
}

} // namespace

std::string double_quoted(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '\\' || c == '"' || c == '$' || c == '`') {
      if (after_non_ascii(out))
        out += "\"\"";
      out += '\\';
    }
    out += c;
  }
  return out;
}

std::string ansi_c_quoted(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    const char *escape = nullptr;
    switch (c) {
    case '\\':
      escape = "\\\\";
      break;
    // A bare single quote would end the word for a shell without $'...' (dash), which would
    // run the rest of the text.
    case '\'':
      escape = "\\x27";
      break;
    case '"':
      escape = "\\\"";
      break;
    case '\n':
      escape = "\\n";
      break;
    default:
      out += c;
      continue;
    }
    if (after_non_ascii(out))
      out += "'$'";
    out += escape;
  }
  return out;
}

bool is_shell_name(std::string_view name) {
  if (name.empty() || g_ascii_isdigit(name[0]))
    return false;
  for (char c : name)
    if (!g_ascii_isalnum(c) && c != '_')
      return false;
  return true;
}

bool steers_shell(std::string_view name) {
  for (std::string_view steering : {"PS4", "PROMPT_COMMAND", "BASH_ENV", "ENV", "IFS", "PATH",
                                    "CDPATH", "GLOBIGNORE", "SHELLOPTS", "BASHOPTS"})
    if (name == steering)
      return true;
  return false;
}

namespace {

// A slider given a number of decimals is printed with exactly that many.
std::string number_value(double value, int digits = -1) {
  char number[G_ASCII_DTOSTR_BUF_SIZE];
  if (digits < 0)
    return g_ascii_dtostr(number, sizeof number, value);
  g_autofree char *format = g_strdup_printf("%%.%df", digits);
  return g_ascii_formatd(number, sizeof number, format, value);
}

std::string combo_box_value(const char *name, GtkComboBoxText *combo, bool debug) {
  g_autofree char *text = gtk_combo_box_text_get_active_text(combo);
  if (debug) {
    fprintf(stderr, "[CONTAINER DEBUG] Variable name requested: '%s'\n", name);
    fprintf(stderr, "[CONTAINER DEBUG] ComboBox selected row index: %d\n",
            gtk_combo_box_get_active(GTK_COMBO_BOX(combo)));
    fprintf(stderr, "[CONTAINER DEBUG] ComboBox string buffer in RAM: '%s'\n",
            text != nullptr ? text : "NULL");
  }
  return text != nullptr ? text : "";
}

std::string tree_view_value(GtkTreeView *view) {
  GtkTreeModel *model = nullptr;
  GtkTreeIter iter;
  if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(view), &model, &iter))
    return {};
  g_autofree char *text = nullptr;
  gtk_tree_model_get(model, &iter, 0, &text, -1);
  return text != nullptr ? text : "";
}

std::string text_view_value(GtkTextView *view) {
  GtkTextBuffer *buffer = gtk_text_view_get_buffer(view);
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  g_autofree char *text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
  return text;
}

} // namespace

std::optional<WidgetState> widget_state(const char *name, GObject *object, bool debug) {
  g_return_val_if_fail(name != NULL, std::nullopt);
  g_return_val_if_fail(object != NULL, std::nullopt);

  // The first class that matches decides: a spin button is an entry, a check button is
  // tested before anything else that is a button.
  if (GTK_IS_ENTRY(object))
    return WidgetState{name, gtk_entry_get_text(GTK_ENTRY(object))};
  if (GTK_IS_CHECK_BUTTON(object))
    return WidgetState{name,
                       gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(object)) ? "true" : "false"};
  if (GTK_IS_COMBO_BOX_TEXT(object))
    return WidgetState{name, combo_box_value(name, GTK_COMBO_BOX_TEXT(object), debug)};
  if (GTK_IS_SCALE(object))
    return WidgetState{name, number_value(gtk_range_get_value(GTK_RANGE(object)),
                                          GPOINTER_TO_INT(g_object_get_data(object, kDigits)) - 1)};
  if (GTK_IS_PROGRESS_BAR(object))
    return WidgetState{name, number_value(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(object)))};
  if (GTK_IS_TREE_VIEW(object))
    return WidgetState{name, tree_view_value(GTK_TREE_VIEW(object))};
  if (GTK_IS_TEXT_VIEW(object))
    return WidgetState{name, text_view_value(GTK_TEXT_VIEW(object)), true};
  return std::nullopt;
}

void append_state_line(GString *out, const WidgetState &state) {
  g_return_if_fail(out != NULL);
  if (state.lines) {
    const std::string quoted = ansi_c_quoted(state.value);
    g_string_append_printf(out, "%s=$'%s'\n", state.name.c_str(), quoted.c_str());
  } else {
    const std::string quoted = double_quoted(state.value);
    g_string_append_printf(out, "%s=\"%s\"\n", state.name.c_str(), quoted.c_str());
  }
}

void append_state_line(GString *out, const char *name, GObject *object, bool debug) {
  g_return_if_fail(out != NULL);
  g_return_if_fail(name != NULL);
  g_return_if_fail(object != NULL);
  if (const std::optional<WidgetState> state = widget_state(name, object, debug))
    append_state_line(out, *state);
}

} // namespace quillet::app
