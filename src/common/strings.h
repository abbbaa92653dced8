#pragma once

#include <iterator>
#include <optional>
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

// Whether `text` is one word: A-Z a-z 0-9 _ only, at least one of them.
bool is_word(std::string_view text);

// The number the whole of `text` writes, as strtod reads it in the C locale (blanks before
// it, infinities and NaN included); none for an empty text or one with anything after the
// number. Text after a NUL byte is not read.
std::optional<double> whole_number(std::string_view text);

// The lines of a text without their line breaks, for `for (std::string_view line :
// Lines(text))`: each ends at a '\n', and what follows the last one is a line when it is not
// empty. An iterator also gives what follows its line.
class Lines {
public:
  class Iterator {
  public:
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;

    Iterator() = default;
    explicit Iterator(std::string_view text) : rest_(text) { ++*this; }
    std::string_view operator*() const { return line_; }
    // The text after the line and its line break.
    std::string_view rest() const { return rest_; }
    Iterator &operator++() {
      done_ = rest_.empty();
      const size_t eol = rest_.find('\n');
      line_ = rest_.substr(0, eol);
      rest_.remove_prefix(eol == std::string_view::npos ? rest_.size() : eol + 1);
      return *this;
    }
    void operator++(int) { ++*this; }
    bool operator==(std::default_sentinel_t) const { return done_; }

  private:
    std::string_view line_;
    std::string_view rest_;
    bool done_ = true;
  };

  explicit Lines(std::string_view text) : text_(text) {}
  Iterator begin() const { return Iterator(text_); }
  std::default_sentinel_t end() const { return {}; }

private:
  std::string_view text_;
};

} // namespace quillet
