// The file chooser: a file or a folder to open, several files, or a file to save.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

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

struct ChooserState : KindState {
  std::string form; // its action, or "multiple" for several files to open
};

struct ChooserRecord : KindState {
  std::optional<std::string> path;   // where it starts
  std::optional<std::string> filter; // its filter="..."
};

// A file chooser button cannot save, nor pick several files: a save chooser is an entry, with
// a button beside it that the window's set-up wires to a save dialog, and a chooser of
// several files a button that opens a dialog and shows how many it holds.
void start_filechooser(Draft &draft, Element &element, const Tag &tag) {
  std::string &form = state_of<ChooserState>(element).form;
  form = chooser_action(attribute(tag.line, "action"));
  if (form == "open" && attribute(tag.line, "selection") == "multiple")
    form = "multiple";
  GString *sb = draft.body;
  const char *id = element.id.c_str();
  if (form == "multiple") {
    open_child_object(sb, "GtkButton", id);
    append(sb, property("label", "(None)"));
    return;
  }
  if (form == "save") {
    open_child_object(sb, "GtkBox");
    append(sb, "<property name=\"orientation\">horizontal</property>\n"
               "<property name=\"spacing\">6</property>\n");
    open_child_object(sb, "GtkEntry", id);
    append(sb, "<property name=\"hexpand\">True</property>\n");
    return;
  }
  open_child_object(sb, "GtkFileChooserButton", id);
  append(sb, "<property name=\"action\">");
  append(sb, form);
  append(sb, "</property>\n");
}

void end_filechooser(Draft &draft, Element &chooser) {
  GString *sb = draft.body;
  if (state_of<ChooserState>(chooser).form == "save") {
    append(sb, "</object>\n</child>\n");
    open_child_object(sb, "GtkButton");
    append(sb, "<property name=\"label\">Choose…</property>\n"
               "</object>\n</child>\n");
  }
  append(sb, "</object>\n</child>\n");
}

void filechooser_attributes(Draft &draft, Element &chooser, std::string_view tag) {
  if (const auto filter = attribute(tag, "filter"))
    record_of<ChooserRecord>(draft, chooser).filter = plain_text(*filter);
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
  if (!text.empty())
    record_of<ChooserRecord>(draft, chooser).path = plain_text(text);
}

void describe_filechooser(const KindState &record, std::string_view id, std::vector<Note> &notes) {
  const auto &chooser = static_cast<const ChooserRecord &>(record);
  if (chooser.path)
    notes.push_back({"starts at", std::string(id) + " starts at " + *chooser.path});
  if (chooser.filter)
    notes.push_back({"filter", "filter " + std::string(id) + " " + *chooser.filter});
}

// The window may not have the keyboard back yet, and GTK would move the focus no further
// than onto what holds it: that widget is passed over.
gboolean focus_next(gpointer data) {
  auto *chooser = static_cast<GtkWidget *>(data);
  GtkWidget *window = gtk_widget_get_toplevel(chooser);
  GtkWidget *focus = GTK_IS_WINDOW(window) ? gtk_window_get_focus(GTK_WINDOW(window)) : nullptr;
  if (focus == nullptr || (focus != chooser && !gtk_widget_is_ancestor(focus, chooser)))
    return G_SOURCE_REMOVE;
  gtk_widget_set_can_focus(focus, FALSE);
  gtk_widget_child_focus(window, GTK_DIR_TAB_FORWARD);
  gtk_widget_set_can_focus(focus, TRUE);
  return G_SOURCE_REMOVE;
}

// Once a file is chosen, the focus goes on from the chooser to the next field, as from a
// field filled in: Enter then presses what follows rather than opening the chooser again.
// The window takes the focus back when the chooser's dialog has gone.
void move_on(GtkWidget *chooser) {
  g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, focus_next, g_object_ref(chooser), g_object_unref);
}

