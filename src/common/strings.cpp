#include "strings.h"

#include <glib.h>

namespace quillet {

std::string_view strip(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos)
    return {};
  const size_t last = text.find_last_not_of(kBlank);
  return text.substr(first, last - first + 1);
}

std::string replace_all(std::string_view subject, std::string_view from, std::string_view to) {
  if (subject.empty() || from.empty() || from == to)
    return std::string(subject);
  std::string out;
  out.reserve(subject.size());
  size_t pos = 0;
  for (size_t hit; (hit = subject.find(from, pos)) != std::string_view::npos;
       pos = hit + from.size()) {
    out.append(subject, pos, hit - pos);
    out.append(to);
  }
  out.append(subject, pos);
  return out;
}

std::string make_valid_utf8(const char *text) {
  g_autofree char *valid = g_utf8_make_valid(text, -1);
  return valid;
}

size_t utf8_fit(std::string_view text, size_t limit) {
  if (text.size() <= limit)
    return text.size();
  size_t cut = limit;
  while (cut + 3 > limit && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
    cut--;
  return cut;
}

std::string xml_escape_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char &c : out)
    c = g_ascii_tolower(c);
  return out;
}

bool begins_reference(std::string_view at) {
  for (std::string_view named : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
    if (at.starts_with(named))
      return true;
  if (!at.starts_with("&#"))
    return false;
  const bool hex = at.starts_with("&#x");
  size_t i = hex ? 3 : 2;
  const size_t digits_start = i;
  while (i < at.size() && (hex ? g_ascii_isxdigit(at[i]) : g_ascii_isdigit(at[i])))
    i++;
  return i > digits_start && i < at.size() && at[i] == ';';
}

static bool is_word_char(char c) {
  return g_ascii_isalnum(c) || c == '_';
}

bool has_word(std::string_view text, std::string_view word) {
  for (size_t pos = 0; pos < text.size();) {
    if (!is_word_char(text[pos])) {
      pos++;
      continue;
    }
    size_t end = pos;
    while (end < text.size() && is_word_char(text[end]))
      end++;
    if (text.substr(pos, end - pos) == word)
      return true;
    pos = end;
  }
  return false;
}

bool is_word(std::string_view text) {
  for (char c : text)
    if (!is_word_char(c))
      return false;
  return !text.empty();
}

std::optional<double> whole_number(std::string_view text) {
  const std::string copy(text);
  char *end = nullptr;
  const double value = g_ascii_strtod(copy.c_str(), &end);
  if (copy.empty() || end == nullptr || *end != '\0')
    return std::nullopt;
  return value;
}

} // namespace quillet
