#pragma once

#include <string>
#include <string_view>

namespace quillet {

// The whitespace that g_strchug/g_strchomp remove: no vertical tab, nothing outside ASCII.
inline constexpr std::string_view kBlank = " \t\n\r\f";

std::string_view strip(std::string_view text);

// Literal replacement of every non-overlapping occurrence, left to right.
std::string replace_all(std::string_view subject, std::string_view from, std::string_view to);

inline bool contains(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

// Byte position of the first occurrence at or after start, or -1.
long index_of(std::string_view haystack, std::string_view needle, size_t start = 0);

// Valid UTF-8 for every later step: one U+FFFD per invalid byte, text cut at the first NUL.
std::string make_valid_utf8(const char *text);

// The length of the longest start of `text` no longer than `limit` that cuts no UTF-8
// character in two.
size_t utf8_fit(std::string_view text, size_t limit);

// Escapes the three characters that may not stand as they are in XML character data.
std::string xml_escape_text(std::string_view text);

std::string ascii_lower(std::string_view text);

// Whether the text at an ampersand starts one of XML's predefined or character references.
bool begins_reference(std::string_view at_ampersand);

// True for a maximal run of A-Z a-z 0-9 _ in text that equals word.
bool has_word(std::string_view text, std::string_view word);

} // namespace quillet
