#include "hollin_widgets.h"

#include "common/checks.h"

#include <string_view>

// Stateless: the type exists so the templates live under one registered name.
struct _HollinWidgets {
  GObject parent_instance;
};

G_DEFINE_TYPE(HollinWidgets, hollin_widgets, G_TYPE_OBJECT)

static void hollin_widgets_class_init(HollinWidgetsClass *) {}

static void hollin_widgets_init(HollinWidgets *) {}

namespace {

using namespace std::string_view_literals;

constexpr std::string_view kElements[] = {
    "window",      "vbox",     "hbox",        "notebook",    "frame",        "text",
    "entry",       "edit",     "checkbox",    "button",      "comboboxtext", "combobox",
    "spinbutton",  "slider",   "timer",       "progressbar", "tree",         "list",
    "filechooser", "calendar", "colorbutton", "fontbutton",
};

void append(GString *sb, std::string_view piece) {
  g_string_append_len(sb, piece.data(), static_cast<gssize>(piece.size()));
}

// Opens `<child>` and an object of `klass`, carrying `id` when one is given.
void open_child_object(GString *sb, std::string_view klass, const char *id = nullptr) {
  append(sb, "<child>\n<object class=\"");
  append(sb, klass);
  if (id != nullptr) {
    append(sb, "\" id=\"");
    g_string_append(sb, id);
  }
  append(sb, "\">\n");
}

void append_button_label(GString *sb, std::string_view id, const char *label) {
  std::string_view text = label;
  if (text.empty())
    text = id == "btn_ok"sv ? "OK"sv : id == "btn_cancel"sv ? "Cancel"sv : ""sv;
  if (text.empty())
    return;
  append(sb, "<property name=\"label\">");
  append(sb, text);
  append(sb, "</property>\n");
}

void append_text_start(GString *sb, const char *id) {
  open_child_object(sb, "GtkLabel", id);
  append(sb, "<property name=\"wrap\">True</property>\n<property name=\"xalign\">0</property>\n");
}

} // namespace

void hollin_widgets_append_fed_text_start(GString *sb, const char *id) {
  g_return_if_fail(sb != NULL);
  g_return_if_fail(id != NULL);
  append_text_start(sb, id);
}

gboolean hollin_widgets_is_widget_element(const char *name) {
  g_return_val_if_fail(name != NULL, FALSE);
  for (std::string_view element : kElements)
    if (element == name)
      return TRUE;
  return FALSE;
}

void hollin_widgets_append_element_start(GString *sb, const char *name, const char *id,
                                         const char *label, const char *title) {
  g_return_if_fail(sb != NULL);
  g_return_if_fail(name != NULL);
  g_return_if_fail(id != NULL);
  g_return_if_fail(label != NULL);
  g_return_if_fail(title != NULL);

  const std::string_view n = name;
  if (n == "window") {
    append(sb, "<object class=\"GtkWindow\" id=\"main_window\">\n<property name=\"title\">");
    g_string_append(sb, title);
    append(sb, "</property>\n");
  } else if (n == "vbox" || n == "hbox") {
    open_child_object(sb, "GtkBox");
    append(sb, n == "vbox" ? "<property name=\"orientation\">vertical</property>\n"
                           : "<property name=\"orientation\">horizontal</property>\n");
    append(sb, "<property name=\"spacing\">6</property>\n");
  } else if (n == "notebook") {
    // The walk hands every notebook a distinct object id of its own.
    open_child_object(sb, "GtkNotebook", id);
    append(sb, "<property name=\"scrollable\">True</property>\n");
  } else if (n == "frame") {
    open_child_object(sb, "GtkFrame");
    append(sb, "<property name=\"label\">");
    g_string_append(sb, label);
    append(sb, "</property>\n");
    open_child_object(sb, "GtkBox");
    append(sb, "<property name=\"orientation\">vertical</property>\n"
               "<property name=\"spacing\">6</property>\n"
               "<property name=\"margin\">8</property>\n");
  } else if (n == "text") {
    append_text_start(sb, nullptr);
  } else if (n == "entry") {
    open_child_object(sb, "GtkEntry", id);
    append(sb, "<property name=\"editable\">True</property>\n");
  } else if (n == "edit") {
    open_child_object(sb, "GtkScrolledWindow");
    open_child_object(sb, "GtkTextView", id);
    append(sb, "<property name=\"editable\">True</property>\n"
               "<property name=\"wrap-mode\">word</property>\n");
  } else if (n == "checkbox") {
    open_child_object(sb, "GtkCheckButton", id);
  } else if (n == "button") {
    open_child_object(sb, "GtkButton", id);
    append_button_label(sb, id, label);
  } else if (n == "comboboxtext" || n == "combobox") {
    open_child_object(sb, "GtkComboBoxText", id);
    append(sb, "<property name=\"active\">0</property>\n<items>\n");
  } else if (n == "spinbutton" || n == "slider") {
    open_child_object(sb, n == "spinbutton" ? "GtkSpinButton" : "GtkScale", id);
    append(sb, n == "spinbutton" ? "<property name=\"numeric\">True</property>\n"
                                 : "<property name=\"orientation\">horizontal</property>\n");
    append(sb, "<property name=\"adjustment\">adj_");
    g_string_append(sb, id);
    append(sb, "</property>\n");
  } else if (n == "timer") {
    open_child_object(sb, "GtkBox", id);
    append(sb, "<property name=\"visible\">False</property>\n");
  } else if (n == "progressbar") {
    open_child_object(sb, "GtkProgressBar", id);
    append(sb, "<property name=\"show-text\">True</property>\n");
  } else if (n == "calendar") {
    open_child_object(sb, "GtkCalendar", id);
  } else if (n == "colorbutton") {
    open_child_object(sb, "GtkColorButton", id);
  } else if (n == "fontbutton") {
    open_child_object(sb, "GtkFontButton", id);
  } else if (n == "tree" || n == "list") {
    open_child_object(sb, "GtkScrolledWindow");
    append(sb, "<property name=\"min-content-height\">120</property>\n"
               "<property name=\"propagate-natural-height\">True</property>\n");
    open_child_object(sb, "GtkTreeView", id);
    append(sb,
           "<property name=\"headers-visible\">False</property>\n<property name=\"model\">model_");
    g_string_append(sb, id);
    append(sb, "</property>\n<child>\n<object class=\"GtkTreeViewColumn\">\n<child>\n"
               "<object class=\"GtkCellRendererText\"/>\n<attributes>\n"
               "<attribute name=\"text\">0</attribute>\n</attributes>\n</child>\n</object>\n"
               "</child>\n");
  }
}

