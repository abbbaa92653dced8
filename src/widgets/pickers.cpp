// Kinds that pick something from a dialog of their own: files and folders, dates, colours
// and fonts.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

namespace quillet::widgets {

namespace {

// An action the file chooser does not know opens a file.
std::string chooser_action(std::optional<std::string_view> action) {
  if (action == "save")
    return "save";
  return action == "folder" ? "select-folder" : "open";
}

// A file chooser button cannot save: a save chooser is an entry, with a button beside it
// that the window's set-up wires to a save dialog.
void start_filechooser(Draft &draft, Element &element, const Tag &tag) {
  element.form = chooser_action(attribute(tag.line, "action"));
  GString *sb = draft.body;
  const char *id = element.id.c_str();
  if (element.form == "save") {
    open_child_object(sb, "GtkBox");
    append(sb, "<property name=\"orientation\">horizontal</property>\n"
               "<property name=\"spacing\">6</property>\n");
    open_child_object(sb, "GtkEntry", id);
    append(sb, "<property name=\"hexpand\">True</property>\n");
    return;
  }
  open_child_object(sb, "GtkFileChooserButton", id);
  append(sb, "<property name=\"action\">");
  append(sb, element.form);
  append(sb, "</property>\n");
}

void end_filechooser(Draft &draft, const Element &chooser) {
  GString *sb = draft.body;
  if (chooser.form == "save") {
    append(sb, "</object>\n</child>\n");
    open_child_object(sb, "GtkButton");
    append(sb, "<property name=\"label\">Choose…</property>\n"
               "</object>\n</child>\n");
  }
  append(sb, "</object>\n</child>\n");
}

void filechooser_default(Draft &draft, Element &chooser, const std::string &text) {
  if (draft.extras != nullptr && !text.empty())
    draft.extras->paths[chooser.id] = plain_text(text);
}

void on_save_response(GtkDialog *dialog, int response, gpointer entry) {
  if (response == GTK_RESPONSE_ACCEPT) {
    g_autofree char *path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
    if (path != nullptr)
      gtk_entry_set_text(GTK_ENTRY(entry), path);
  }
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

// A save chooser's button opens the save dialog at the path in its entry.
void on_choose_save(GtkButton *button, gpointer entry) {
  GtkWidget *dialog = gtk_file_chooser_dialog_new(
      "Save", GTK_WINDOW(gtk_widget_get_toplevel(GTK_WIDGET(button))), GTK_FILE_CHOOSER_ACTION_SAVE,
      "_Cancel", GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_ACCEPT, nullptr);
  auto *chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
  if (const char *text = gtk_entry_get_text(GTK_ENTRY(entry)); text[0] != '\0') {
    g_autofree char *path = g_canonicalize_filename(text, nullptr);
    g_autofree char *folder = g_path_get_dirname(path);
    g_autofree char *base = g_path_get_basename(path);
    gtk_file_chooser_set_current_folder(chooser, folder);
    gtk_file_chooser_set_current_name(chooser, base);
  }
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  g_signal_connect(dialog, "response", G_CALLBACK(on_save_response), entry);
  gtk_widget_show(dialog);
}

// The entry of a save chooser, with its button beside it.
void set_up_save_chooser(GObject *entry) {
  GtkWidget *box = gtk_widget_get_parent(GTK_WIDGET(entry));
  g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(box));
  GObject *button = G_OBJECT(g_list_last(children)->data);
  g_object_bind_property(entry, "sensitive", button, "sensitive", G_BINDING_SYNC_CREATE);
  g_signal_connect(button, "clicked", G_CALLBACK(on_choose_save), entry);
}

// A starting path that names nothing of the kind the chooser picks is left out; a relative
// one is taken from the current directory.
void set_start_path(GObject *object, const std::string &text) {
  g_autofree char *path = g_canonicalize_filename(text.c_str(), nullptr);
  if (GTK_IS_ENTRY(object)) {
    g_autofree char *folder = g_path_get_dirname(path);
    if (g_file_test(folder, G_FILE_TEST_IS_DIR))
      gtk_entry_set_text(GTK_ENTRY(object), path);
    return;
  }
  if (!GTK_IS_FILE_CHOOSER(object))
    return;
  auto *chooser = GTK_FILE_CHOOSER(object);
  const bool folder = gtk_file_chooser_get_action(chooser) == GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER;
  if (folder ? g_file_test(path, G_FILE_TEST_IS_DIR) : g_file_test(path, G_FILE_TEST_IS_REGULAR))
    gtk_file_chooser_set_filename(chooser, path);
}

void set_up_filechooser(GObject *widget, const Setup &setup) {
  if (GTK_IS_ENTRY(widget)) {
    set_up_save_chooser(widget);
    set_up_entry(widget, setup);
  }
  if (const auto path = setup.extras.paths.find(std::string(setup.id));
      path != setup.extras.paths.end())
    set_start_path(widget, path->second);
}

// The path as the user chose it, absolute; a relative one typed into a save chooser's entry
// is taken from the current directory.
Value read_filechooser(GObject *widget, const char *, bool) {
  if (GTK_IS_ENTRY(widget)) {
    const char *text = gtk_entry_get_text(GTK_ENTRY(widget));
    if (text[0] == '\0')
      return {};
    g_autofree char *path = g_canonicalize_filename(text, nullptr);
    return {path};
  }
  g_autofree char *path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(widget));
  return {path != nullptr ? path : ""};
}

void start_calendar(Draft &draft, Element &element, const Tag &) {
  open_child_object(draft.body, "GtkCalendar", element.id.c_str());
}

// The year, month (from 0, as GTK counts) and day of a YYYY-MM-DD date; nothing for anything
// else.
void calendar_default(Draft &draft, Element &, const std::string &text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-')
    return;
  int parts[3] = {0, 0, 0};
  for (auto [part, from, to] : {std::tuple{0, 0, 4}, {1, 5, 7}, {2, 8, 10}})
    for (int i = from; i < to; i++) {
      if (!g_ascii_isdigit(text[i]))
        return;
      parts[part] = parts[part] * 10 + (text[i] - '0');
    }
  if (!g_date_valid_dmy(static_cast<GDateDay>(parts[2]), static_cast<GDateMonth>(parts[1]),
                        static_cast<GDateYear>(parts[0])))
    return;
  draft.append(property("year", std::to_string(parts[0])) +
               property("month", std::to_string(parts[1] - 1)) +
               property("day", std::to_string(parts[2])));
}

Value read_calendar(GObject *widget, const char *, bool) {
  guint year = 0, month = 0, day = 0;
  gtk_calendar_get_date(GTK_CALENDAR(widget), &year, &month, &day);
  g_autofree char *text = g_strdup_printf("%04u-%02u-%02u", year, month + 1, day);
  return {text};
}

void start_colorbutton(Draft &draft, Element &element, const Tag &) {
  open_child_object(draft.body, "GtkColorButton", element.id.c_str());
}

// A colour GDK can read; anything else is ignored. The parser needs no display.
void colorbutton_default(Draft &draft, Element &, const std::string &text) {
  GdkRGBA colour;
  if (gdk_rgba_parse(&colour, plain_text(text).c_str()))
    draft.append(property("rgba", layout_text(text)));
}

Value read_colorbutton(GObject *widget, const char *, bool) {
  GdkRGBA colour;
  gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(widget), &colour);
  const auto byte = [](double part) {
    return static_cast<unsigned>(std::lround(std::clamp(part, 0.0, 1.0) * 255));
  };
  g_autofree char *text =
      g_strdup_printf("#%02x%02x%02x", byte(colour.red), byte(colour.green), byte(colour.blue));
  return {text};
}

