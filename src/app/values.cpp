#include "values.h"

#include "common/checks.h"

#include "export.h"
#include "widgets/tables.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace quillet::app {

const Values::Value *Values::find(std::string_view name) const {
  const auto found = index_.find(std::string(name));
  return found != index_.end() ? &values[found->second].second : nullptr;
}

void Values::set(std::string_view name, Value value) {
  const auto [found, added] = index_.try_emplace(std::string(name), values.size());
  if (added)
    values.emplace_back(name, std::move(value));
  else
    values[found->second].second = std::move(value);
}

void Values::note(std::string text) {
  constexpr size_t kMostNotes = 20;
  if (notes.size() < kMostNotes)
    notes.push_back(std::move(text));
  else if (notes.size() == kMostNotes)
    notes.emplace_back("more parts skipped, not listed");
}

namespace {

constexpr const char *kNul = "a NUL byte, which no value holds";
constexpr const char *kOpen = "a quote that is never closed";
constexpr const char *kNotRows = "neither a string nor a list of strings";

// Why a name gives no value, or nullptr: only the names an answer may hold give one.
const char *name_fault(std::string_view name) {
  if (!is_shell_name(name))
    return "not a name an answer holds";
  // The reasons are few: interned, each lives as long as the notes that point at it.
  if (const char *reason = refused_name(name))
    return g_intern_string(("a name no answer holds: it " + std::string(reason)).c_str());
  return nullptr;
}

// Keeps the first fault of a part: that is where it went wrong.
void keep(const char *&fault, const char *found) {
  if (fault == nullptr)
    fault = found;
}

// Adds what `name` gives, or a note with the line it starts on when it gives nothing. EXIT
// is no value, and says nothing.
void take_value(Values &out, size_t line, std::string_view name, Values::Value value,
                const char *fault) {
  if (fault == nullptr && name == "EXIT")
    return;
  keep(fault, name_fault(name));
  if (fault == nullptr) {
    out.set(name, std::move(value));
    return;
  }
  const std::string shown = is_shell_name(name) ? " (" + std::string(name) + ")" : "";
  g_autofree char *note = g_strdup_printf("line %zu%s skipped: %s", line, shown.c_str(), fault);
  out.note(note);
}

class Reader {
protected:
  explicit Reader(std::string_view text) : text_(text) {}
  bool more() const { return at_ < text_.size(); }
  bool at(char c) const { return more() && text_[at_] == c; }
  // The line `at_` is on; it never moves back past where this was last asked.
  size_t line() {
    line_ += std::count(text_.begin() + counted_, text_.begin() + at_, '\n');
    counted_ = at_;
    return line_;
  }

  std::string_view text_;
  size_t at_ = 0;

private:
  size_t line_ = 1, counted_ = 0;
};

// Assignments as the bash and sh formats write them: NAME= and a word of "...", $'...' and
// '...' parts up to a newline outside of them. A part that would make the shell expand or run
// something is not read, but the statement is still followed to its end, quotes and all, so
// that what comes after it is read as the shell would.
class ShellReader : Reader {
public:
  explicit ShellReader(std::string_view text) : Reader(text) {}

