#pragma once

// quillet --check: the mistakes of a dialog, found without showing it.

#include "transform/xml_transformer.h"

#include <cstdio>
#include <string>
#include <vector>

namespace quillet::app {

using widgets::Problem;

// How deep widgets may be nested: GTK lays out nested widgets recursively and runs out of
// stack a few thousand levels down; no dialog needs more than a handful.
constexpr size_t kMaxNesting = 1000;

// Every mistake the markup `program` holds that the walk, the commands of its actions, the
// names of its widgets and GTK show, sorted by markup line (0 for none). Runs no command of
// the markup: its inputs print nothing. With `display`, GtkBuilder parses the layout; without,
// the layout is checked as well as can be done without one: well formed, every class known,
// and every property the class has, with a value GTK can read (where the value is no object).
std::vector<Problem> check_dialog(XmlTransformer *transformer, const std::string &program,
                                  bool display);

// Writes `problems` a line each, "LINE: text".
void print_problems(const std::vector<Problem> &problems, FILE *to);

} // namespace quillet::app
