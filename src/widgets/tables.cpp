#include "tables.h"

namespace quillet::widgets {

namespace {

constexpr std::string_view kSpecial = "\\|\n\r\t";
constexpr std::string_view kEscaped = "\\|nrt";

} // namespace

std::string table_text(const Table &rows) {
  std::string out;
  for (const std::vector<std::string> &row : rows) {
    if (&row != rows.data())
      out += '\n';
    for (size_t i = 0; i < row.size(); i++) {
      std::string_view cell = row[i];
      if (i > 0)
        out += '|';
      for (; i == 0 && cell.starts_with('\t'); cell.remove_prefix(1))
        out += '\t';
      for (char c : cell) {
        const size_t special = kSpecial.find(c);
        if (special != std::string_view::npos) {
          out += '\\';
          c = kEscaped[special];
        }
        out += c;
      }
    }
  }
  return out;
}

std::optional<Table> table_rows(std::string_view text) {
  Table rows;
  if (text.empty())
    return rows;
  rows.emplace_back(1);
  for (size_t at = 0; at < text.size(); at++) {
    const char c = text[at];
    if (c == '\n') {
      rows.emplace_back(1);
    } else if (c == '|') {
      rows.back().emplace_back();
    } else if (c != '\\') {
      rows.back().back() += c;
    } else {
      const size_t escaped = at + 1 < text.size() ? kEscaped.find(text[++at]) : std::string::npos;
      if (escaped == std::string_view::npos)
        return std::nullopt;
      rows.back().back() += kSpecial[escaped];
    }
  }
  return rows;
}

} // namespace quillet::widgets