  void read(Values &out) {
    while (more()) {
      const size_t line = this->line(), start = at_;
      while (more() && (g_ascii_isalnum(text_[at_]) || text_[at_] == '_'))
        at_++;
      const std::string_view name = text_.substr(start, at_ - start);
      const char *fault = nullptr;
      if (name.empty() && at('\n')) {
        at_++;
        continue;
      }
      if (name.empty() && at('#')) {
        fault = "a comment";
        at_ = std::min(text_.find('\n', at_), text_.size());
      } else if (!at('=')) {
        fault = "no NAME=value";
      } else {
        at_++;
      }
      Values::Value value;
      keep(fault, read_word(value.text));
      take_value(out, line, name, std::move(value), fault);
    }
  }

private:
  const char *read_word(std::string &value) {
    const char *fault = nullptr;
    while (more() && !at('\n')) {
      const char c = text_[at_];
      if (c == '"') {
        keep(fault, read_double(value));
      } else if (c == '\'') {
        keep(fault, read_single(value));
      } else if (c == '$' && text_.substr(at_, 2) == "$'") {
        keep(fault, read_ansi_c(value));
      } else if (c == '\\') {
        // Escapes the next character; a newline joins the next line.
        if (++at_ < text_.size() && !at('\n'))
          value += text_[at_];
        keep(fault, at('\0') ? kNul : nullptr);
        at_ += more() ? 1 : 0;
      } else {
        at_++;
        if (g_ascii_isalnum(c) || static_cast<unsigned char>(c) >= 0x80 ||
            (c != '\0' && std::string_view("_-./:,@%+=").find(c) != std::string_view::npos))
          value += c;
        else
          keep(fault, "a character the shell reads as syntax, outside of quotes");
      }
    }
    at_ += more() ? 1 : 0;
    return fault;
  }

  // "...": a backslash escapes $ ` " \ and newline only, and stays before anything else.
  const char *read_double(std::string &value) {
    const char *fault = nullptr;
    for (at_++; more();) {
      const char c = text_[at_++];
      if (c == '"')
        return fault;
      if (c == '\\' && more()) {
        const char next = text_[at_++];
        if (next == '\n')
          continue;
        if (std::string_view("$`\"\\").find(next) == std::string_view::npos)
          value += '\\';
        value += next;
        keep(fault, next == '\0' ? kNul : nullptr);
      } else if (c == '$' || c == '`') {
        keep(fault, "a $ or ` that the shell would expand");
      } else {
        value += c;
        keep(fault, c == '\0' ? kNul : nullptr);
      }
    }
    return kOpen;
  }

  const char *read_single(std::string &value) {
    const size_t end = text_.find('\'', ++at_);
    if (end == std::string_view::npos) {
      at_ = text_.size();
      return kOpen;
    }
    const std::string_view part = text_.substr(at_, end - at_);
    at_ = end + 1;
    value += part;
    return part.find('\0') != std::string_view::npos ? kNul : nullptr;
  }

  // Up to `most` digits of `base` as a number; nothing without a first digit.
  std::optional<unsigned> number(unsigned base, int most) {
    std::optional<unsigned> read;
    for (int i = 0; i < most && more(); i++) {
      const int digit = g_ascii_xdigit_value(text_[at_]);
      if (digit < 0 || static_cast<unsigned>(digit) >= base)
        break;
      read = read.value_or(0) * base + static_cast<unsigned>(digit);
      at_++;
    }
    return read;
  }

  // $'...' as bash reads it: C escapes, \xHH and octal bytes.
  const char *read_ansi_c(std::string &value) {
    const char *fault = nullptr;
    for (at_ += 2; more();) {
      const char c = text_[at_++];
      if (c == '\'')
        return fault;
      if (c != '\\' || !more()) {
        value += c;
        keep(fault, c == '\0' ? kNul : nullptr);
        continue;
      }
      const char escape = text_[at_++];
      std::optional<unsigned> byte;
      constexpr std::string_view kLetters = "abefnrtvE\\'\"?",
                                 kBytes = "\a\b\x1b\f\n\r\t\v\x1b\\'\"?";
      if (const size_t letter = kLetters.find(escape); letter != std::string_view::npos) {
        byte = static_cast<unsigned char>(kBytes[letter]);
      } else if (escape == 'x') {
        byte = number(16, 2);
        if (!byte)
          value += "\\x";
      } else if (escape >= '0' && escape <= '7') {
        at_--;
        byte = number(8, 3);
      } else if (escape == 'u' || escape == 'U' || escape == 'c') {
        keep(fault, "an escape an answer never holds");
      } else {
        value += '\\';
        value += escape;
        keep(fault, escape == '\0' ? kNul : nullptr);
      }
      if (byte) {
        value += static_cast<char>(*byte & 0xff);
        keep(fault, (*byte & 0xff) == 0 ? kNul : nullptr);
      }
    }
    return kOpen;
  }
};

// The object of the json format. A member whose value is neither a string nor a list of
// strings gives nothing; text that is no JSON ends the reading there.
class JsonReader : Reader {
public:
  explicit JsonReader(std::string_view text) : Reader(text) {}

