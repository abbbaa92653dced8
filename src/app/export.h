#pragma once

// Turning widget state into shell assignments that eval gives back exactly.

#include <gtk/gtk.h>

#include <optional>
#include <string>
#include <string_view>

namespace quillet::app {

// Body of a "..." word: backslash, double quote, dollar and backquote get a backslash; the
// word is closed and opened again ("") before a backslash that follows a non-ASCII byte.
std::string double_quoted(std::string_view value);

// Body of a $'...' word: backslash and double quote escaped, single quote as \x27 (never
// bare), newline as \n; closed and opened again ('$') before an escape that follows a
// non-ASCII byte.
std::string ansi_c_quoted(std::string_view value);

// Whether eval can assign to `name` without running anything.
bool is_shell_name(std::string_view name);

// Whether assigning to `name` changes how the evaluating shell itself runs (its trace
// prompt, word splitting, command search, startup files or options).
bool steers_shell(std::string_view name);

// Object data on a slider given a number of decimals: that number plus one.
inline constexpr const char *kDigits = "quillet-digits";

// Object data on the entry of a save chooser: its text is exported as an absolute path.
inline constexpr const char *kSaveChooser = "quillet-save-chooser";

// What a named widget holds, as OK exports it and actions see it.
struct WidgetState {
  std::string name;
  std::string value;
  bool lines = false; // a text view's or rows': written in the $'...' form
  bool rows = false;  // rows chosen in a list, one per line: a list of strings where the
                      // format has lists
};

// The state of `object` under `name`, or none for a widget without a value to export. With
// `debug`, combo boxes explain themselves on standard error.
std::optional<WidgetState> widget_state(const char *name, GObject *object, bool debug);

// Appends the shell assignment that gives back `state` when evaluated.
void append_state_line(GString *out, const WidgetState &state);

// Both of the above: the state line of `object` exported as `name`, or nothing.
void append_state_line(GString *out, const char *name, GObject *object, bool debug);

} // namespace quillet::app
