#pragma once

// A table's rows as one text: how a list whose cells are edited answers in the shell formats,
// a row a line, and what --values reads back.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::widgets {

using Table = std::vector<std::vector<std::string>>;

// Each row on a line of its own, its cells joined by '|'. In a cell a backslash, a bar, a line
// break, a carriage return and a tab are written \\, \|, \n, \r and \t, but for the tabs a
// row starts with, which stay as they are: a nested list's rows give their depth so.
std::string table_text(const Table &rows);

// The rows `table_text` wrote, the tabs a row starts with in its first cell; none when a
// backslash comes before anything else, or ends the text. An empty text has no rows.
std::optional<Table> table_rows(std::string_view text);

} // namespace quillet::widgets
