#pragma once

// Action commands run beside the main loop: one queue, one command at a time, in the order
// the lists were triggered.

#include <gtk/gtk.h>

namespace quillet::app {

// The window whose cursor shows that an action runs.
void actions_set_window(GtkWidget *window);

// Queues a widget's list of commands (owned by the widget actions table, which outlives the
// dialog). `source` names what triggered it, for actions_pending. Nothing runs before the
// main loop next turns: never inside the signal that queued it.
void actions_enqueue(GPtrArray *commands, gconstpointer source);

// Whether a list queued from `source` is running or waiting to run.
bool actions_pending(gconstpointer source);

// Whether a list queued from `source` waits to run, none of its commands started yet.
bool actions_waiting(gconstpointer source);

// The end of the dialog: drops every list that has not finished, then waits until the
// running command has ended, so that its work is done when quillet returns.
void actions_finish();

// The process running the current command, or 0.
GPid actions_running_pid();

// Makes the environment each action command starts with (a new string vector), from `data`;
// without one, commands get quillet's own.
using EnvironmentFunc = char **(*)(gpointer data);
void actions_set_environment(EnvironmentFunc make_environment, gpointer data);

// The environment an action command would start with now (a new string vector).
char **actions_environment();

// What a command of the form VERB:NAME did when its turn came: it was none (a program to
// start), it is done, or it still works beside the main loop and the queue waits until
// actions_resume().
enum class Builtin { kNone, kDone, kWorking };
using BuiltinFunc = Builtin (*)(const char *command);
void actions_set_builtins(BuiltinFunc run);
void actions_resume();

} // namespace quillet::app
