#pragma once

// Built-in commands: an action command VERB:NAME acts on the dialog itself in its turn in the
// action queue, and starts no program but a refresh's input commands. NAME is a widget's name
// (its variable or id); exit:WORD ends the dialog with WORD.

#include "actions.h"
#include "feeds.h"
#include "transform/layout.h"

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillet::app {

// A built-in command's parts: VERB:NAME.
struct BuiltinCommand {
  std::string_view verb;
  std::string name;
};

// `command`'s parts when it is a built-in command; none for a program to run.
std::optional<BuiltinCommand> builtin_command(std::string_view command);

// The object id of the widget a built-in command names, or empty.
std::string object_named(const transform::DialogExtras &extras, const std::string &name);

// What the built-in commands act on; `end` ends the dialog with an exit word, as a button
// given that word does.
struct BuiltinDialog {
  GtkBuilder *builder;
  const transform::DialogExtras *extras;
  void (*end)(const char *word, gpointer data);
  gpointer data;
};

class Builtins {
public:
  // Makes `actions` run built-in commands on `dialog`; all three outlive it.
  Builtins(const BuiltinDialog &dialog, Actions &actions, Feeds &feeds);
  ~Builtins();
  Builtins(const Builtins &) = delete;
  Builtins &operator=(const Builtins &) = delete;

  // Runs `command` when it is a built-in one (see actions.h).
  Builtin run(const char *command);

  // The end of the dialog: ends a refresh's input command that still runs.
  void stop();

private:
  struct Refresh;

  Builtin refresh(GObject *widget, const std::string &id, const std::string &name);
  void run_next();
  void put_in_place(Refresh &refresh);

  BuiltinDialog dialog_;
  Actions &actions_;
  Feeds &feeds_;
  std::unique_ptr<Refresh> refreshing_;
};

} // namespace quillet::app
