#pragma once

// The single steps of cleaning, each callable on its own.

#include "xml_preprocessor.h"
#include "widgets/extras.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillet::preprocess {

// Runs an input command and returns what it printed on standard output. A preprocessor runs
// it through bash, its output read within bounds (see common/output.h); a fuzzer gives its
// own a stand-in, so that arbitrary input never reaches a shell. Null for bash again.
using CommandRunner = std::string (*)(const std::string &command);
void set_command_runner(XmlPreprocessor *self, CommandRunner runner);

// One "<item>…</item>\n" line per non-empty output line, its text stripped and XML-escaped.
std::string items_from_output(std::string_view output);

// A newline before every '<' and every ampersand that begins no reference escaped. With
// `line_starts`, the offset in `markup` where each new line begins is appended to it.
std::string split_tags_and_escape(std::string_view markup,
                                  std::vector<size_t> *line_starts = nullptr);

// Where each line of the cleaned text begins in the markup (made valid UTF-8, as every step
// reads it), so that a complaint about the layout can name the user's own line.
struct Origins {
  std::string markup;
  std::vector<size_t> line_starts;      // a byte offset into markup per line of the cleaned text
  std::string clean;                    // the cleaned text itself
  std::vector<widgets::InputAt> inputs; // every <input>, in the order met
};

// xml_preprocessor_clean_legacy_syntax, filling `origins` when given.
char *clean_markup(XmlPreprocessor *self, const char *raw_xml, Origins *origins);

} // namespace quillet::preprocess
