#include "quillet.h"

#include "common/checks.h"

#include "actions.h"
#include "common/children.h"
#include "export.h"
#include "feeds.h"
#include "formats.h"
#include "preprocess/cleaning.h"
#include "transform/xml_transformer.h"
#include "values.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

struct _Quillet {
  GObject parent_instance;

  char *xml_program;
  XmlTransformer *transformer;
  quillet::app::Format format;
  char *values_file;            // --values, or nullptr
  quillet::app::Values *values; // read from it before the display is opened
};

G_DEFINE_TYPE(Quillet, quillet, G_TYPE_OBJECT)

static gboolean debug_mode = FALSE;

static constexpr size_t kMaxNesting = 1000;

static void quillet_finalize(GObject *object) {
  Quillet *self = QUILLET_APP(object);
  g_clear_pointer(&self->xml_program, g_free);
  g_clear_pointer(&self->values_file, g_free);
  delete std::exchange(self->values, nullptr);
  g_clear_object(&self->transformer);
  G_OBJECT_CLASS(quillet_parent_class)->finalize(object);
}

static void quillet_class_init(QuilletClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = quillet_finalize;
}

static void quillet_init(Quillet *self) {
  self->xml_program = g_strdup("");
  self->transformer = xml_transformer_new();
}

Quillet *quillet_new(void) {
  return QUILLET_APP(g_object_new(QUILLET_TYPE_APP, NULL));
}

const char *quillet_get_xml_program(Quillet *self) {
  g_return_val_if_fail(self != NULL, NULL);
  return self->xml_program;
}

const char *quillet_get_format(Quillet *self) {
  g_return_val_if_fail(self != NULL, NULL);
  return quillet::app::format_name(self->format);
}

const char *quillet_get_values_file(Quillet *self) {
  g_return_val_if_fail(self != NULL, NULL);
  return self->values_file;
}

gboolean quillet_get_debug_mode(void) {
  return debug_mode;
}

static void debug_line(const char *format, ...) G_GNUC_PRINTF(1, 2);

static void debug_line(const char *format, ...) {
  if (!debug_mode)
    return;
  va_list args;
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
}

// The value of the long option `option` at argv[i]: after its '=', or the next argument
// (which i then moves past), or empty at the end; nothing for another argument.
static std::optional<std::string_view> option_value(std::string_view option, char **argv, int argc,
                                                    int &i) {
  const std::string_view arg = argv[i];
  if (arg == option)
    return i + 1 < argc ? argv[++i] : "";
  if (arg.starts_with(option) && arg.substr(option.size()).starts_with('='))
    return arg.substr(option.size() + 1);
  return std::nullopt;
}

// A script that asks for what quillet cannot do hears so at once, not from its own parser
// reading the wrong answer later.
[[noreturn]] static void usage_error(const char *format, ...) G_GNUC_PRINTF(1, 2);

static void usage_error(const char *format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
  exit(2);
}

void quillet_parse_arguments(Quillet *self, char **argv, int argc) {
  g_return_if_fail(self != NULL);
  g_return_if_fail(argv != NULL);

  if (argc <= 1 || g_str_equal(argv[1], "--help") || g_str_equal(argv[1], "-h")) {
    fputs("quillet v1.0.0 - Native GTK3 Drop-In Replacement\n", stdout);
    exit(0);
  }

  std::string_view named_nothing;
  for (int i = 1; i < argc; i++) {
    const std::string_view arg = argv[i];
    if (arg == "--debug") {
      debug_mode = TRUE;
      continue;
    }
    if (const auto value = option_value("--format", argv, argc, i)) {
      const std::optional<quillet::app::Format> format = quillet::app::format_parse(*value);
      if (!format)
        usage_error("quillet: --format takes bash, sh or json, not '%s'\n", value->data());
      self->format = *format;
      continue;
    }
    if (const auto value = option_value("--values", argv, argc, i)) {
      if (value->empty())
        usage_error("quillet: --values takes a file, or - for standard input\n");
      g_free(self->values_file);
      self->values_file = g_strdup(value->data());
      continue;
    }
    std::string_view name;
    if ((arg == "--program" || arg == "-p") && i + 1 < argc)
      name = argv[++i];
    else if (arg.starts_with("--program="))
      name = arg.substr(10);
    else if (arg.starts_with("-p="))
      name = arg.substr(3);
    if (name.empty())
      continue;

    // A name that no variable holds is the program text itself.
    const char *value = g_getenv(name.data());
    g_free(self->xml_program);
    self->xml_program = g_strdup(value != nullptr ? value : name.data());
    named_nothing = value != nullptr ? std::string_view() : name;
  }
  // --debug may come after --program: said once all arguments are read.
  if (!named_nothing.empty())
    debug_line("[QUILLET DEBUG] No environment variable is named '%s': it was taken as the XML "
               "program itself. Was the variable exported?\n",
               named_nothing.data());
}

