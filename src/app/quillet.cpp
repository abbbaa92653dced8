#include "quillet.h"

#include "common/checks.h"

#include "actions.h"
#include "builtins.h"
#include "command_line.h"
#include "common/children.h"
#include "dialog.h"
#include "export.h"
#include "feeds.h"
#include "formats.h"
#include "transform/xml_transformer.h"
#include "values.h"
#include "widgets/kinds.h"
#include "widgets/pictures.h"

#include <glib/gstdio.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>
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

void quillet_parse_arguments(Quillet *self, char **argv, int argc) {
  g_return_if_fail(self != NULL);
  g_return_if_fail(argv != NULL);

  const quillet::app::CommandLine line = quillet::app::command_line_parse(argv, argc);
  debug_mode = debug_mode || line.debug;
  if (line.program) {
    g_free(self->xml_program);
    self->xml_program = g_strdup(line.program->c_str());
  }
  self->format = line.format;
  if (line.values_file) {
    g_free(self->values_file);
    self->values_file = g_strdup(line.values_file->c_str());
  }
  // --debug may come after --program: said once all arguments are read.
  if (!line.named_nothing.empty())
    debug_line("[QUILLET DEBUG] No environment variable is named '%s': it was taken as the XML "
               "program itself. Was the variable exported?\n",
               line.named_nothing.c_str());
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
    // The owner's only: the items that input commands printed are in it.
    fd = g_mkstemp_full(temp, O_WRONLY, 0600);
    if (fd < 0) {
      debug_line("[QUILLET DEBUG] %s not written: %s\n", kPath, g_strerror(errno));
      return;
    }
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
  if (!done) {
    debug_line("[QUILLET DEBUG] %s not written whole: it is left as it was.\n", kPath);
    g_unlink(temp);
  }
  quillet::children::set_temp_file(nullptr);
}

// How the run ends once the dialog has: 1 when a line of the answer could not be written (a
// full disk, a pipe nobody reads), so that the script does not take part of it for the whole.
int answer_status = 0;

// From here on a signal no longer says that nothing was printed.
void flush_answer() {
  if (fflush(stdout) != 0 || ferror(stdout))
    answer_status = 1;
  quillet::children::set_exit_status(answer_status);
}

// What the OK and Cancel handlers and the action handlers share; it lives until the
// process ends inside the destroy handler.
struct LaunchState {
  Quillet *app;
  GtkBuilder *builder;
  GtkWidget *window;
  GtkWidget *ok;     // null without one
  GtkWidget *cancel; // null without one
};

// What every action command starts with: quillet's environment and the widgets' values.
char **action_environment(gpointer data) {
  auto *state = static_cast<LaunchState *>(data);
  return quillet::app::environment_with(
      quillet::app::collect_states(xml_transformer_get_extras(state->app->transformer)->order,
                                   state->builder, false, debug_mode),
      debug_mode);
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
  write_answer(
      state->app, word,
      quillet::app::collect_states(xml_transformer_get_extras(state->app->transformer)->order,
                                   state->builder, debug_mode, debug_mode));
  gtk_widget_destroy(state->window);
}

// The answer is out (or has failed) by now. The window goes from the screen at once; feeds
// are ended, what is queued never runs, and the running action is waited for, so that its
// work is done when the script goes on, as are pictures being decoded, which stop soon; then
// whatever the commands left behind is ended.
void on_destroy(GtkWidget *, gpointer) {
  quillet::children::set_exit_status(answer_status);
  gdk_display_flush(gdk_display_get_default());
  quillet::app::feeds_stop();
  quillet::app::builtins_stop();
  quillet::app::actions_finish();
  quillet::widgets::pictures_stop();
  quillet::children::end_all();
  exit(answer_status);
}

void end_by(const char *word, gpointer data) {
  end_with(static_cast<LaunchState *>(data), word);
}

void on_ok(GtkButton *, gpointer data) {
  end_by("OK", data);
}

void on_cancel(GtkButton *, gpointer data) {
  auto *state = static_cast<LaunchState *>(data);
  write_answer(state->app, "CANCEL", {});
  gtk_widget_destroy(state->window);
}

// GTK's complaint without the numbers in it, which name lines of the layout.
std::string fault(const GError *error) {
  std::string text = std::string(g_quark_to_string(error->domain)) + " " +
                     std::to_string(error->code) + " " + error->message;
  std::erase_if(text, [](char c) { return g_ascii_isdigit(c); });
  return text;
}

