#pragma once

// Action commands run beside the main loop: one queue, one command at a time, in the order
// the lists were triggered.

#include "quiet.h"

#include <gtk/gtk.h>

#include <deque>
#include <functional>
#include <string>

namespace quillet::app {

// What a command of the form VERB:NAME did when its turn came: it was none (a program to
// start), it is done, or it still works beside the main loop and the queue waits until
// Actions::resume().
enum class Builtin { kNone, kDone, kWorking };

class Actions {
public:
  // Makes the environment each command starts with (a new string vector).
  using EnvironmentFunc = std::function<char **()>;
  using BuiltinFunc = std::function<Builtin(const char *command)>;

  // `window`'s pointer shows that an action runs.
  Actions(GtkWidget *window, EnvironmentFunc make_environment);
  ~Actions();
  Actions(const Actions &) = delete;
  Actions &operator=(const Actions &) = delete;

  // Runs the built-in commands (see builtins.h).
  void set_builtins(BuiltinFunc run) { builtin_ = std::move(run); }

  // Queues a widget's list of commands (owned by the widget actions table, which outlives the
  // dialog). `source` names what triggered it, for pending(). Nothing runs before the main
  // loop next turns: never inside the signal that queued it.
  void enqueue(GPtrArray *commands, gconstpointer source);

  // Whether a list queued from `source` is running or waiting to run.
  bool pending(gconstpointer source) const;

  // Whether a list queued from `source` waits to run, none of its commands started yet.
  bool waiting(gconstpointer source) const;

  // The environment an action command would start with now (a new string vector).
  char **environment() const { return make_environment_(); }

  // Changes quillet makes to widgets itself hold a Quiet on this; meanwhile the widgets'
  // handlers queue nothing.
  QuietDepth &quiet() { return quiet_; }

  // A built-in that was working is done: the queue goes on.
  void resume();

  // The dialog has ended: nothing starts from now on, nor is queued.
  void close() { closed_ = true; }

  // The end of the dialog: drops every list that has not finished, then waits until the
  // running command has ended, so that its work is done when quillet returns.
  void finish();

private:
  struct Job {
    GPtrArray *commands;
    guint next;
    gconstpointer source;
  };

  static void on_command_ended(GPid pid, gint wait_status, gpointer data);
  static gboolean start_queue(gpointer data);
  void run_next();
  void show_busy(bool busy);
  void report_end(int wait_status);

  GtkWidget *window_;
  EnvironmentFunc make_environment_;
  BuiltinFunc builtin_;
  std::deque<Job> queue_; // the front job is the one running
  GPid running_ = 0;
  std::string command_; // the one running, for --debug
  guint watch_ = 0;
  bool working_ = false; // a built-in command works on
  guint start_ = 0;      // the idle callback that starts the queue
  bool closed_ = false;
  QuietDepth quiet_;
};

} // namespace quillet::app
