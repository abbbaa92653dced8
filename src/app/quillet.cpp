#include "quillet.h"

#include "common/checks.h"

#include "check.h"
#include "command_line.h"
#include "common/children.h"
#include "formats.h"
#include "session.h"
#include "transform/xml_transformer.h"
#include "values.h"
#include "widgets/kinds.h"

#include <glib/gstdio.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

// The C++ members, constructed in _init and destroyed in finalize.
struct QuilletPrivate {
  std::string program; // the XML program
  quillet::app::Format format = quillet::app::Format::bash;
  std::optional<std::string> values_file;
  std::optional<quillet::app::Values> values; // read from it before the display is opened
  bool debug = false;
  bool check = false;
  std::string named_nothing;                      // the --program name no variable had
  std::unique_ptr<quillet::app::Session> session; // once the window is made

  // A line on standard error with --debug.
  void say(const char *format, ...) const G_GNUC_PRINTF(2, 3);
};

struct _Quillet {
  GObject parent_instance;

  XmlTransformer *transformer;
};

G_DEFINE_TYPE_WITH_PRIVATE(Quillet, quillet, G_TYPE_OBJECT)

static QuilletPrivate &priv(Quillet *self) {
  return *static_cast<QuilletPrivate *>(quillet_get_instance_private(self));
}

void QuilletPrivate::say(const char *format, ...) const {
  if (!debug)
    return;
  va_list args;
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
}

static void quillet_finalize(GObject *object) {
  Quillet *self = QUILLET_APP(object);
  priv(self).~QuilletPrivate();
  g_clear_object(&self->transformer);
  G_OBJECT_CLASS(quillet_parent_class)->finalize(object);
}

static void quillet_class_init(QuilletClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = quillet_finalize;
}

static void quillet_init(Quillet *self) {
  new (&priv(self)) QuilletPrivate();
  self->transformer = xml_transformer_new();
}

Quillet *quillet_new(void) {
  return QUILLET_APP(g_object_new(QUILLET_TYPE_APP, NULL));
}

const char *quillet_get_xml_program(Quillet *self) {
  g_return_val_if_fail(self != NULL, NULL);
  return priv(self).program.c_str();
}

const char *quillet_get_format(Quillet *self) {
  g_return_val_if_fail(self != NULL, NULL);
  return quillet::app::format_name(priv(self).format);
}

const char *quillet_get_values_file(Quillet *self) {
  g_return_val_if_fail(self != NULL, NULL);
  const std::optional<std::string> &file = priv(self).values_file;
  return file ? file->c_str() : nullptr;
}

gboolean quillet_get_debug_mode(Quillet *self) {
  g_return_val_if_fail(self != NULL, FALSE);
  return priv(self).debug;
}

void quillet_parse_arguments(Quillet *self, char **argv, int argc) {
  g_return_if_fail(self != NULL);
  g_return_if_fail(argv != NULL);

  QuilletPrivate &p = priv(self);
  quillet::app::CommandLine line = quillet::app::command_line_parse(argv, argc);
  p.debug = p.debug || line.debug;
  p.check = p.check || line.check;
  p.named_nothing = line.named_nothing;
  if (line.program)
    p.program = std::move(*line.program);
  p.format = line.format;
  if (line.values_file)
    p.values_file = std::move(line.values_file);
  // --debug may come after --program: said once all arguments are read.
  if (!line.named_nothing.empty())
    p.say("[QUILLET DEBUG] No environment variable is named '%s': it was taken as the XML "
          "program itself. Was the variable exported?\n",
          line.named_nothing.c_str());
}

