#pragma once

// The single steps of cleaning, each callable on its own.

#include <string>
#include <string_view>

namespace quillet::preprocess {

// One "<item>…</item>\n" line per non-empty output line, its text stripped and XML-escaped.
std::string items_from_output(std::string_view output);

// Whether the text at an ampersand starts one of XML's predefined or character references.
bool begins_reference(std::string_view at_ampersand);

// A newline before every '<' and every ampersand that begins no reference escaped.
std::string split_tags_and_escape(std::string_view markup);

} // namespace quillet::preprocess
