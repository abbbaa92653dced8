#include "export.h"

#include "common/checks.h"

#include <algorithm>
#include <cmath>
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <initializer_list>

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

namespace {

// A name that ends in '*' stands for every name it starts.
bool listed(std::string_view name, std::initializer_list<std::string_view> list) {
  for (std::string_view entry : list)
    if (entry.ends_with('*') ? name.starts_with(entry.substr(0, entry.size() - 1)) : name == entry)
      return true;
  return false;
}

} // namespace

const char *refused_name(std::string_view name) {
  // The evaluating shell's trace prompt, word splitting, command search, start-up files,
  // options and limits.
  if (listed(name, {"PS4", "PROMPT_COMMAND", "BASH_ENV", "ENV", "IFS", "PATH", "CDPATH",
                    "GLOBIGNORE", "SHELLOPTS", "BASHOPTS", "POSIXLY_CORRECT", "TMOUT", "FUNCNEST",
                    "EXECIGNORE", "GLOBSORT"}))
    return "steers the shell";
  // The dynamic loader, the C library, toolkits, graphics and crypto libraries and
  // interpreters read these at start-up to choose code to load or run: a typed path
  // would be run by every later command of the script or of an action.
  if (listed(name, {"LD_*",
                    "GCONV_PATH",
                    "GETCONF_DIR",
                    "GLIBC_TUNABLES",
                    "MALLOC_*",
                    "LOCPATH",
                    "NLSPATH",
                    "GTK_MODULES",
                    "GTK3_MODULES",
                    "GTK_PATH",
                    "GTK_EXE_PREFIX",
                    "GTK_IM_MODULE_FILE",
                    "GIO_EXTRA_MODULES",
                    "GIO_MODULE_DIR",
                    "GDK_PIXBUF_MODULE_FILE",
                    "GDK_PIXBUF_MODULEDIR",
                    "GI_TYPELIB_PATH",
                    "GST_PLUGIN_*",
                    "QT_PLUGIN_PATH",
                    "QT_QPA_PLATFORM_PLUGIN_PATH",
                    "LIBGL_DRIVERS_PATH",
                    "LIBVA_DRIVERS_PATH",
                    "VDPAU_DRIVER_PATH",
                    "GBM_BACKENDS_PATH",
                    "__EGL_VENDOR_LIBRARY_*",
                    "VK_*",
                    "OPENSSL_CONF",
                    "OPENSSL_ENGINES",
                    "OPENSSL_MODULES",
                    "SASL_PATH",
                    "DBUS_SESSION_BUS_ADDRESS",
                    "DBUS_SYSTEM_BUS_ADDRESS",
                    "LESSOPEN",
                    "LESSCLOSE",
                    "PYTHON*",
                    "PERL5LIB",
                    "PERLLIB",
                    "PERL5OPT",
                    "PERL5DB",
                    "RUBY*",
                    "NODE_OPTIONS",
                    "NODE_PATH",
                    "JAVA_TOOL_OPTIONS",
                    "_JAVA_OPTIONS",
                    "JDK_JAVA_OPTIONS",
                    "CLASSPATH",
                    "LUA_*",
                    "TCLLIBPATH",
                    "GUILE_LOAD_PATH",
                    "GUILE_LOAD_COMPILED_PATH",
                    "PHPRC",
                    "PHP_INI_SCAN_DIR",
                    "ZDOTDIR"}))
    return "makes programs load other code";
  // bash expands the prompts (command substitutions too) at its next prompt, refuses to
  // assign the read-only ones (a set -e or --posix script ends there) and gives the dynamic
  // ones values of its own; dash ends a script whose OPTIND is not a number.
  if (listed(name, {"PS0",          "PS1",           "PS2",      "PS3",
                    "UID",          "EUID",          "PPID",     "BASH_*",
                    "SECONDS",      "RANDOM",        "SRANDOM",  "LINENO",
                    "GROUPS",       "BASHPID",       "FUNCNAME", "HISTCMD",
                    "EPOCHSECONDS", "EPOCHREALTIME", "DIRSTACK", "PIPESTATUS",
                    "OPTIND",       "OPTARG",        "_"}))
    return "is special to bash";
  return nullptr;
}

