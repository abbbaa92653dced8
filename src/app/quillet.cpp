#include "quillet.h"

#include "common/checks.h"

#include "actions.h"
#include "builtins.h"
#include "common/children.h"
#include "dialog.h"
#include "export.h"
#include "feeds.h"
#include "transform/xml_transformer.h"
#include "widgets/kinds.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

struct _Quillet {
  GObject parent_instance;

  char *xml_program;
  XmlTransformer *transformer;
};

G_DEFINE_TYPE(Quillet, quillet, G_TYPE_OBJECT)

static gboolean debug_mode = FALSE;

static constexpr size_t kMaxNesting = 1000;

static void quillet_finalize(GObject *object) {
  Quillet *self = QUILLET_APP(object);
  g_clear_pointer(&self->xml_program, g_free);
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

  // The banner comes first, as it always has: scripts may look for it.
  if (argc <= 1 || g_str_equal(argv[1], "--help") || g_str_equal(argv[1], "-h")) {
    fputs("quillet v" QUILLET_VERSION " - Native GTK3 Drop-In Replacement\n"
          "Usage: quillet --program NAME [--debug]\n"
          "       quillet --help | --version\n"
          "Shows the dialog whose markup the environment variable NAME holds (or NAME itself,\n"
          "when no variable has that name) and prints what the user entered, for eval.\n"
          "  -p NAME, --program NAME, -p=NAME, --program=NAME   the variable with the dialog\n"
          "  --debug      explain on standard error how the dialog was loaded and why it ended\n"
          "  -h, --help   print this help\n"
          "  --version    print the version\n"
          "See quillet(1).\n",
          stdout);
    exit(0);
  }
  if (g_str_equal(argv[1], "--version")) {
    fputs("quillet " QUILLET_VERSION "\n", stdout);
    exit(0);
  }

  std::string_view named_nothing;
  for (int i = 1; i < argc; i++) {
    const std::string_view arg = argv[i];
    if (arg == "--debug") {
      debug_mode = TRUE;
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
  GtkWidget *ok;     // null without one
  GtkWidget *cancel; // null without one
};

// The named widgets' states in document order: what OK prints and what actions see. A
// refused name is said once, whichever comes first.
std::vector<quillet::app::WidgetState> collect_states(Quillet *app, GtkBuilder *builder,
                                                      bool debug) {
  static bool refusals_said = false;
  std::vector<quillet::app::WidgetState> states;
  for (const std::string &id : xml_transformer_get_extras(app->transformer)->order) {
    const char *name = id.c_str();
    // Generated ids name nothing the script asked for; a name the shell cannot assign to
    // would make eval run a command; a widget named EXIT would overwrite the status line.
    if (g_str_has_prefix(name, "auto_id_") || !quillet::app::is_shell_name(name) ||
        g_str_equal(name, "EXIT"))
      continue;
    if (const char *reason = quillet::app::refused_name(name)) {
      if (!refusals_said)
        debug_line(
            "[QUILLET WARNING] Widget '%s' neither exported nor given to actions: the name %s.\n",
            name, reason);
      continue;
    }
    GObject *object = gtk_builder_get_object(builder, name);
    if (object == nullptr)
      continue;
    if (auto state = quillet::app::widget_state(name, object, debug))
      states.push_back(std::move(*state));
  }
  refusals_said = true;
  return states;
}

// Linux refuses to start a program (E2BIG) when one string of its environment takes
// 128 KiB with its NUL, or when its strings and their pointers, with the arguments', take
// more than a quarter of the stack limit (at least 128 KiB, at most 6 MiB), which
// sysconf(_SC_ARG_MAX) gives. Half of that is left for the command's own words.
constexpr size_t kMaxEnvironmentString = 128 * 1024;

size_t environment_budget() {
  const long arg_max = sysconf(_SC_ARG_MAX);
  return std::min<size_t>(arg_max > 0 ? static_cast<size_t>(arg_max) : kMaxEnvironmentString,
                          6 * 1024 * 1024) /
         2;
}

size_t environment_cost(size_t length) {
  return length + 1 + sizeof(char *);
}

// What every action command starts with: quillet's environment and the widgets' values
// under their names, unquoted, as OK would print them. So that the command always starts,
// a value the environment cannot hold (see above) is left out, in document order, and the
// variable is unset rather than left as quillet got it.
char **action_environment(gpointer data) {
  auto *state = static_cast<LaunchState *>(data);
  const std::vector<quillet::app::WidgetState> widgets =
      collect_states(state->app, state->builder, false);
  std::unordered_set<std::string_view> names;
  for (const quillet::app::WidgetState &widget : widgets)
    names.insert(widget.name);
  g_autoptr(GPtrArray) env = g_ptr_array_new_null_terminated(0, g_free, TRUE);
  size_t used = 0;
  for (char **variable = environ; *variable != nullptr; variable++) {
    const std::string_view text = *variable;
    if (!names.contains(text.substr(0, text.find('=')))) {
      g_ptr_array_add(env, g_strdup(*variable));
      used += environment_cost(text.size());
    }
  }
  const size_t budget = environment_budget();
  for (const quillet::app::WidgetState &widget : widgets) {
    const size_t length = widget.name.size() + 1 + widget.value.size();
    if (length + 1 > kMaxEnvironmentString || used + environment_cost(length) > budget) {
      debug_line("[QUILLET WARNING] Widget '%s' left out of an action's environment: its "
                 "value (%zu bytes) does not fit.\n",
                 widget.name.c_str(), widget.value.size());
      continue;
    }
    g_ptr_array_add(env, g_strconcat(widget.name.c_str(), "=", widget.value.c_str(), NULL));
    used += environment_cost(length);
  }
  return reinterpret_cast<char **>(g_ptr_array_steal(env, nullptr));
}

// Also what exit:WORD does, with the state as `data`.
void end_with(const char *word, gpointer data) {
  auto *state = static_cast<LaunchState *>(data);
  g_autofree char *line = g_strdup_printf("EXIT=\"%s\"\n", word);
  fputs(line, stdout);
  quillet_export_all_states(state->app, state->builder);
  gtk_widget_destroy(state->window);
}

// The answer is out by now. The window goes from the screen at once; feeds are ended, what
// is queued never runs, and the running action is waited for, so that its work is done when
// the script goes on.
void on_destroy(GtkWidget *, gpointer) {
  gdk_display_flush(gdk_display_get_default());
  quillet::app::feeds_stop();
  quillet::app::builtins_stop();
  quillet::app::actions_finish();
  exit(0);
}

void on_ok(GtkButton *, gpointer data) {
  end_with("OK", data);
}

void on_exit_button(GtkButton *button, gpointer data) {
  end_with(static_cast<const char *>(g_object_get_data(G_OBJECT(button), "quillet-exit")), data);
}

void on_cancel(GtkButton *, gpointer data) {
  auto *state = static_cast<LaunchState *>(data);
  fputs("EXIT=\"CANCEL\"\n", stdout);
  flush_answer();
  gtk_widget_destroy(state->window);
}

// A button given an exit word ends the dialog with it, as OK does with its own.
void wire_exits(LaunchState *state, const quillet::transform::DialogExtras &extras) {
  for (const auto &[id, word] : extras.exits) {
    GObject *object = gtk_builder_get_object(state->builder, id.c_str());
    if (object == nullptr || !quillet::widgets::is_clicked(object) ||
        GTK_WIDGET(object) == state->ok || GTK_WIDGET(object) == state->cancel)
      continue;
    g_object_set_data_full(object, "quillet-exit", g_strdup(word.c_str()), g_free);
    g_signal_connect(object, "clicked", G_CALLBACK(on_exit_button), state);
  }
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
  if (!gtk_builder_add_from_string(builder, layout, length, &error)) {
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

  const quillet::app::Dialog dialog{builder, window, state.ok, state.cancel};
  quillet::app::dialog_set_up(dialog, extras);
  wire_exits(&state, extras);
  quillet::app::dialog_wire_actions(dialog, xml_transformer_get_widget_actions(self->transformer));
  quillet::app::dialog_wire_events(dialog, extras);

  quillet::app::actions_set_window(window);
  quillet::app::actions_set_environment(action_environment, &state);
  quillet::app::builtins_set_dialog({builder, &extras, end_with, &state});
  gtk_widget_show_all(window);
  quillet::app::feeds_start(builder, extras.feeds);
  quillet::app::dialog_focus_first_field(dialog, extras);
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

int quillet_main(int argc, char **argv) {
  open_closed_streams();
  quillet::children::install_signal_handlers();
  g_log_set_writer_func(quiet_log_writer, nullptr, nullptr);
  g_autoptr(Quillet) app = quillet_new();
  quillet_parse_arguments(app, argv, argc);
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
  quillet_launch(app);
  return 0;
}