namespace {

// A name for the copy's temporary file that no file may have yet, as mkstemp makes them.
std::string temp_name(std::string_view path) {
  constexpr std::string_view kLetters =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::string name(path);
  name += '.';
  for (int i = 0; i < 6; i++)
    name += kLetters[g_random_int_range(0, static_cast<gint32>(kLetters.size()))];
  return name;
}

// Replaces the file whole, as a new file renamed over the old one (never written through a
// link), without waiting for the disk: the copy is rewritten on every run anyway. A copy
// that cannot be written whole (a full disk, a file size limit) is skipped. A signal removes
// the temporary file, named to it before it exists.
void write_debug_copy(const QuilletPrivate &p, const char *layout, size_t length) {
  constexpr const char *kPath = "debug_generated_layout.xml";
  std::string temp;
  int fd = -1;
  bool named = false;
  for (int tries = 0; fd < 0 && tries < 100; tries++) {
    temp = temp_name(kPath);
    named = quillet::children::set_temp_file(temp.c_str());
    // The owner's only: the items that input commands printed are in it.
    fd = g_open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const int error = errno;
    if (fd < 0 && named && !quillet::children::take_temp_file())
      return; // a signal ends quillet
    if (fd < 0 && error != EEXIST) {
      p.say("[QUILLET DEBUG] %s not written: %s\n", kPath, g_strerror(error));
      return;
    }
  }
  if (fd < 0)
    return;
  FILE *file = fdopen(fd, "w");
  bool done = false;
  if (file != nullptr) {
    const bool written = fwrite(layout, 1, length, file) == length;
    done = fclose(file) == 0 && written && g_rename(temp.c_str(), kPath) == 0;
  } else {
    close(fd);
  }
  // A signal that took the name back first has removed the file.
  const bool ours = !named || quillet::children::take_temp_file();
  if (!done) {
    p.say("[QUILLET DEBUG] %s not written whole: it is left as it was.\n", kPath);
    if (ours)
      g_unlink(temp.c_str());
  }
}

// Standard error goes to the null device while it lives.
class StderrSilenced {
public:
  StderrSilenced() : saved_(dup(STDERR_FILENO)) {
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null_fd >= 0)
      dup2(null_fd, STDERR_FILENO);
    if (null_fd >= 0)
      close(null_fd);
  }
  ~StderrSilenced() {
    if (saved_ < 0)
      return;
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }
  StderrSilenced(const StderrSilenced &) = delete;
  StderrSilenced &operator=(const StderrSilenced &) = delete;

private:
  int saved_;
};

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
  const QuilletPrivate &p = priv(self);
  if (!p.debug)
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
  std::string origin;
  {
    // The walks made on the way would repeat their own debug lines, and GTK its complaints.
    const StderrSilenced silenced;
    origin = xml_transformer_origin(self->transformer, rejected);
  }
  if (!origin.empty())
    p.say("[QUILLET DEBUG] GTK rejected what the markup brings in at %s\n", origin.c_str());
}

} // namespace

int quillet_launch(Quillet *self) {
  g_return_val_if_fail(self != NULL, 1);

  QuilletPrivate &p = priv(self);
  if (p.program.empty()) {
    p.say("[QUILLET CRITICAL] No XML program payload found.\n");
    return 1;
  }

  g_autofree char *layout =
      xml_transformer_process_and_clean_xml(self->transformer, p.program.c_str());
  const size_t length = strlen(layout);
  // A copy for the script's author; a directory we cannot write to must not stop the dialog.
  write_debug_copy(p, layout, length);

  if (xml_transformer_get_nesting_depth(self->transformer) > quillet::app::kMaxNesting) {
    p.say("[QUILLET CRITICAL] Widgets are nested more than %zu levels deep.\n",
          quillet::app::kMaxNesting);
    return 1;
  }

  g_autoptr(GtkBuilder) builder = gtk_builder_new();
  p.say("[CONTROL POINT A] Feeding XML string to Gtk.Builder.add_from_string...\n");
  g_autoptr(GError) error = nullptr;
  // The rows of lists and combo boxes may come to GTK apart, as the window is set up.
  const quillet::transform::DialogExtras &extras = *xml_transformer_get_extras(self->transformer);
  const std::string &for_gtk = extras.builder_layout;
  if (!gtk_builder_add_from_string(builder, for_gtk.empty() ? layout : for_gtk.c_str(),
                                   for_gtk.empty() ? length : for_gtk.size(), &error)) {
    p.say("[CONTROL POINT D] GTK PARSER EXCEPTION: %s\n", error->message);
    report_origin(self, error);
    return 1;
  }
  p.say("[CONTROL POINT B] Gtk.Builder parsed string successfully without exceptions.\n");

  GtkWidget *window = quillet::widgets::window_of(builder);
  if (window == nullptr) {
    p.say("[QUILLET CRITICAL] The markup has no <window> element: there is nothing to show.\n");
    return 1;
  }

  // What the markup asked for, or 450 x 350.
  int width = -1, height = -1;
  gtk_window_get_default_size(GTK_WINDOW(window), &width, &height);
  gtk_window_set_default_size(GTK_WINDOW(window), width > 0 ? width : 450,
                              height > 0 ? height : 350);
  p.session = std::make_unique<quillet::app::Session>(
      builder, window, extras, xml_transformer_get_widget_actions(self->transformer), p.format,
      p.debug);
  return p.session->run(p.values ? &*p.values : nullptr, height > 0);
}