void hollin_widgets_append_chooser_start(GString *sb, const char *id, const char *action) {
  g_return_if_fail(sb != NULL);
  g_return_if_fail(id != NULL);
  g_return_if_fail(action != NULL);
  // A file chooser button cannot save: a save chooser is an entry, with a button beside it
  // that the driver wires to a save dialog.
  if (std::string_view(action) == "save") {
    open_child_object(sb, "GtkBox");
    append(sb, "<property name=\"orientation\">horizontal</property>\n"
               "<property name=\"spacing\">6</property>\n");
    open_child_object(sb, "GtkEntry", id);
    append(sb, "<property name=\"hexpand\">True</property>\n");
    return;
  }
  open_child_object(sb, "GtkFileChooserButton", id);
  append(sb, "<property name=\"action\">");
  g_string_append(sb, action);
  append(sb, "</property>\n");
}

void hollin_widgets_append_chooser_end(GString *sb, const char *action) {
  g_return_if_fail(sb != NULL);
  g_return_if_fail(action != NULL);
  if (std::string_view(action) == "save") {
    append(sb, "</object>\n</child>\n");
    open_child_object(sb, "GtkButton");
    append(sb, "<property name=\"label\">Choose…</property>\n"
               "</object>\n</child>\n");
  }
  append(sb, "</object>\n</child>\n");
}

void hollin_widgets_append_table_start(GString *sb, const char *id, const char *const *titles,
                                       gboolean multiple) {
  g_return_if_fail(sb != NULL);
  g_return_if_fail(id != NULL);
  g_return_if_fail(titles != NULL);
  open_child_object(sb, "GtkScrolledWindow");
  append(sb, "<property name=\"min-content-height\">120</property>\n"
             "<property name=\"propagate-natural-height\">True</property>\n");
  open_child_object(sb, "GtkTreeView", id);
  append(sb, titles[0] != nullptr ? "<property name=\"headers-visible\">True</property>\n"
                                  : "<property name=\"headers-visible\">False</property>\n");
  append(sb, "<property name=\"model\">model_");
  g_string_append(sb, id);
  append(sb, "</property>\n");
  if (multiple)
    append(sb, "<child internal-child=\"selection\">\n<object class=\"GtkTreeSelection\">\n"
               "<property name=\"mode\">multiple</property>\n</object>\n</child>\n");
  // Without titles, one column as a plain list has.
  const guint columns = titles[0] != nullptr ? g_strv_length(const_cast<char **>(titles)) : 1;
  for (guint i = 0; i < columns; i++) {
    append(sb, "<child>\n<object class=\"GtkTreeViewColumn\">\n");
    if (titles[0] != nullptr) {
      append(sb, "<property name=\"title\">");
      g_string_append(sb, titles[i]);
      append(sb, "</property>\n<property name=\"resizable\">True</property>\n");
    }
    g_string_append_printf(sb,
                           "<child>\n<object class=\"GtkCellRendererText\"/>\n<attributes>\n"
                           "<attribute name=\"text\">%u</attribute>\n</attributes>\n</child>\n"
                           "</object>\n</child>\n",
                           i);
  }
}

void hollin_widgets_append_element_end(GString *sb, const char *name) {
  g_return_if_fail(sb != NULL);
  g_return_if_fail(name != NULL);

  const std::string_view n = name;
  if (n == "window") {
    append(sb, "</object>\n");
  } else if (n == "frame" || n == "edit" || n == "tree" || n == "list") {
    // Two levels: the inner box or view, then its frame or scrolled window.
    append(sb, "</object>\n</child>\n</object>\n</child>\n");
  } else if (n == "comboboxtext" || n == "combobox") {
    append(sb, "</items>\n</object>\n</child>\n");
  } else if (hollin_widgets_is_widget_element(name)) {
    append(sb, "</object>\n</child>\n");
  }
}
