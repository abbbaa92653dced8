#pragma once

// What the command line asks for.

#include "formats.h"

#include <optional>
#include <string>

namespace quillet::app {

struct CommandLine {
  std::optional<std::string> program; // the markup, when a --program was given
  std::string named_nothing;          // the --program name no variable had, taken as markup
  bool debug = false;
  bool check = false; // --check: say the dialog's mistakes, show nothing
  Format format = Format::bash;
  std::optional<std::string> values_file; // --values: a path, or "-"
};

// Reads `argv`. Prints the banner or the version and ends the process with status 0 when
// asked for them (or given nothing); ends it with status 2 and a message on standard error
// for an unknown format or an option without its value. Of an option given twice, the last
// counts.
CommandLine command_line_parse(char **argv, int argc);

} // namespace quillet::app