  void read(Values &out) {
    take('{');
    if (!take('}')) {
      do {
        std::string name;
        Values::Value value;
        skip_blanks();
        const size_t line = this->line();
        if (!at('"')) {
          broken_ = true;
          break;
        }
        const char *fault = read_string(name);
        broken_ = broken_ || !take(':');
        if (broken_)
          break;
        skip_blanks();
        const size_t start = at_;
        const char *value_fault = at('"')   ? read_string(value.text)
                                  : at('[') ? read_rows(value)
                                            : kNotRows;
        if (value_fault == kNotRows && !broken_) {
          at_ = start;
          skip_value();
        }
        if (broken_)
          break;
        keep(fault, value_fault);
        take_value(out, line, name, std::move(value), fault);
      } while (take(','));
      broken_ = broken_ || !take('}');
    }
    skip_blanks();
    if (broken_) {
      g_autofree char *note = g_strdup_printf("line %zu and after skipped: not JSON", line());
      out.note(note);
    } else if (more()) {
      out.note("the text after the object skipped");
    }
  }

private:
  void skip_blanks() {
    while (more() && std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos)
      at_++;
  }

  bool take(char c) {
    skip_blanks();
    if (!at(c))
      return false;
    at_++;
    return true;
  }

  std::optional<unsigned> hex4() {
    if (at_ + 4 > text_.size())
      return std::nullopt;
    unsigned read = 0;
    for (int i = 0; i < 4; i++) {
      const int digit = g_ascii_xdigit_value(text_[at_ + i]);
      if (digit < 0)
        return std::nullopt;
      read = read * 16 + static_cast<unsigned>(digit);
    }
    at_ += 4;
    return read;
  }

  // A \uXXXX escape, a pair of them for a character past U+FFFF; \udc80 to \udcff stand for
  // the bytes that are no UTF-8, as Python's surrogateescape writes them.
  const char *read_unicode(std::string &value) {
    const std::optional<unsigned> unit = hex4();
    if (!unit) {
      broken_ = true;
      return nullptr;
    }
    unsigned code = *unit;
    if (code >= 0xd800 && code <= 0xdbff && text_.substr(at_, 2) == "\\u") {
      at_ += 2;
      const std::optional<unsigned> low = hex4();
      if (low && *low >= 0xdc00 && *low <= 0xdfff)
        code = 0x10000 + ((code - 0xd800) << 10) + (*low - 0xdc00);
      else
        at_ -= low ? 6 : 2;
    }
    if (code >= 0xdc80 && code <= 0xdcff) {
      value += static_cast<char>(code & 0xff);
    } else if (code >= 0xd800 && code <= 0xdfff) {
      return "a lone surrogate, which stands for no byte";
    } else if (code == 0) {
      return kNul;
    } else {
      char utf8[6];
      value.append(utf8, g_unichar_to_utf8(code, utf8));
    }
    return nullptr;
  }

  const char *read_string(std::string &value) {
    const char *fault = nullptr;
    for (at_++; more();) {
      const char c = text_[at_++];
      if (c == '"')
        return fault;
      if (c != '\\') {
        value += c;
        keep(fault, c == '\0' ? kNul : nullptr);
        continue;
      }
      const char escape = more() ? text_[at_++] : '\0';
      constexpr std::string_view kLetters = "\"\\/bfnrt", kBytes = "\"\\/\b\f\n\r\t";
      if (const size_t letter = kLetters.find(escape); letter != std::string_view::npos)
        value += kBytes[letter];
      else if (escape == 'u')
        keep(fault, read_unicode(value));
      else
        break;
      if (broken_)
        return nullptr;
    }
    broken_ = true;
    return nullptr;
  }

