#pragma once

// Starting values from an earlier answer, in whichever format it was written. The text is
// data: it is read, never evaluated, and a part the writers would not have written gives no
// value.

#include <glib.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillet::app {

struct Values {
  // A value as the answer gives it; a list (JSON's arrays) also as its strings whole, which
  // `text` holds joined by newlines.
  struct Value {
    std::string text;
    std::vector<std::string> items;
  };

  // Name and exact value, in the order the names first come; a name given twice keeps the
  // value given last, as eval would.
  std::vector<std::pair<std::string, Value>> values;
  // One line for --debug per part read past: where it is and why.
  std::vector<std::string> notes;

  // The value given for `name`, or nullptr.
  const Value *find(std::string_view name) const;
  void set(std::string_view name, Value value);
  // Keeps the first notes only: a file that is no answer at all would give one a line.
  void note(std::string text);

private:
  std::unordered_map<std::string, size_t> index_;
};

// The values of an answer in any format: JSON when it starts with '{', else shell
// assignments (bash's or sh's). EXIT is no value.
Values values_parse(std::string_view text);

// The values in the file at `path`, or on standard input for "-". A file that does not exist
// gives none, with a note: the first time a form kept in a file is shown. A file that exists
// but cannot be read whole is an error, since the user would see a form without the values
// and the answer would replace them.
std::optional<Values> values_load(const char *path, GError **error);

} // namespace quillet::app
