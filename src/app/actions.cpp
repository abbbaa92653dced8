#include "actions.h"

#include "common/children.h"

#include <deque>
#include <string>
#include <utility>

namespace quillet::app {

namespace {

struct Job {
  GPtrArray *commands;
  guint next;
  gconstpointer source;
};

struct Runner {
  std::deque<Job> queue; // the front job is the one running
  GPid running = 0;
  std::string command; // the one running, for --debug
  guint watch = 0;
  GtkWidget *window = nullptr;
  EnvironmentFunc make_environment = nullptr;
  gpointer environment_data = nullptr;
  BuiltinFunc builtin = nullptr;
  bool working = false; // a built-in command works on
  guint start = 0;      // the idle callback that starts the queue
};

Runner &runner() {
  static Runner instance;
  return instance;
}

// The pointer that says "working, but go on": the window still takes input.
void show_busy(bool busy) {
  GtkWidget *window = runner().window;
  GdkWindow *surface = window != nullptr ? gtk_widget_get_window(window) : nullptr;
  if (surface == nullptr)
    return;
  g_autoptr(GdkCursor) cursor =
      busy ? gdk_cursor_new_from_name(gdk_window_get_display(surface), "progress") : nullptr;
  gdk_window_set_cursor(surface, cursor);
}

void run_next();

// A command that failed says so with --debug only: actions have no other voice.
void report_end(int wait_status) {
  g_autoptr(GError) error = nullptr;
  if (!g_spawn_check_wait_status(wait_status, &error))
    g_debug("Action command failed: %s: %s", runner().command.c_str(), error->message);
}

void on_command_ended(GPid pid, gint wait_status, gpointer) {
  report_end(wait_status);
  children::forget(pid);
  children::keep_background(pid);
  g_spawn_close_pid(pid);
  runner().running = 0;
  runner().watch = 0;
  run_next();
}

// Starts the next command that can start; a command that cannot (blank, unbalanced quotes,
// no such program) is passed over as if it had run, with a --debug line saying why.
void run_next() {
  Runner &r = runner();
  while (!r.queue.empty()) {
    Job &job = r.queue.front();
    while (job.next < job.commands->len) {
      const char *command = static_cast<const char *>(job.commands->pdata[job.next++]);
      // A built-in acts on the dialog itself, in its turn, and starts no program.
      const Builtin builtin = r.builtin != nullptr ? r.builtin(command) : Builtin::kNone;
      if (builtin == Builtin::kDone)
        continue;
      if (builtin == Builtin::kWorking) {
        r.working = true;
        show_busy(true);
        return;
      }
      g_auto(GStrv) argv = nullptr;
      g_autoptr(GError) error = nullptr;
      if (!g_shell_parse_argv(command, nullptr, &argv, &error)) {
        g_debug("Action command could not start: %s: %s", command, error->message);
        continue;
      }
      // Made as each command starts, so that it sees the values as they are then.
      g_auto(GStrv) envp = actions_environment();
      GPid pid = 0;
      // Standard input is the null device unless asked otherwise.
      if (!children::spawn(argv, envp,
                           GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                       G_SPAWN_STDERR_TO_DEV_NULL),
                           &pid, nullptr, &error)) {
        g_debug("Action command could not start: %s: %s", command, error->message);
        continue;
      }
      r.running = pid;
      r.command = command;
      r.watch = g_child_watch_add(pid, on_command_ended, nullptr);
      show_busy(true);
      return;
    }
    g_ptr_array_unref(job.commands);
    r.queue.pop_front();
  }
  show_busy(false);
}

gboolean start_queue(gpointer) {
  Runner &r = runner();
  r.start = 0;
  if (r.running == 0 && !r.working)
    run_next();
  return G_SOURCE_REMOVE;
}

} // namespace

void actions_set_environment(EnvironmentFunc make_environment, gpointer data) {
  runner().make_environment = make_environment;
  runner().environment_data = data;
}

char **actions_environment() {
  Runner &r = runner();
  return r.make_environment != nullptr ? r.make_environment(r.environment_data) : g_get_environ();
}

void actions_set_builtins(BuiltinFunc run) {
  runner().builtin = run;
}

void actions_resume() {
  Runner &r = runner();
  if (!r.working)
    return;
  r.working = false;
  run_next();
}

void actions_set_window(GtkWidget *window) {
  runner().window = window;
}

void actions_enqueue(GPtrArray *commands, gconstpointer source) {
  g_return_if_fail(commands != NULL);
  if (commands->len == 0)
    return;
  Runner &r = runner();
  r.queue.push_back({g_ptr_array_ref(commands), 0, source});
  // Started once the signal that queued it has returned: a built-in must not change a widget
  // in the middle of the change it reacts to.
  if (r.start == 0)
    r.start = g_idle_add_full(G_PRIORITY_DEFAULT, start_queue, nullptr, nullptr);
}

bool actions_pending(gconstpointer source) {
  for (const Job &job : runner().queue)
    if (job.source == source)
      return true;
  return false;
}

bool actions_waiting(gconstpointer source) {
  for (const Job &job : runner().queue)
    if (job.source == source && job.next == 0)
      return true;
  return false;
}

GPid actions_running_pid() {
  return runner().running;
}

void actions_finish() {
  Runner &r = runner();
  for (Job &job : r.queue)
    g_ptr_array_unref(job.commands);
  r.queue.clear();
  r.working = false;
  if (r.start != 0)
    g_source_remove(std::exchange(r.start, 0));
  if (r.running == 0)
    return;
  g_source_remove(r.watch);
  r.watch = 0;
  report_end(children::wait(r.running));
  children::keep_background(r.running);
  r.running = 0;
}

} // namespace quillet::app