namespace {

// Replaces the file whole, as a new file renamed over the old one (never written through a
// link), without waiting for the disk: the copy is rewritten on every run anyway. A copy
// that cannot be written whole (a full disk, a file size limit) is skipped, and the
// temporary file goes with a signal too.
void write_debug_copy(const char *layout, size_t length) {
  constexpr const char *kPath = "debug_generated_layout.xml";
  g_autofree char *temp = g_strconcat(kPath, ".XXXXXX", NULL);
  int fd;
  {
    quillet::children::SignalsHeld held;
    fd = g_mkstemp_full(temp, O_WRONLY, 0666);
    if (fd < 0)
      return;
    quillet::children::set_temp_file(temp);
  }
  FILE *file = fdopen(fd, "w");
  bool done = false;
  if (file != nullptr) {
    const bool written = fwrite(layout, 1, length, file) == length;
    done = fclose(file) == 0 && written && g_rename(temp, kPath) == 0;
  } else {
    close(fd);
  }
  quillet::children::SignalsHeld held;
  if (!done)
    g_unlink(temp);
  quillet::children::set_temp_file(nullptr);
}

// The script reads nothing at all rather than part of the answer believed whole: a line
// that could not be written (a full disk, a pipe nobody reads) ends the run with status 1.
void flush_answer() {
  if (fflush(stdout) != 0 || ferror(stdout))
    exit(1);
}

// What the OK and Cancel handlers and the action handlers share; it lives until the
// process ends inside the destroy handler.
struct LaunchState {
  Quillet *app;
  GtkBuilder *builder;
  GtkWidget *window;
};

// One per wired widget; its address also tells the action queue which widget a list came from.
struct ActionBinding {
  GPtrArray *commands; // owned by the widget actions table, which outlives the dialog
};

// The named widgets' states in document order: what OK prints and what actions see.
std::vector<quillet::app::WidgetState> collect_states(Quillet *app, GtkBuilder *builder,
                                                      bool debug) {
  std::vector<quillet::app::WidgetState> states;
  for (const std::string &id : xml_transformer_get_extras(app->transformer)->order) {
    const char *name = id.c_str();
    // Generated ids name nothing the script asked for; a name the shell cannot assign to
    // would make eval run a command; a widget named EXIT would overwrite the status line.
    if (g_str_has_prefix(name, "auto_id_") || !quillet::app::is_shell_name(name) ||
        g_str_equal(name, "EXIT"))
      continue;
    if (quillet::app::steers_shell(name)) {
      if (debug)
        debug_line("[QUILLET WARNING] Widget '%s' not exported: the name steers the shell.\n",
                   name);
      continue;
    }
    GObject *object = gtk_builder_get_object(builder, name);
    if (object == nullptr)
      continue;
    if (auto state = quillet::app::widget_state(name, object, debug))
      states.push_back(std::move(*state));
  }
  return states;
}

// What every action command starts with: quillet's environment and the widgets' values
// under their names, unquoted, as OK would print them.
char **action_environment(gpointer data) {
  auto *state = static_cast<LaunchState *>(data);
  char **env = g_get_environ();
  for (const quillet::app::WidgetState &widget : collect_states(state->app, state->builder, false))
    env = g_environ_setenv(env, widget.name.c_str(), widget.value.c_str(), TRUE);
  return env;
}

// The whole answer in the format asked for.
void write_answer(Quillet *app, const char *word,
                  std::span<const quillet::app::WidgetState> states) {
  g_autoptr(GString) out = g_string_new(nullptr);
  quillet::app::append_answer(out, app->format, word, states);
  fwrite(out->str, 1, out->len, stdout);
  flush_answer();
}

void end_with(LaunchState *state, const char *word) {
  write_answer(state->app, word, collect_states(state->app, state->builder, debug_mode));
  gtk_widget_destroy(state->window);
}

// The answer is out by now. The window goes from the screen at once; feeds are ended, what
// is queued never runs, and the running action is waited for, so that its work is done when
// the script goes on.
void on_destroy(GtkWidget *, gpointer) {
  gdk_display_flush(gdk_display_get_default());
  quillet::app::feeds_stop();
  quillet::app::actions_finish();
  exit(0);
}

void on_ok(GtkButton *, gpointer data) {
  end_with(static_cast<LaunchState *>(data), "OK");
}

void on_exit_button(GtkButton *button, gpointer data) {
  end_with(static_cast<LaunchState *>(data),
           static_cast<const char *>(g_object_get_data(G_OBJECT(button), "quillet-exit")));
}

void on_cancel(GtkButton *, gpointer data) {
  auto *state = static_cast<LaunchState *>(data);
  write_answer(state->app, "CANCEL", {});
  gtk_widget_destroy(state->window);
}

void on_action(GObject *, gpointer data) {
  auto *binding = static_cast<ActionBinding *>(data);
  quillet::app::actions_enqueue(binding->commands, binding);
}

// A tick that falls due while the timer's list still runs or waits is skipped: a timer
// never overlaps itself, nor piles up behind a slow command.
gboolean on_action_timer(gpointer data) {
  if (!quillet::app::actions_pending(data))
    on_action(nullptr, data);
  return G_SOURCE_CONTINUE;
}

void free_binding(gpointer binding, GClosure *) {
  g_free(binding);
}

// Buttons (check buttons too) act when clicked, combo boxes when changed; anything else
// whose name says "timer" acts once a second.
void wire_actions(LaunchState *state, const char *name, GPtrArray *commands) {
  GObject *object = gtk_builder_get_object(state->builder, name);
  const char *signal = GTK_IS_BUTTON(object)           ? "clicked"
                       : GTK_IS_COMBO_BOX_TEXT(object) ? "changed"
                                                       : nullptr;
  if (signal == nullptr && strstr(name, "timer") == nullptr)
    return;
  auto *binding = g_new(ActionBinding, 1);
  *binding = {commands};
  if (signal != nullptr)
    g_signal_connect_data(object, signal, G_CALLBACK(on_action), binding, free_binding,
                          GConnectFlags(0));
  else
    g_timeout_add_seconds_full(G_PRIORITY_DEFAULT, 1, on_action_timer, binding, g_free);
}

// Escape presses Cancel, or closes the window when there is none.
gboolean on_key_press(GtkWidget *window, GdkEventKey *event, gpointer cancel) {
  if (event->keyval != GDK_KEY_Escape)
    return FALSE;
  if (cancel != nullptr)
    gtk_button_clicked(GTK_BUTTON(cancel));
  else
    gtk_widget_destroy(window);
  return TRUE;
}

void on_row_activated(GtkTreeView *, GtkTreePath *, GtkTreeViewColumn *, gpointer ok) {
  gtk_button_clicked(GTK_BUTTON(ok));
}

bool is_field(GtkWidget *widget) {
  return GTK_IS_ENTRY(widget) || GTK_IS_TEXT_VIEW(widget) || GTK_IS_COMBO_BOX(widget) ||
         GTK_IS_RANGE(widget) || GTK_IS_TREE_VIEW(widget) || GTK_IS_FILE_CHOOSER_BUTTON(widget) ||
         GTK_IS_CALENDAR(widget) || GTK_IS_COLOR_BUTTON(widget) || GTK_IS_FONT_BUTTON(widget);
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

// The entry of a save chooser, with its button beside it.
void set_up_save_chooser(GObject *entry) {
  if (!GTK_IS_ENTRY(entry))
    return;
  g_object_set_data(entry, quillet::app::kSaveChooser, GINT_TO_POINTER(1));
  GtkWidget *box = gtk_widget_get_parent(GTK_WIDGET(entry));
  g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(box));
  GObject *button = G_OBJECT(g_list_last(children)->data);
  g_object_bind_property(entry, "sensitive", button, "sensitive", G_BINDING_SYNC_CREATE);
  g_signal_connect(button, "clicked", G_CALLBACK(on_choose_save), entry);
}

// A field right after a text in the same box is named by that text for assistive tools.
void name_fields(GtkWidget *widget) {
  if (!GTK_IS_CONTAINER(widget))
    return;
  g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget *previous = nullptr;
  for (GList *l = children; l != nullptr; l = l->next) {
    auto *child = static_cast<GtkWidget *>(l->data);
    GtkWidget *field = GTK_IS_SCROLLED_WINDOW(child) ? gtk_bin_get_child(GTK_BIN(child)) : child;
    if (GTK_IS_BOX(widget) && GTK_IS_LABEL(previous) && field != nullptr && is_field(field)) {
      gtk_label_set_mnemonic_widget(GTK_LABEL(previous), field);
      AtkObject *accessible = gtk_widget_get_accessible(field);
      const char *name = atk_object_get_name(accessible);
      if (name == nullptr || name[0] == '\0')
        atk_object_set_name(accessible, gtk_label_get_text(GTK_LABEL(previous)));
    }
    name_fields(child);
    previous = child;
  }
}

// Starting rows and exit buttons, Enter, Escape and double-clicked rows, the first field's
// focus: what the layout cannot say.
void set_up_dialog(LaunchState *state, GtkButton *ok, GtkButton *cancel) {
  const quillet::transform::DialogExtras *extras =
      xml_transformer_get_extras(state->app->transformer);
  for (const auto &[id, row] : extras->chosen) {
    GObject *object = gtk_builder_get_object(state->builder, id.c_str());
    if (GTK_IS_COMBO_BOX(object)) {
      gtk_combo_box_set_active(GTK_COMBO_BOX(object), row);
    } else if (GTK_IS_TREE_VIEW(object)) {
      g_autoptr(GtkTreePath) path = gtk_tree_path_new_from_indices(row, -1);
      gtk_tree_view_set_cursor(GTK_TREE_VIEW(object), path, nullptr, FALSE);
      gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(object), path, nullptr, TRUE, 0.5, 0);
    }
  }
  for (const auto &[id, rows] : extras->selected) {
    GObject *object = gtk_builder_get_object(state->builder, id.c_str());
    if (!GTK_IS_TREE_VIEW(object))
      continue;
    GtkTreeSelection *selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(object));
    for (size_t i = 0; i < rows.size(); i++) {
      g_autoptr(GtkTreePath) path = gtk_tree_path_new_from_indices(rows[i], -1);
      if (i == 0) {
        gtk_tree_view_set_cursor(GTK_TREE_VIEW(object), path, nullptr, FALSE);
        gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(object), path, nullptr, TRUE, 0.5, 0);
      }
      gtk_tree_selection_select_path(selection, path);
    }
  }
  for (const std::string &id : extras->save_choosers)
    set_up_save_chooser(gtk_builder_get_object(state->builder, id.c_str()));
  for (const auto &[id, path] : extras->paths)
    if (GObject *object = gtk_builder_get_object(state->builder, id.c_str()))
      set_start_path(object, path);
  for (const auto &[id, digits] : extras->digits)
    if (GObject *object = gtk_builder_get_object(state->builder, id.c_str()); GTK_IS_SCALE(object))
      g_object_set_data(object, quillet::app::kDigits, GINT_TO_POINTER(digits + 1));
  for (const auto &[id, word] : extras->exits) {
    GObject *object = gtk_builder_get_object(state->builder, id.c_str());
    if (!GTK_IS_BUTTON(object) || object == G_OBJECT(ok) || object == G_OBJECT(cancel))
      continue;
    g_object_set_data_full(object, "quillet-exit", g_strdup(word.c_str()), g_free);
    g_signal_connect(object, "clicked", G_CALLBACK(on_exit_button), state);
  }

  g_signal_connect(state->window, "key-press-event", G_CALLBACK(on_key_press), cancel);
  if (ok != nullptr) {
    gtk_widget_set_can_default(GTK_WIDGET(ok), TRUE);
    gtk_window_set_default(GTK_WINDOW(state->window), GTK_WIDGET(ok));
  }
  for (const std::string &id : extras->order) {
    GObject *object = gtk_builder_get_object(state->builder, id.c_str());
    if (GTK_IS_ENTRY(object) && ok != nullptr)
      gtk_entry_set_activates_default(GTK_ENTRY(object), TRUE);
    else if (GTK_IS_TREE_VIEW(object) && ok != nullptr)
      g_signal_connect(object, "row-activated", G_CALLBACK(on_row_activated), ok);
  }
  name_fields(state->window);
}

