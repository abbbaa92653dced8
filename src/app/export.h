#pragma once

// Turning widget state into shell assignments that eval gives back exactly.

#include "widgets/tables.h"

#include <gtk/gtk.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::app {

// Body of a "..." word: backslash, double quote, dollar and backquote get a backslash; the
// word is closed and opened again ("") between a non-ASCII byte and a backslash or digit
// after it, so that no locale reads them as one character.
std::string double_quoted(std::string_view value);

// Body of a $'...' word: backslash and double quote escaped, single quote as \x27 (never
// bare), newline as \n, carriage return as \r, and 0x88 as \x88 where Big5-HKSCS would
// read it and the next byte as two characters; closed and opened again ('$') between a
// non-ASCII byte and an escape or digit after it.
std::string ansi_c_quoted(std::string_view value);

// Whether eval can assign to `name` without running anything.
bool is_shell_name(std::string_view name);

// Why a widget named `name` is neither printed nor put into actions' environments, as the
// end of a sentence ("steers the shell"), or null when nothing stands against it: the name
// would change how the evaluating shell runs, make a program load or run other code, or is
// one that bash gives a value of its own or refuses to assign.
const char *refused_name(std::string_view name);

// What a named widget holds, as OK exports it and actions see it.
struct WidgetState {
  std::string name;
  std::string value;
  bool lines = false; // may run over lines: written in the $'...' form
  bool rows = false;  // rows chosen in a list, one per line: a list of strings where the
                      // format has lists
  std::vector<std::string> items = {}; // those strings whole, where `value` cannot hold them a
                                       // line each; empty: `value`'s lines
  // Rows of cells, where the format has lists of lists; `value` holds them as table_text
  // writes them. None for other values.
  std::optional<widgets::Table> table = std::nullopt;
};

// The state of `object` under `name`, as its kind reads it, or none for a widget without a
// value to export. With `debug`, a kind may explain on standard error how it read it.
std::optional<WidgetState> widget_state(const char *name, GObject *object, bool debug);

// The states of the widgets `order` names (their ids, in document order) that a script can
// read back: what OK prints and what actions see. Generated ids, names the shell cannot
// assign to and refused names are left out; with `warn`, a line on standard error says why
// each refused one is. With `explain`, kinds may say how they read their values.
std::vector<WidgetState> collect_states(const std::vector<std::string> &order, GtkBuilder *builder,
                                        bool explain, bool warn);

// Appends the shell assignment that gives back `state` when evaluated, on one line: a value
// that holds a line break is written in the $'...' form.
void append_state_line(GString *out, const WidgetState &state);

// The environment an action command starts with (a new string vector): quillet's own and
// `widgets`' values under their names, unquoted. So that the command always starts, a value
// the environment cannot hold is left out (with `debug`, a line on standard error says so)
// and the variable is unset rather than left as quillet got it.
char **environment_with(std::span<const WidgetState> widgets, bool debug);

} // namespace quillet::app
