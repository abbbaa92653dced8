#include "actions.h"

#include "common/checks.h"

#include "common/children.h"

#include <utility>

namespace quillet::app {

Actions::Actions(GtkWidget *window, EnvironmentFunc make_environment)
    : window_(window), make_environment_(std::move(make_environment)) {}

Actions::~Actions() {
  finish();
}

// The pointer that says "working, but go on": the window still takes input.
void Actions::show_busy(bool busy) {
  GdkWindow *surface = window_ != nullptr ? gtk_widget_get_window(window_) : nullptr;
  if (surface == nullptr)
    return;
  g_autoptr(GdkCursor) cursor =
      busy ? gdk_cursor_new_from_name(gdk_window_get_display(surface), "progress") : nullptr;
  gdk_window_set_cursor(surface, cursor);
}

// A command that failed says so with --debug only: actions have no other voice.
void Actions::report_end(int wait_status) {
  g_autoptr(GError) error = nullptr;
  if (!g_spawn_check_wait_status(wait_status, &error))
    g_debug("Action command failed: %s: %s", command_.c_str(), error->message);
}

void Actions::on_command_ended(GPid pid, gint wait_status, gpointer data) {
  auto *self = static_cast<Actions *>(data);
  self->report_end(wait_status);
  children::forget(pid);
  children::keep_background(pid);
  g_spawn_close_pid(pid);
  self->running_ = 0;
  self->watch_ = 0;
  self->run_next();
}

// Starts the next command that can start; a command that cannot (blank, unbalanced quotes,
// no such program) is passed over as if it had run, with a --debug line saying why.
void Actions::run_next() {
  while (!queue_.empty() && !closed_) {
    Job &job = queue_.front();
    while (job.next < job.commands->len && !closed_) {
      const char *command = static_cast<const char *>(job.commands->pdata[job.next++]);
      // A built-in acts on the dialog itself, in its turn, and starts no program.
      const Builtin builtin = builtin_ ? builtin_(command) : Builtin::kNone;
      if (builtin == Builtin::kDone)
        continue;
      if (builtin == Builtin::kWorking) {
        working_ = true;
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
      g_auto(GStrv) envp = environment();
      GPid pid = 0;
      // Standard input is the null device unless asked otherwise.
      if (!children::spawn(argv, envp,
                           GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                       G_SPAWN_STDERR_TO_DEV_NULL),
                           &pid, nullptr, &error)) {
        g_debug("Action command could not start: %s: %s", command, error->message);
        continue;
      }
      running_ = pid;
      command_ = command;
      watch_ = g_child_watch_add(pid, on_command_ended, this);
      show_busy(true);
      return;
    }
    if (closed_)
      return;
    g_ptr_array_unref(job.commands);
    queue_.pop_front();
  }
  show_busy(false);
}

gboolean Actions::start_queue(gpointer data) {
  auto *self = static_cast<Actions *>(data);
  self->start_ = 0;
  if (self->running_ == 0 && !self->working_)
    self->run_next();
  return G_SOURCE_REMOVE;
}

void Actions::resume() {
  if (!working_)
    return;
  working_ = false;
  run_next();
}

void Actions::enqueue(GPtrArray *commands, gconstpointer source) {
  g_return_if_fail(commands != NULL);
  if (commands->len == 0 || closed_)
    return;
  queue_.push_back({g_ptr_array_ref(commands), 0, source});
  // Started once the signal that queued it has returned: a built-in must not change a widget
  // in the middle of the change it reacts to.
  if (start_ == 0)
    start_ = g_idle_add_full(G_PRIORITY_DEFAULT, start_queue, this, nullptr);
}

bool Actions::pending(gconstpointer source) const {
  for (const Job &job : queue_)
    if (job.source == source)
      return true;
  return false;
}

bool Actions::waiting(gconstpointer source) const {
  for (const Job &job : queue_)
    if (job.source == source && job.next == 0)
      return true;
  return false;
}

void Actions::finish() {
  closed_ = true;
  for (Job &job : queue_)
    g_ptr_array_unref(job.commands);
  queue_.clear();
  working_ = false;
  if (start_ != 0)
    g_source_remove(std::exchange(start_, 0));
  if (running_ == 0)
    return;
  g_source_remove(std::exchange(watch_, 0));
  report_end(children::wait(running_));
  children::keep_background(running_);
  running_ = 0;
}

} // namespace quillet::app
