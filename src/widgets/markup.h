#pragma once

// Reading a line of cleaned markup and writing text into the layout: what the walk and the
// kinds of widget share. Text only.

#include <glib.h>

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::widgets {

void append(GString *sb, std::string_view text);

// Name of the first "<name" (or "</name" when closing) on the line, lower-cased.
std::string element_name(std::string_view line, bool closing);

// Whether `line` is the start tag of element `name` ("<name>" or "<name attributes>"), or its
// end tag, in any case.
bool is_start_tag(std::string_view line, std::string_view name);
bool is_end_tag(std::string_view line, std::string_view name);

// An element closed on its own line: "<name></name>", or written as "<name/>".
bool closes_itself(std::string_view line);

// The value of attribute `name` on a start tag, matched as a whole name; none without one.
std::optional<std::string_view> attribute(std::string_view line, std::string_view name);

// Markup text made safe as layout character data: references stay, anything else that
// XML gives a meaning is escaped.
std::string layout_text(std::string_view text);

// Character data as an XML parser reads it, references resolved; none if it is not well formed.
std::optional<std::string> parsed_text(std::string_view data);

// Text as the user reads it: for comparing item texts written in markup, where '>' may
// stand as it is, with those from input commands, where it is always escaped.
std::string plain_text(std::string_view text);

// XML reads a bare carriage return as a line feed; a reference keeps it in an item.
std::string with_carriage_returns(std::string_view text);

// A finite number written with a full stop, the whole of `text`.
std::optional<double> number(std::optional<std::string_view> text);

// The fewest significant digits, from 15 on, that read back as the same double: 15 digits
// write the numbers people type as they typed them (0.1, not 0.10000000000000001), and 17
// are always enough.
std::string number_text(double value);

// A whole number from 0 to `most` (larger ones become `most`); none for anything else.
std::optional<int> count(std::optional<std::string_view> text, int most);

std::string property(std::string_view name, std::string_view value);

// A row's cells: the text split on '|' into at most `columns` cells, the extra ones left in
// the last, each stripped.
std::vector<std::string_view> cells(std::string_view text, int columns);

// What values an attribute takes.
enum class Takes {
  text,      // any text
  words,     // one of `words`
  word_list, // words of `words` separated by '|'
  word,      // a word of letters, digits and '_'
  number,    // a number
  positive,  // a number above 0; above `most`, when not 0, it is taken as `most`
  count,     // a whole number from `least` to `most`; a larger one is taken as `most`
  columns,   // "true", "false" or column numbers separated by '|'
};

// An attribute a start tag may have and the values it takes. Rows declare those they read
// (and read them themselves); the walk checks every start tag against the declarations, and
// the manual documents each.
struct Attribute {
  std::string_view name;
  Takes takes = Takes::text;
  std::string_view words = {}; // the values of Takes::words and Takes::word_list, '|' between
  int least = 0;
  int most = 0;
  std::string_view otherwise = "it is ignored"; // what a value that does not fit does
};

// What is wrong with the attributes of start tag `tag` of element `element`, a sentence each
// that names the attribute: one no table of `tables` declares, or a value that does not fit
// its declaration.
std::vector<std::string> misfits(std::string_view element, std::string_view tag,
                                 std::initializer_list<std::span<const Attribute>> tables);

} // namespace quillet::widgets
