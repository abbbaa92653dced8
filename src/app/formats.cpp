#include "formats.h"

#include "common/checks.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace quillet::app {

namespace {

constexpr std::pair<std::string_view, Format> kFormats[] = {
    {"bash", Format::bash}, {"sh", Format::sh}, {"json", Format::json}};

// Length of the UTF-8 character that `text` starts with, or 0 for a byte that starts none.
// As strict as Python's decoder (no overlong forms, no surrogates, nothing past U+10FFFF):
// every byte it refuses is written as the escape its surrogateescape reads back.
size_t utf8_length(std::string_view text) {
  const auto byte = [&](size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
  };
  const unsigned lead = byte(0);
  unsigned low = 0x80, high = 0xbf; // the second byte's range
  size_t length;
  if (lead < 0x80)
    return 1;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    low = lead == 0xe0 ? 0xa0 : low;
    high = lead == 0xed ? 0x9f : high;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    low = lead == 0xf0 ? 0x90 : low;
    high = lead == 0xf4 ? 0x8f : high;
  } else {
    return 0;
  }
  if (byte(1) < low || byte(1) > high)
    return 0;
  for (size_t i = 2; i < length; i++)
    if (byte(i) < 0x80 || byte(i) > 0xbf)
      return 0;
  return length;
}

void append_json_string(GString *out, std::string_view text) {
  g_string_append_c(out, '"');
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = utf8_length(text.substr(i));
    if (length == 0)
      g_string_append_printf(out, "\\udc%02x", c);
    else if (c == '"' || c == '\\')
      g_string_append_c(g_string_append_c(out, '\\'), c);
    else if (c == '\n')
      g_string_append(out, "\\n");
    else if (c == '\r')
      g_string_append(out, "\\r");
    else if (c == '\t')
      g_string_append(out, "\\t");
    else if (c < 0x20 || c == 0x7f)
      g_string_append_printf(out, "\\u%04x", c);
    else
      g_string_append_len(out, text.data() + i, static_cast<gssize>(length));
    i += length == 0 ? 1 : length;
  }
  g_string_append_c(out, '"');
}

// A list's items: those the state holds whole, or else its rows as the list shows them: none
// for an empty value, otherwise one per line.
void append_json_list(GString *out, const WidgetState &state) {
  std::vector<std::string_view> items(state.items.begin(), state.items.end());
  const std::string_view rows = state.value;
  for (size_t start = 0; state.items.empty() && !rows.empty() && start <= rows.size();) {
    const size_t end = std::min(rows.find('\n', start), rows.size());
    items.push_back(rows.substr(start, end - start));
    start = end + 1;
  }
  g_string_append_c(out, '[');
  for (size_t i = 0; i < items.size(); i++) {
    if (i > 0)
      g_string_append(out, ", ");
    append_json_string(out, items[i]);
  }
  g_string_append_c(out, ']');
}

// Rows of cells: an array of arrays of strings.
void append_json_table(GString *out, const widgets::Table &rows) {
  g_string_append_c(out, '[');
  for (const std::vector<std::string> &row : rows) {
    g_string_append(out, &row != rows.data() ? ", [" : "[");
    for (const std::string &cell : row) {
      if (&cell != row.data())
        g_string_append(out, ", ");
      append_json_string(out, cell);
    }
    g_string_append_c(out, ']');
  }
  g_string_append_c(out, ']');
}

} // namespace

std::optional<Format> format_parse(std::string_view name) {
  for (const auto &[known, format] : kFormats)
    if (name == known)
      return format;
  return std::nullopt;
}

const char *format_name(Format format) {
  for (const auto &[known, value] : kFormats)
    if (value == format)
      return known.data();
  return nullptr;
}

void append_answer(GString *out, Format format, std::string_view exit_word,
                   std::span<const WidgetState> states) {
  g_return_if_fail(out != NULL);
  if (format == Format::json) {
    g_string_append(out, "{\"EXIT\": ");
    append_json_string(out, exit_word);
    for (const WidgetState &state : states) {
      g_string_append(out, ", ");
      append_json_string(out, state.name);
      g_string_append(out, ": ");
      if (state.table)
        append_json_table(out, *state.table);
      else if (state.rows)
        append_json_list(out, state);
      else
        append_json_string(out, state.value);
    }
    g_string_append(out, "}\n");
    return;
  }
  g_string_append_printf(out, "EXIT=\"%s\"\n", double_quoted(exit_word).c_str());
  for (const WidgetState &state : states) {
    if (format == Format::bash) {
      append_state_line(out, state);
      continue;
    }
    // POSIX keeps a newline inside double quotes as it is: no $'...', which dash lacks.
    g_string_append_printf(out, "%s=\"%s\"\n", state.name.c_str(),
                           double_quoted(state.value).c_str());
  }
}

} // namespace quillet::app