// The first field or check box on show, on a notebook's first page rather than its tabs.
void focus_first_field(LaunchState *state) {
  const quillet::transform::DialogExtras *extras =
      xml_transformer_get_extras(state->app->transformer);
  for (const std::string &id : extras->order) {
    GObject *object = gtk_builder_get_object(state->builder, id.c_str());
    if (!GTK_IS_WIDGET(object) || !(is_field(GTK_WIDGET(object)) || GTK_IS_CHECK_BUTTON(object)))
      continue;
    auto *widget = GTK_WIDGET(object);
    if (!gtk_widget_get_mapped(widget) || !gtk_widget_is_sensitive(widget))
      continue;
    gtk_widget_grab_focus(widget);
    GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(state->window));
    if (focus == widget || (focus != nullptr && gtk_widget_is_ancestor(focus, widget)))
      return;
  }
}

} // namespace

void quillet_launch(Quillet *self) {
  g_return_if_fail(self != NULL);

  if (self->xml_program[0] == '\0') {
    debug_line("[QUILLET CRITICAL] No XML program payload found.\n");
    exit(1);
  }

  g_autofree char *layout =
      xml_transformer_process_and_clean_xml(self->transformer, self->xml_program);
  const size_t length = strlen(layout);
  // A copy for the script's author; a directory we cannot write to must not stop the dialog.
  write_debug_copy(layout, length);

  // GTK lays out nested widgets recursively and runs out of stack a few thousand levels
  // down; no dialog needs more than a handful.
  if (xml_transformer_get_nesting_depth(self->transformer) > kMaxNesting) {
    debug_line("[QUILLET CRITICAL] Widgets are nested more than %zu levels deep.\n", kMaxNesting);
    exit(1);
  }

  g_autoptr(GtkBuilder) builder = gtk_builder_new();
  debug_line("[CONTROL POINT A] Feeding XML string to Gtk.Builder.add_from_string...\n");
  g_autoptr(GError) error = nullptr;
  if (!gtk_builder_add_from_string(builder, layout, length, &error)) {
    debug_line("[CONTROL POINT D] GTK PARSER EXCEPTION: %s\n", error->message);
    exit(1);
  }
  debug_line("[CONTROL POINT B] Gtk.Builder parsed string successfully without exceptions.\n");

  GObject *window = gtk_builder_get_object(builder, "main_window");
  if (!GTK_IS_WINDOW(window))
    exit(1);

  // What the markup asked for, or 450 x 350.
  int width = -1, height = -1;
  gtk_window_get_default_size(GTK_WINDOW(window), &width, &height);
  gtk_window_set_default_size(GTK_WINDOW(window), width > 0 ? width : 450,
                              height > 0 ? height : 350);
  g_signal_connect(window, "destroy", G_CALLBACK(on_destroy), self);

  LaunchState state{self, builder, GTK_WIDGET(window)};
  GObject *ok = gtk_builder_get_object(builder, "btn_ok");
  if (GTK_IS_BUTTON(ok))
    g_signal_connect(ok, "clicked", G_CALLBACK(on_ok), &state);
  GObject *cancel = gtk_builder_get_object(builder, "btn_cancel");
  if (GTK_IS_BUTTON(cancel))
    g_signal_connect(cancel, "clicked", G_CALLBACK(on_cancel), &state);

  GHashTableIter iter;
  gpointer name, commands;
  g_hash_table_iter_init(&iter, xml_transformer_get_widget_actions(self->transformer));
  set_up_dialog(&state, GTK_IS_BUTTON(ok) ? GTK_BUTTON(ok) : nullptr,
                GTK_IS_BUTTON(cancel) ? GTK_BUTTON(cancel) : nullptr);
  while (g_hash_table_iter_next(&iter, &name, &commands))
    wire_actions(&state, static_cast<const char *>(name), static_cast<GPtrArray *>(commands));

  quillet::app::actions_set_window(GTK_WIDGET(window));
  quillet::app::actions_set_environment(action_environment, &state);
  gtk_widget_show_all(GTK_WIDGET(window));
  quillet::app::feeds_start(builder, xml_transformer_get_extras(self->transformer)->feeds);
  focus_first_field(&state);
  gtk_main();
}

