#pragma once

// The answer as a whole, in the form the calling program reads best: bash's, any POSIX
// shell's, or JSON.

#include "export.h"

#include <gtk/gtk.h>

#include <optional>
#include <span>
#include <string_view>

namespace quillet::app {

enum class Format {
  bash, // "..." and, for text of several lines, $'...': one line per value
  sh,   // "..." only, newlines kept inside the quotes: dash and every POSIX shell
  json, // one object; rows chosen in a list as an array of strings
};

// The format called `name` ("bash", "sh" or "json"), or none.
std::optional<Format> format_parse(std::string_view name);

// The name `format_parse` takes for `format`.
const char *format_name(Format format);

// Appends the whole answer: the exit word (OK, CANCEL or a button's word) and then each state,
// in order. The caller has left out the names no format may print.
void append_answer(GString *out, Format format, std::string_view exit_word,
                   std::span<const WidgetState> states);

} // namespace quillet::app