// GTK names a line of the layout it rejected; the user wrote markup, so the line of the
// markup that brought the fault in is named too: the shortest start of the markup whose
// layout GTK rejects in the same words ends with it.
void report_origin(Quillet *self, const GError *error) {
  if (!debug_mode)
    return;
  const std::string wanted = fault(error);
  const auto rejected = [&](const char *layout) {
    g_autoptr(GtkBuilder) builder = gtk_builder_new();
    g_autoptr(GError) again = nullptr;
    if (gtk_builder_add_from_string(builder, layout, -1, &again)) {
      if (GtkWidget *window = quillet::widgets::window_of(builder))
        gtk_widget_destroy(window);
      return false;
    }
    return fault(again) == wanted;
  };
  // The walks made on the way would repeat their own debug lines.
  debug_mode = FALSE;
  const std::string origin = xml_transformer_origin(self->transformer, rejected);
  debug_mode = TRUE;
  if (!origin.empty())
    debug_line("[QUILLET DEBUG] GTK rejected what the markup brings in at %s\n", origin.c_str());
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
  // The rows of lists and combo boxes may come to GTK apart, as the window is set up.
  const std::string &for_gtk = xml_transformer_get_extras(self->transformer)->builder_layout;
  if (!gtk_builder_add_from_string(builder, for_gtk.empty() ? layout : for_gtk.c_str(),
                                   for_gtk.empty() ? length : for_gtk.size(), &error)) {
    debug_line("[CONTROL POINT D] GTK PARSER EXCEPTION: %s\n", error->message);
    report_origin(self, error);
    exit(1);
  }
  debug_line("[CONTROL POINT B] Gtk.Builder parsed string successfully without exceptions.\n");

  GtkWidget *window = quillet::widgets::window_of(builder);
  if (window == nullptr) {
    debug_line("[QUILLET CRITICAL] The markup has no <window> element: there is nothing to "
               "show.\n");
    exit(1);
  }

  // What the markup asked for, or 450 x 350.
  int width = -1, height = -1;
  gtk_window_get_default_size(GTK_WINDOW(window), &width, &height);
  gtk_window_set_default_size(GTK_WINDOW(window), width > 0 ? width : 450,
                              height > 0 ? height : 350);
  g_signal_connect(window, "destroy", G_CALLBACK(on_destroy), self);

  const quillet::transform::DialogExtras &extras = *xml_transformer_get_extras(self->transformer);
  LaunchState state{self, builder, window, quillet::widgets::ok_button(builder),
                    quillet::widgets::cancel_button(builder)};
  if (state.ok != nullptr)
    g_signal_connect(state.ok, "clicked", G_CALLBACK(on_ok), &state);
  if (state.cancel != nullptr)
    g_signal_connect(state.cancel, "clicked", G_CALLBACK(on_cancel), &state);

  const quillet::app::Dialog dialog{builder, window, state.ok, state.cancel, end_by, &state};
  quillet::app::dialog_set_up(dialog, extras);
  quillet::app::dialog_set_values(dialog, extras, self->values);
  quillet::app::dialog_wire_actions(dialog, xml_transformer_get_widget_actions(self->transformer));
  quillet::app::dialog_wire_events(dialog, extras);

  quillet::app::actions_set_window(window);
  quillet::app::actions_set_environment(action_environment, &state);
  if (height > 0)
    quillet::app::dialog_fit_height(dialog);
  quillet::app::builtins_set_dialog({builder, &extras, end_by, &state});
  gtk_widget_show_all(window);
  quillet::app::dialog_name_fields(dialog, extras);
  quillet::app::feeds_start(builder, extras.feeds);
  quillet::app::dialog_focus_first_field(dialog, extras);
  gtk_main();
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

#ifdef GDK_WINDOWING_X11
// The X server has gone (or a window manager's force quit closed the connection): no answer
// can come, and what the dialog started ends before quillet does.
static int on_display_lost(Display *) {
  quillet::children::end_all();
  _exit(1);
}
#endif

static void watch_display() {
#ifdef GDK_WINDOWING_X11
  if (GDK_IS_X11_DISPLAY(gdk_display_get_default()))
    XSetIOErrorHandler(on_display_lost);
#endif
}

int quillet_main(int argc, char **argv) {
  open_closed_streams();
  quillet::children::install_signal_handlers();
  g_log_set_writer_func(quiet_log_writer, nullptr, nullptr);
  g_autoptr(Quillet) app = quillet_new();
  quillet_parse_arguments(app, argv, argc);
  quillet::children::keep_bus_from_starting();
  load_values(app);
  // No widget of a dialog draws with OpenGL, and loading the GL driver is the larger part of
  // GTK's start-up. Commands started later get the environment as it was.
  const bool gl_chosen = g_getenv("GDK_GL") != nullptr;
  if (!gl_chosen)
    g_setenv("GDK_GL", "disable", TRUE);
  if (!gtk_init_check(&argc, &argv)) {
    const char *named = gdk_get_display_arg_name();
    g_autofree char *where =
        named != nullptr
            ? g_strdup_printf("--display=%s", named)
            : g_strdup_printf("DISPLAY='%s', WAYLAND_DISPLAY='%s'", g_getenv("DISPLAY") ?: "",
                              g_getenv("WAYLAND_DISPLAY") ?: "");
    debug_line("[QUILLET CRITICAL] No display to show the dialog on (%s).\n", where);
    exit(1);
  }
  if (!gl_chosen)
    g_unsetenv("GDK_GL");
  watch_display();
  quillet_launch(app);
  return 0;
}
