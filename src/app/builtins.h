#pragma once

// Built-in commands: an action command VERB:NAME acts on the dialog itself in its turn in the
// action queue, and starts no program but a refresh's input commands. NAME is a widget's name
// (its variable or id); exit:WORD ends the dialog with WORD.

#include "actions.h"
#include "transform/layout.h"

#include <gtk/gtk.h>

namespace quillet::app {

// What the built-in commands act on; `end` ends the dialog with an exit word, as a button
// given that word does.
struct BuiltinDialog {
  GtkBuilder *builder;
  const transform::DialogExtras *extras;
  void (*end)(const char *word, gpointer data);
  gpointer data;
};

// Makes the action queue run built-in commands on `dialog`, which outlives it.
void builtins_set_dialog(const BuiltinDialog &dialog);

// Runs `command` when it is a built-in one (see actions.h).
Builtin builtins_run(const char *command);

// The end of the dialog: ends a refresh's input command that still runs.
void builtins_stop();

} // namespace quillet::app