void quillet_export_all_states(Quillet *self, GtkBuilder *builder) {
  g_return_if_fail(self != NULL);
  g_return_if_fail(builder != NULL);

  g_autoptr(GString) out = g_string_new(nullptr);
  for (const quillet::app::WidgetState &state : collect_states(self, builder, debug_mode))
    quillet::app::append_state_line(out, state);
  fwrite(out->str, 1, out->len, stdout);
  flush_answer();
}

void quillet_execute_bash_actions(Quillet *self, GPtrArray *commands) {
  g_return_if_fail(self != NULL);
  g_return_if_fail(commands != NULL);

  quillet::app::actions_enqueue(commands, nullptr);
}

// GLib and GTK speak on standard error only when asked to with --debug.
static GLogWriterOutput quiet_log_writer(GLogLevelFlags level, const GLogField *fields,
                                         gsize n_fields, gpointer) {
  if (!debug_mode)
    return G_LOG_WRITER_HANDLED;
  // quillet's own debug messages carry no domain and are shown as its other debug lines.
  const char *message = nullptr;
  bool has_domain = false;
  for (gsize i = 0; i < n_fields; i++) {
    if (g_str_equal(fields[i].key, "GLIB_DOMAIN"))
      has_domain = true;
    else if (g_str_equal(fields[i].key, "MESSAGE") && fields[i].length < 0)
      message = static_cast<const char *>(fields[i].value);
  }
  if ((level & G_LOG_LEVEL_DEBUG) && !has_domain && message != nullptr) {
    debug_line("[QUILLET DEBUG] %s\n", message);
    return G_LOG_WRITER_HANDLED;
  }
  return g_log_writer_default(level, fields, n_fields, nullptr);
}