  // An array of strings, at its '['.
  const char *read_strings(std::vector<std::string> &strings) {
    at_++;
    if (take(']'))
      return nullptr;
    const char *fault = nullptr;
    do {
      skip_blanks();
      if (!at('"'))
        return kNotRows;
      keep(fault, read_string(strings.emplace_back()));
      if (broken_)
        return nullptr;
    } while (take(','));
    return take(']') ? fault : kNotRows;
  }

  // The strings whole, and joined by newlines, as a list holds them; or arrays of strings,
  // the rows of a table, as table_text writes them.
  const char *read_rows(Values::Value &value) {
    const size_t start = at_++;
    skip_blanks();
    const bool table = at('[');
    at_ = start;
    if (!table) {
      const char *fault = read_strings(value.items);
      for (const std::string &item : value.items)
        value.text += (&item != value.items.data() ? "\n" : "") + item;
      return fault;
    }
    at_++;
    widgets::Table rows;
    const char *fault = nullptr;
    do {
      skip_blanks();
      const char *row_fault = at('[') ? read_strings(rows.emplace_back()) : kNotRows;
      if (broken_ || row_fault == kNotRows)
        return broken_ ? nullptr : kNotRows;
      keep(fault, row_fault);
    } while (take(','));
    value.text = widgets::table_text(rows);
    return take(']') ? fault : kNotRows;
  }

  // Any value, followed only as far as needed to find its end.
  void skip_value() {
    int depth = 0;
    do {
      skip_blanks();
      const char c = more() ? text_[at_] : '\0';
      if (c == '"') {
        std::string ignored;
        read_string(ignored);
      } else if (c == '{' || c == '[') {
        depth++;
        at_++;
      } else if (depth > 0 && (c == '}' || c == ']' || c == ',' || c == ':')) {
        depth -= c == '}' || c == ']' ? 1 : 0;
        at_++;
      } else {
        const size_t start = at_;
        while (more() && (g_ascii_isalnum(text_[at_]) ||
                          std::string_view("+-.").find(text_[at_]) != std::string_view::npos))
          at_++;
        broken_ = broken_ || at_ == start;
      }
    } while (depth > 0 && !broken_);
  }

  bool broken_ = false;
};

} // namespace

Values values_parse(std::string_view text) {
  Values out;
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string_view::npos && text[first] == '{')
    JsonReader(text).read(out);
  else
    ShellReader(text).read(out);
  return out;
}

std::optional<Values> values_load(const char *path, GError **error) {
  g_return_val_if_fail(path != NULL, std::nullopt);
  g_return_val_if_fail(error == NULL || *error == NULL, std::nullopt);

  // An answer is text a user typed: far below this, which stops a reading that never ends.
  constexpr size_t kMostBytes = 16 << 20;
  const bool standard_input = g_str_equal(path, "-");
  const int fd = standard_input ? 0 : g_open(path, O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0 && errno == ENOENT) {
    Values none;
    none.note("it does not exist, so the dialog starts with its own values");
    return none;
  }
  std::string text;
  int failure = fd < 0 ? errno : 0;
  char buffer[1 << 16];
  while (failure == 0) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0)
      break;
    if (got < 0)
      failure = errno == EINTR ? 0 : errno;
    else if (text.size() + static_cast<size_t>(got) > kMostBytes)
      failure = EFBIG;
    else
      text.append(buffer, static_cast<size_t>(got));
  }
  if (!standard_input && fd >= 0)
    close(fd);
  if (failure != 0) {
    g_set_error(error, G_FILE_ERROR, g_file_error_from_errno(failure), "%s",
                failure == EFBIG ? "longer than 16 MiB" : g_strerror(failure));
    return std::nullopt;
  }
  return values_parse(text);
}

} // namespace quillet::app