void on_file_set(GtkFileChooserButton *chooser, gpointer) {
  move_on(GTK_WIDGET(chooser));
}

void on_save_response(GtkDialog *dialog, int response, gpointer entry) {
  if (response == GTK_RESPONSE_ACCEPT) {
    g_autofree char *path = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
    if (path != nullptr)
      gtk_entry_set_text(GTK_ENTRY(entry), path);
    move_on(gtk_widget_get_parent(GTK_WIDGET(entry)));
  }
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

// The dialog a chooser's button opens, over the window, with the filters `holder` keeps.
GtkWidget *chooser_dialog(GtkWidget *button, GObject *holder, GtkFileChooserAction action,
                          const char *title, const char *accept) {
  GtkWidget *dialog = gtk_file_chooser_dialog_new(
      title, GTK_WINDOW(gtk_widget_get_toplevel(button)), action, gtk_caption("_Cancel").c_str(),
      GTK_RESPONSE_CANCEL, gtk_caption(accept).c_str(), GTK_RESPONSE_ACCEPT, nullptr);
  add_filters(GTK_FILE_CHOOSER(dialog),
              static_cast<const char *>(g_object_get_data(holder, kFilterKey)));
  return dialog;
}

// A save chooser's button opens the save dialog at the path in its entry.
void on_choose_save(GtkButton *button, gpointer entry) {
  GtkWidget *dialog = chooser_dialog(GTK_WIDGET(button), G_OBJECT(entry),
                                     GTK_FILE_CHOOSER_ACTION_SAVE, "Save", "_Save");
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

// What a chooser of several files shows: the name of its one file, or how many it holds.
void show_files(GtkButton *button, char **files) {
  const guint n = files != nullptr ? g_strv_length(files) : 0;
  g_autofree char *name = n == 1 ? g_filename_display_basename(files[0]) : nullptr;
  g_autofree char *text = n == 1   ? g_strdup(name)
                          : n == 0 ? g_strdup(gtk_caption("(None)").c_str())
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
    move_on(GTK_WIDGET(button));
  }
  gtk_widget_destroy(GTK_WIDGET(dialog));
}

// A chooser of several files opens an open dialog at the files it holds.
void on_choose_files(GtkButton *button, gpointer) {
  GtkWidget *dialog = chooser_dialog(GTK_WIDGET(button), G_OBJECT(button),
                                     GTK_FILE_CHOOSER_ACTION_OPEN, "Open", "_Open");
  auto *chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_select_multiple(chooser, TRUE);
  auto **files = static_cast<char **>(g_object_get_data(G_OBJECT(button), kFilesKey));
  for (char **file = files; file != nullptr && *file != nullptr; file++)
    gtk_file_chooser_select_filename(chooser, *file);
  gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
  gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
  g_signal_connect(dialog, "response", G_CALLBACK(on_files_response), button);
  gtk_widget_show(dialog);
}

// The files of a chooser of several: those that are no file are left out.
bool set_file_items(GObject *button, const std::vector<std::string> &items) {
  g_autoptr(GStrvBuilder) files = g_strv_builder_new();
  for (const std::string &item : items) {
    g_autofree char *path = g_canonicalize_filename(item.c_str(), nullptr);
    if (!item.empty() && g_file_test(path, G_FILE_TEST_IS_REGULAR))
      g_strv_builder_add(files, path);
  }
  set_files(button, g_strv_builder_end(files));
  return true;
}

// The same, a line each.
void set_file_lines(GObject *button, const std::string &text) {
  g_auto(GStrv) lines = g_strsplit(text.c_str(), "\n", -1);
  set_file_items(button, std::vector<std::string>(lines, lines + g_strv_length(lines)));
}

void set_up_files(GObject *button, const std::string *start) {
  g_signal_connect(button, "clicked", G_CALLBACK(on_choose_files), nullptr);
  if (start != nullptr)
    set_file_lines(button, *start);
  else
    show_files(GTK_BUTTON(button), nullptr);
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
  const auto *record = record_of<ChooserRecord>(setup);
  if (record != nullptr && record->filter) {
    if (GTK_IS_FILE_CHOOSER(widget))
      add_filters(GTK_FILE_CHOOSER(widget), record->filter->c_str());
    else
      g_object_set_data_full(widget, kFilterKey, g_strdup(record->filter->c_str()), g_free);
  }
  const std::string *start = record != nullptr && record->path ? &*record->path : nullptr;
  if (GTK_IS_BUTTON(widget)) {
    set_up_files(widget, start);
    return;
  }
  if (GTK_IS_FILE_CHOOSER_BUTTON(widget))
    g_signal_connect(widget, "file-set", G_CALLBACK(on_file_set), nullptr);
  if (GTK_IS_ENTRY(widget)) {
    set_up_save_chooser(widget);
    set_up_entry(widget, setup);
  }
  if (start != nullptr)
    set_start_path(widget, *start);
}

// The path as the user chose it, absolute; a relative one typed into a save chooser's entry
// is taken from the current directory. A chooser of several gives its paths a line each, and
// whole as items: a path that holds a line break would be read as two from lines, and is
// left out of them.
Value read_filechooser(GObject *widget) {
  if (GTK_IS_BUTTON(widget)) {
    Value value{{}, true, true};
    auto **files = static_cast<char **>(g_object_get_data(widget, kFilesKey));
    for (char **file = files; file != nullptr && *file != nullptr; file++) {
      value.items.emplace_back(*file);
      if (strchr(*file, '\n') == nullptr)
        value.text += value.text.empty() ? *file : "\n" + std::string(*file);
    }
    return value;
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

// The paths a chooser of several leaves out of its lines.
void explain_filechooser(GObject *widget, const char *name) {
  auto **files =
      GTK_IS_BUTTON(widget) ? static_cast<char **>(g_object_get_data(widget, kFilesKey)) : nullptr;
  for (char **file = files; file != nullptr && *file != nullptr; file++)
    if (strchr(*file, '\n') != nullptr) {
      g_autofree char *shown = g_strescape(*file, nullptr);
      g_debug("Widget '%s': the file \"%s\" is left out of its value in the bash and sh "
              "formats and in actions' environments, since its path holds a line break; the "
              "json format holds it.",
              name, shown);
    }
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

// A list of paths given whole is for a chooser of several; the others take it as lines.
bool set_filechooser_items(GObject *widget, const std::vector<std::string> &items) {
  if (GTK_IS_BUTTON(widget))
    return set_file_items(widget, items);
  g_autoptr(GString) text = g_string_new(nullptr);
  for (const std::string &item : items)
    g_string_append_printf(text, "%s%s", text->len > 0 ? "\n" : "", item.c_str());
  return set_filechooser(widget, text->str);
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

constexpr Attribute kChooserTakes[] = {
    {"action", Takes::words, "open|save|folder", 0, 0, "it opens a file"},
    {"selection", Takes::words, "single|multiple", 0, 0, "one file is chosen"},
    {"filter"},
};

constexpr Kind kKinds[] = {
    {.element = "filechooser",
     .takes = kChooserTakes,
     .start = start_filechooser,
     .end = end_filechooser,
     .new_state = make<ChooserState>,
     .attributes = filechooser_attributes,
     .set_default = filechooser_default,
     .type = gtk_file_chooser_button_get_type,
     .named = true,
     .focused = true,
     .new_record = make<ChooserRecord>,
     .describe = describe_filechooser,
     .set_up = set_up_filechooser,
     .read = read_filechooser,
     .explain = explain_filechooser,
     .change_signal = "file-set|changed",
     .set_value = set_filechooser,
     .set_items = set_filechooser_items,
     .slot = filechooser_slot,
     .focus_part = filechooser_focus_part},
};

const Family kFamily("files", kKinds);

} // namespace

} // namespace quillet::widgets