// A standard stream started closed would be the next file opened (the display connection,
// the debug copy), and the answer would be written into it.
static void open_closed_streams() {
  for (int fd = 0; fd <= 2; fd++)
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
      const int null_fd = open("/dev/null", O_RDWR);
      if (null_fd >= 0 && null_fd != fd) {
        dup2(null_fd, fd);
        close(null_fd);
      }
    }
}

// Read before the display is opened. A file that cannot be read ends the run as a dialog
// that cannot be shown does: the user would fill in a form without its values, and the
// answer would replace them.
static void load_values(Quillet *self) {
  if (self->values_file == nullptr)
    return;
  g_autoptr(GError) error = nullptr;
  std::optional<quillet::app::Values> values = quillet::app::values_load(self->values_file, &error);
  if (!values) {
    debug_line("[QUILLET CRITICAL] Values file '%s' cannot be read: %s\n", self->values_file,
               error->message);
    exit(1);
  }
  for (const std::string &note : values->notes)
    debug_line("[QUILLET DEBUG] Values file '%s': %s.\n", self->values_file, note.c_str());
  self->values = new quillet::app::Values(std::move(*values));
}

int quillet_main(int argc, char **argv) {
  open_closed_streams();
  quillet::children::install_signal_handlers();
  g_log_set_writer_func(quiet_log_writer, nullptr, nullptr);
  g_autoptr(Quillet) app = quillet_new();
  quillet_parse_arguments(app, argv, argc);
  load_values(app);
  // No widget of a dialog draws with OpenGL, and loading the GL driver is the larger part of
  // GTK's start-up. Commands started later get the environment as it was.
  const bool gl_chosen = g_getenv("GDK_GL") != nullptr;
  if (!gl_chosen)
    g_setenv("GDK_GL", "disable", TRUE);
  gtk_init(&argc, &argv);
  if (!gl_chosen)
    g_unsetenv("GDK_GL");
  quillet_launch(app);
  return 0;
}