void start_fontbutton(Draft &draft, Element &element, const Tag &) {
  open_child_object(draft.body, "GtkFontButton", element.id.c_str());
}

void fontbutton_default(Draft &draft, Element &, const std::string &text) {
  draft.append(property("font", layout_text(text)));
}

Value read_fontbutton(GObject *widget, const char *, bool) {
  g_autofree char *font = gtk_font_chooser_get_font(GTK_FONT_CHOOSER(widget));
  return {font != nullptr ? font : ""};
}

constexpr Kind kKinds[] = {
    {.element = "filechooser",
     .start = start_filechooser,
     .end = end_filechooser,
     .set_default = filechooser_default,
     .type = gtk_file_chooser_button_get_type,
     .named = true,
     .focused = true,
     .set_up = set_up_filechooser,
     .read = read_filechooser,
     .change_signal = "file-set|changed"},
    {.element = "calendar",
     .start = start_calendar,
     .end = end_object,
     .set_default = calendar_default,
     .type = gtk_calendar_get_type,
     .named = true,
     .focused = true,
     .read = read_calendar,
     .change_signal = "day-selected"},
    {.element = "colorbutton",
     .start = start_colorbutton,
     .end = end_object,
     .set_default = colorbutton_default,
     .type = gtk_color_button_get_type,
     .named = true,
     .focused = true,
     .read = read_colorbutton,
     .change_signal = "color-set"},
    {.element = "fontbutton",
     .start = start_fontbutton,
     .end = end_object,
     .set_default = fontbutton_default,
     .type = gtk_font_button_get_type,
     .named = true,
     .focused = true,
     .read = read_fontbutton,
     .change_signal = "font-set"},
};

} // namespace

std::span<const Kind> picker_kinds() {
  return kKinds;
}

} // namespace quillet::widgets