namespace {

// GLib and GTK speak on standard error only when asked to with --debug (`debug` not null).
GLogWriterOutput quiet_log_writer(GLogLevelFlags level, const GLogField *fields, gsize n_fields,
                                  gpointer debug) {
  if (debug == nullptr)
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
    fprintf(stderr, "[QUILLET DEBUG] %s\n", message);
    return G_LOG_WRITER_HANDLED;
  }
  return g_log_writer_default(level, fields, n_fields, nullptr);
}

// A standard stream started closed would be the next file opened (the display connection,
// the debug copy), and the answer would be written into it.
void open_closed_streams() {
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
bool load_values(QuilletPrivate &p) {
  if (!p.values_file)
    return true;
  const char *path = p.values_file->c_str();
  g_autoptr(GError) error = nullptr;
  p.values = quillet::app::values_load(path, &error);
  if (!p.values) {
    p.say("[QUILLET CRITICAL] Values file '%s' cannot be read: %s\n", path, error->message);
    return false;
  }
  for (const std::string &note : p.values->notes)
    p.say("[QUILLET DEBUG] Values file '%s': %s.\n", path, note.c_str());
  return true;
}

// No widget of a dialog draws with OpenGL, and loading the GL driver is the larger part of
// GTK's start-up. Commands started later get the environment as it was.
bool open_display(const QuilletPrivate &p, int *argc, char ***argv) {
  const bool gl_chosen = g_getenv("GDK_GL") != nullptr;
  if (!gl_chosen)
    g_setenv("GDK_GL", "disable", TRUE);
  if (!gtk_init_check(argc, argv)) {
    const char *named = gdk_get_display_arg_name();
    g_autofree char *where =
        named != nullptr
            ? g_strdup_printf("--display=%s", named)
            : g_strdup_printf("DISPLAY='%s', WAYLAND_DISPLAY='%s'", g_getenv("DISPLAY") ?: "",
                              g_getenv("WAYLAND_DISPLAY") ?: "");
    p.say("[QUILLET CRITICAL] No display to show the dialog on (%s).\n", where);
    return false;
  }
  if (!gl_chosen)
    g_unsetenv("GDK_GL");
  return true;
}

#ifdef GDK_WINDOWING_X11
// The X server has gone (or a window manager's force quit closed the connection): no answer
// can come, and what the dialog started ends before quillet does. Xlib ends the process when
// this returns, so it never does.
int on_display_lost(Display *) {
  quillet::children::end_all();
  _exit(1);
}
#endif

void watch_display() {
#ifdef GDK_WINDOWING_X11
  if (GDK_IS_X11_DISPLAY(gdk_display_get_default()))
    XSetIOErrorHandler(on_display_lost);
#endif
}

} // namespace

namespace {

// --check: the problems on standard output, for the author (and a script's `|| exit`); status
// 1 when there is one. A display is used when there is one, and none is needed.
int check(Quillet *self, int *argc, char ***argv) {
  const QuilletPrivate &p = priv(self);
  g_setenv("GDK_GL", "disable", TRUE);
  const bool display = gtk_init_check(argc, argv);
  std::vector<quillet::app::Problem> problems =
      quillet::app::check_dialog(self->transformer, p.program, display);
  if (!p.named_nothing.empty())
    problems.insert(problems.begin(),
                    {0, "No environment variable is named '" + p.named_nothing +
                            "': it was taken as the XML program itself. Was the variable "
                            "exported?"});
  quillet::app::print_problems(problems, stdout);
  return problems.empty() ? 0 : 1;
}

} // namespace

int quillet_main(int argc, char **argv) {
  open_closed_streams();
  quillet::children::install_signal_handlers();
  g_autoptr(Quillet) app = quillet_new();
  quillet_parse_arguments(app, argv, argc);
  QuilletPrivate &p = priv(app);
  // Set once for the process, with what the command line asked for.
  // --check says what it finds on standard output alone: the walks it makes to find where
  // GTK's fault comes in would repeat every debug line.
  g_log_set_writer_func(quiet_log_writer, p.debug && !p.check ? GINT_TO_POINTER(TRUE) : nullptr,
                        nullptr);
  quillet::children::keep_bus_from_starting();
  if (p.check)
    return check(app, &argc, &argv);
  if (!load_values(p) || !open_display(p, &argc, &argv))
    return 1;
  watch_display();
  return quillet_launch(app);
}