namespace {

// A slider given a number of decimals is printed with exactly that many, every digit of
// the whole part included (up to 309 of them); anything else as a number that reads back
// the same.
std::string number_value(double value, int digits = -1) {
  if (digits < 0) {
    char number[G_ASCII_DTOSTR_BUF_SIZE];
    return g_ascii_dtostr(number, sizeof number, value);
  }
  std::string number(DBL_MAX_10_EXP + digits + 4, '\0'); // sign, point and NUL too
  g_autofree char *format = g_strdup_printf("%%.%df", digits);
  g_ascii_formatd(number.data(), static_cast<int>(number.size()), format, value);
  number.resize(strlen(number.c_str()));
  return number;
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

// A row as its cells joined by '|'.
void append_row(std::string &out, GtkTreeModel *model, GtkTreeIter *iter) {
  const int columns = gtk_tree_model_get_n_columns(model);
  for (int column = 0; column < columns; column++) {
    g_autofree char *text = nullptr;
    gtk_tree_model_get(model, iter, column, &text, -1);
    if (column > 0)
      out += '|';
    out += text != nullptr ? text : "";
  }
}

// The chosen row; where several may be chosen, each of them on a line of its own, in the
// list's order.
std::string tree_view_value(GtkTreeView *view) {
  GtkTreeSelection *selection = gtk_tree_view_get_selection(view);
  GtkTreeModel *model = nullptr;
  GtkTreeIter iter;
  std::string out;
  if (gtk_tree_selection_get_mode(selection) == GTK_SELECTION_MULTIPLE) {
    GList *rows = gtk_tree_selection_get_selected_rows(selection, &model);
    for (GList *row = rows; row != nullptr; row = row->next)
      if (gtk_tree_model_get_iter(model, &iter, static_cast<GtkTreePath *>(row->data))) {
        if (row != rows)
          out += '\n';
        append_row(out, model, &iter);
      }
    g_list_free_full(rows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
  } else if (gtk_tree_selection_get_selected(selection, &model, &iter)) {
    append_row(out, model, &iter);
  }
  return out;
}

// The path as the user chose it, absolute; a relative one typed into a save chooser's entry
// is taken from the current directory.
std::string file_value(GObject *object) {
  if (GTK_IS_ENTRY(object)) {
    const char *text = gtk_entry_get_text(GTK_ENTRY(object));
    if (text[0] == '\0')
      return {};
    g_autofree char *path = g_canonicalize_filename(text, nullptr);
    return path;
  }
  g_autofree char *path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(object));
  return path != nullptr ? path : "";
}

std::string date_value(GtkCalendar *calendar) {
  guint year = 0, month = 0, day = 0;
  gtk_calendar_get_date(calendar, &year, &month, &day);
  g_autofree char *text = g_strdup_printf("%04u-%02u-%02u", year, month + 1, day);
  return text;
}

std::string colour_value(GtkColorChooser *chooser) {
  GdkRGBA colour;
  gtk_color_chooser_get_rgba(chooser, &colour);
  const auto byte = [](double part) {
    return static_cast<unsigned>(std::lround(std::clamp(part, 0.0, 1.0) * 255));
  };
  g_autofree char *text =
      g_strdup_printf("#%02x%02x%02x", byte(colour.red), byte(colour.green), byte(colour.blue));
  return text;
}

std::string font_value(GtkFontChooser *chooser) {
  g_autofree char *font = gtk_font_chooser_get_font(chooser);
  return font != nullptr ? font : "";
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
  if (GTK_IS_FILE_CHOOSER(object) || g_object_get_data(object, kSaveChooser) != nullptr)
    return WidgetState{name, file_value(object)};
  if (GTK_IS_ENTRY(object))
    return WidgetState{name, gtk_entry_get_text(GTK_ENTRY(object))};
  if (GTK_IS_CALENDAR(object))
    return WidgetState{name, date_value(GTK_CALENDAR(object))};
  if (GTK_IS_COLOR_CHOOSER(object))
    return WidgetState{name, colour_value(GTK_COLOR_CHOOSER(object))};
  if (GTK_IS_FONT_CHOOSER(object))
    return WidgetState{name, font_value(GTK_FONT_CHOOSER(object))};
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
    return WidgetState{name, tree_view_value(GTK_TREE_VIEW(object)),
                       gtk_tree_selection_get_mode(gtk_tree_view_get_selection(
                           GTK_TREE_VIEW(object))) == GTK_SELECTION_MULTIPLE};
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
