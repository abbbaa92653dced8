// Kinds that pick something from a dialog of their own: files and folders, dates, colours
// and fonts.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <cstdlib>
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

// Object data on a chooser: its filter="..." for the dialogs it opens, and the files a
// chooser of several has picked.
constexpr const char *kFilterKey = "quillet-filter";
constexpr const char *kFilesKey = "quillet-files";

// A file chooser button cannot save, nor pick several files: a save chooser is an entry, with
// a button beside it that the window's set-up wires to a save dialog, and a chooser of
// several files a button that opens a dialog and shows how many it holds.
void start_filechooser(Draft &draft, Element &element, const Tag &tag) {
  element.form = chooser_action(attribute(tag.line, "action"));
  if (element.form == "open" && attribute(tag.line, "selection") == "multiple")
    element.form = "multiple";
  GString *sb = draft.body;
  const char *id = element.id.c_str();
  if (element.form == "multiple") {
    open_child_object(sb, "GtkButton", id);
    append(sb, property("label", "(None)"));
    return;
  }
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

void filechooser_attributes(Draft &draft, Element &chooser, std::string_view tag) {
  if (const auto filter = attribute(tag, "filter"); filter && draft.extras != nullptr)
    draft.extras->filters[chooser.id] = plain_text(*filter);
}

// Filters separated by '|', each named as written, its patterns separated by blanks.
void add_filters(GtkFileChooser *chooser, const char *filters) {
  if (filters == nullptr)
    return;
  g_auto(GStrv) parts = g_strsplit(filters, "|", -1);
  for (char **part = parts; *part != nullptr; part++) {
    g_auto(GStrv) patterns = g_strsplit_set(g_strstrip(*part), " \t", -1);
    g_autoptr(GtkFileFilter) filter = GTK_FILE_FILTER(g_object_ref_sink(gtk_file_filter_new()));
    gtk_file_filter_set_name(filter, *part);
    bool any = false;
    for (char **pattern = patterns; *pattern != nullptr; pattern++)
      if (**pattern != '\0') {
        gtk_file_filter_add_pattern(filter, *pattern);
        any = true;
      }
    if (any)
      gtk_file_chooser_add_filter(chooser, filter);
  }
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
  add_filters(chooser, static_cast<const char *>(g_object_get_data(G_OBJECT(entry), kFilterKey)));
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

// What a chooser of several files shows: the name of its one file, or how many it holds.
void show_files(GtkButton *button, char **files) {
  const guint n = files != nullptr ? g_strv_length(files) : 0;
  g_autofree char *name = n == 1 ? g_filename_display_basename(files[0]) : nullptr;
  g_autofree char *text = n == 1   ? g_strdup(name)
                          : n == 0 ? g_strdup("(None)")
                                   : g_strdup_printf("%u files", n);
  gtk_button_set_label(button, text);
}

void set_files(GObject *button, char **files) {
  g_object_set_data_full(button, kFilesKey, files, reinterpret_cast<GDestroyNotify>(g_strfreev));
  show_files(GTK_BUTTON(button), files);
}

void on_files_response(GtkDialog *dialog, int response, gpointer button) {
  if (response == GTK_RESPONSE_ACCEPT) {
    g_autoslist(GFile) chosen = gtk_file_chooser_get_files(GTK_FILE_CHOOSER(dialog));
    g_autoptr(GStrvBuilder) files = g_strv_builder_new();
    for (GSList *file = chosen; file != nullptr; file = file->next)
      if (g_autofree char *path = g_file_get_path(G_FILE(file->data)); path != nullptr)
        g_strv_builder_add(files, path);
    set_files(G_OBJECT(button), g_strv_builder_end(files));
  }
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

// A chooser of several files opens an open dialog at the files it holds.
void on_choose_files(GtkButton *button, gpointer) {
  GtkWidget *dialog = gtk_file_chooser_dialog_new(
      "Open", GTK_WINDOW(gtk_widget_get_toplevel(GTK_WIDGET(button))), GTK_FILE_CHOOSER_ACTION_OPEN,
      "_Cancel", GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
  auto *chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_select_multiple(chooser, TRUE);
  add_filters(chooser, static_cast<const char *>(g_object_get_data(G_OBJECT(button), kFilterKey)));
  auto **files = static_cast<char **>(g_object_get_data(G_OBJECT(button), kFilesKey));
  for (char **file = files; file != nullptr && *file != nullptr; file++)
    gtk_file_chooser_select_filename(chooser, *file);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  g_signal_connect(dialog, "response", G_CALLBACK(on_files_response), button);
  gtk_widget_show(dialog);
}

// The files of a chooser of several, a line each: those that are no file are left out.
void set_file_lines(GObject *button, const std::string &text) {
  g_auto(GStrv) lines = g_strsplit(text.c_str(), "\n", -1);
  g_autoptr(GStrvBuilder) files = g_strv_builder_new();
  for (char **line = lines; *line != nullptr; line++) {
    g_autofree char *path = g_canonicalize_filename(*line, nullptr);
    if (**line != '\0' && g_file_test(path, G_FILE_TEST_IS_REGULAR))
      g_strv_builder_add(files, path);
  }
  set_files(button, g_strv_builder_end(files));
}

void set_up_files(GObject *button, const std::string *start) {
  g_signal_connect(button, "clicked", G_CALLBACK(on_choose_files), nullptr);
  if (start != nullptr)
    set_file_lines(button, *start);
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
bool set_start_path(GObject *object, const std::string &text) {
  g_autofree char *path = g_canonicalize_filename(text.c_str(), nullptr);
  if (GTK_IS_ENTRY(object)) {
    g_autofree char *folder = g_path_get_dirname(path);
    return g_file_test(folder, G_FILE_TEST_IS_DIR) && set_entry_text(object, path);
  }
  if (!GTK_IS_FILE_CHOOSER(object))
    return false;
  auto *chooser = GTK_FILE_CHOOSER(object);
  const bool folder = gtk_file_chooser_get_action(chooser) == GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER;
  return (folder ? g_file_test(path, G_FILE_TEST_IS_DIR)
                 : g_file_test(path, G_FILE_TEST_IS_REGULAR)) &&
         gtk_file_chooser_set_filename(chooser, path);
}

void set_up_filechooser(GObject *widget, const Setup &setup) {
  const std::string id(setup.id);
  if (const auto filter = setup.extras.filters.find(id); filter != setup.extras.filters.end()) {
    if (GTK_IS_FILE_CHOOSER(widget))
      add_filters(GTK_FILE_CHOOSER(widget), filter->second.c_str());
    else
      g_object_set_data_full(widget, kFilterKey, g_strdup(filter->second.c_str()), g_free);
  }
  const auto path = setup.extras.paths.find(id);
  const std::string *start = path != setup.extras.paths.end() ? &path->second : nullptr;
  if (GTK_IS_BUTTON(widget)) {
    set_up_files(widget, start);
    return;
  }
  if (GTK_IS_ENTRY(widget)) {
    set_up_save_chooser(widget);
    set_up_entry(widget, setup);
  }
  if (start != nullptr)
    set_start_path(widget, *start);
}

// The path as the user chose it, absolute; a relative one typed into a save chooser's entry
// is taken from the current directory.
Value read_filechooser(GObject *widget, const char *, bool) {
  if (GTK_IS_BUTTON(widget)) {
    auto **files = static_cast<char **>(g_object_get_data(widget, kFilesKey));
    g_autofree char *text = files != nullptr ? g_strjoinv("\n", files) : g_strdup("");
    return {text, true, true};
  }
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

// None chosen, or the path when it is there still.
bool set_filechooser(GObject *widget, const std::string &text) {
  if (GTK_IS_BUTTON(widget)) {
    set_file_lines(widget, text);
    return true;
  }
  if (!text.empty())
    return set_start_path(widget, text);
  if (GTK_IS_ENTRY(widget))
    gtk_entry_set_text(GTK_ENTRY(widget), "");
  else
    gtk_file_chooser_unselect_all(GTK_FILE_CHOOSER(widget));
  return true;
}

void start_calendar(Draft &draft, Element &element, const Tag &) {
  open_child_object(draft.body, "GtkCalendar", element.id.c_str());
}

// The year, month (from 1) and day of a YYYY-MM-DD date; nothing for anything else.
std::optional<std::array<int, 3>> date(const std::string &text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-')
    return std::nullopt;
  std::array<int, 3> parts{0, 0, 0};
  for (auto [part, from, to] : {std::tuple{0, 0, 4}, {1, 5, 7}, {2, 8, 10}})
    for (int i = from; i < to; i++) {
      if (!g_ascii_isdigit(text[i]))
        return std::nullopt;
      parts[part] = parts[part] * 10 + (text[i] - '0');
    }
  if (!g_date_valid_dmy(static_cast<GDateDay>(parts[2]), static_cast<GDateMonth>(parts[1]),
                        static_cast<GDateYear>(parts[0])))
    return std::nullopt;
  return parts;
}

// GTK counts months from 0.
void calendar_default(Draft &draft, Element &, const std::string &text) {
  if (const auto parts = date(text))
    draft.append(property("year", std::to_string((*parts)[0])) +
                 property("month", std::to_string((*parts)[1] - 1)) +
                 property("day", std::to_string((*parts)[2])));
}

bool set_calendar(GObject *widget, const std::string &text) {
  const auto parts = date(text);
  if (!parts)
    return false;
  auto *calendar = GTK_CALENDAR(widget);
  gtk_calendar_select_month(calendar, static_cast<guint>((*parts)[1] - 1),
                            static_cast<guint>((*parts)[0]));
  gtk_calendar_select_day(calendar, static_cast<guint>((*parts)[2]));
  return true;
}

// What a key does in the calendar, as GTK has it do.
void press(GtkWidget *calendar, const GdkEventKey *event, guint keyval) {
  auto *klass = GTK_WIDGET_CLASS(g_type_class_peek(GTK_TYPE_CALENDAR));
  g_autoptr(GdkEvent) key = gdk_event_copy(reinterpret_cast<const GdkEvent *>(event));
  key->key.keyval = keyval;
  key->key.state = 0;
  klass->key_press_event(calendar, &key->key);
}

GDate chosen_day(GtkCalendar *calendar) {
  guint year = 0, month = 0, day = 0;
  gtk_calendar_get_date(calendar, &year, &month, &day);
  GDate date;
  g_date_clear(&date, 1);
  g_date_set_dmy(&date, static_cast<GDateDay>(day), static_cast<GDateMonth>(month + 1),
                 static_cast<GDateYear>(year));
  return date;
}

// The day the arrow keys move to is the chosen day, so that Enter then gives it. GTK's
// arrows move a box that only Space chooses the day in, and the box is not on the chosen day
// at the start nor after Ctrl+arrows changed the month: it is chosen and moved (Left and
// Right, a day at a time) until the day is the one the arrow meant. With Ctrl, the arrows
// change the month or year as GTK has them.
gboolean on_calendar_key(GtkWidget *widget, GdkEventKey *event, gpointer) {
  const bool rtl = gtk_widget_get_direction(widget) == GTK_TEXT_DIR_RTL;
  const guint forward = rtl ? GDK_KEY_Left : GDK_KEY_Right;
  const guint back = rtl ? GDK_KEY_Right : GDK_KEY_Left;
  int days = 0;
  const guint key = event->keyval;
  if (key == GDK_KEY_Up || key == GDK_KEY_KP_Up || key == GDK_KEY_Down || key == GDK_KEY_KP_Down)
    days = key == GDK_KEY_Up || key == GDK_KEY_KP_Up ? -7 : 7;
  else if (key == GDK_KEY_Left || key == GDK_KEY_KP_Left)
    days = rtl ? 1 : -1;
  else if (key == GDK_KEY_Right || key == GDK_KEY_KP_Right)
    days = rtl ? -1 : 1;
  if (days == 0 || (event->state & gtk_accelerator_get_default_mod_mask()) != 0)
    return FALSE;
  auto *calendar = GTK_CALENDAR(widget);
  GDate target = chosen_day(calendar);
  if (days > 0)
    g_date_add_days(&target, days);
  else if (g_date_get_julian(&target) > static_cast<guint32>(-days))
    g_date_subtract_days(&target, -days);
  press(widget, event, GDK_KEY_space);
  // A round or two: once the box is on the chosen day, the steps land on the target.
  for (int round = 0; round < 3; round++) {
    GDate now = chosen_day(calendar);
    const int left = g_date_days_between(&now, &target);
    if (left == 0)
      break;
    for (int step = 0; step < std::abs(left); step++)
      press(widget, event, left > 0 ? forward : back);
    press(widget, event, GDK_KEY_space);
  }
  return TRUE;
}

void set_up_calendar(GObject *widget, const Setup &) {
  g_signal_connect(widget, "key-press-event", G_CALLBACK(on_calendar_key), nullptr);
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

bool set_colorbutton(GObject *widget, const std::string &text) {
  GdkRGBA colour;
  if (!gdk_rgba_parse(&colour, text.c_str()))
    return false;
  gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(widget), &colour);
  return true;
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

bool set_fontbutton(GObject *widget, const std::string &text) {
  if (text.empty() || !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
    return false;
  gtk_font_chooser_set_font(GTK_FONT_CHOOSER(widget), text.c_str());
  return true;
}

// A save chooser's entry stands in its box with its button.
GtkWidget *filechooser_slot(GtkWidget *widget) {
  return GTK_IS_ENTRY(widget) ? gtk_widget_get_parent(widget) : widget;
}

// A chooser button shows one of its two parts, a button or (for a folder) a combo box.
GtkWidget *filechooser_focus_part(GtkWidget *widget) {
  if (!GTK_IS_FILE_CHOOSER_BUTTON(widget))
    return widget;
  g_autoptr(GList) parts = gtk_container_get_children(GTK_CONTAINER(widget));
  for (const GList *part = parts; part != nullptr; part = part->next)
    if (gtk_widget_get_visible(GTK_WIDGET(part->data)))
      return GTK_WIDGET(part->data);
  return widget;
}

constexpr Kind kKinds[] = {
    {.element = "filechooser",
     .start = start_filechooser,
     .end = end_filechooser,
     .attributes = filechooser_attributes,
     .set_default = filechooser_default,
     .type = gtk_file_chooser_button_get_type,
     .named = true,
     .focused = true,
     .set_up = set_up_filechooser,
     .read = read_filechooser,
     .change_signal = "file-set|changed",
     .set_value = set_filechooser,
     .slot = filechooser_slot,
     .focus_part = filechooser_focus_part},
    {.element = "calendar",
     .start = start_calendar,
     .end = end_object,
     .set_default = calendar_default,
     .type = gtk_calendar_get_type,
     .named = true,
     .focused = true,
     .set_up = set_up_calendar,
     .read = read_calendar,
     .change_signal = "day-selected",
     .set_value = set_calendar},
    {.element = "colorbutton",
     .start = start_colorbutton,
     .end = end_object,
     .set_default = colorbutton_default,
     .type = gtk_color_button_get_type,
     .named = true,
     .focused = true,
     .read = read_colorbutton,
     .change_signal = "color-set",
     .set_value = set_colorbutton},
    {.element = "fontbutton",
     .start = start_fontbutton,
     .end = end_object,
     .set_default = fontbutton_default,
     .type = gtk_font_button_get_type,
     .named = true,
     .focused = true,
     .read = read_fontbutton,
     .change_signal = "font-set",
     .set_value = set_fontbutton},
};

} // namespace

std::span<const Kind> picker_kinds() {
  return kKinds;
}

} // namespace quillet::widgets
