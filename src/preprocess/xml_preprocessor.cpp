#include "xml_preprocessor.h"

#include "common/checks.h"

#include "cleaning.h"
#include "common/strings.h"

#include <string>
#include <string_view>

struct _XmlPreprocessor {
  GObject parent_instance;
};

G_DEFINE_TYPE(XmlPreprocessor, xml_preprocessor, G_TYPE_OBJECT)

static void xml_preprocessor_class_init(XmlPreprocessorClass *) {}

static void xml_preprocessor_init(XmlPreprocessor *) {}

XmlPreprocessor *xml_preprocessor_new(void) {
  return XML_PREPROCESSOR(g_object_new(XML_TYPE_PREPROCESSOR, NULL));
}

namespace quillet::preprocess {

static CommandRunner command_runner = run_with_bash;

void set_command_runner(CommandRunner runner) {
  command_runner = runner != nullptr ? runner : run_with_bash;
}

std::string run_with_bash(const std::string &command) {
  const char *spawn_args[] = {"bash", "-c", command.c_str(), nullptr};
  g_autofree char *stdout_res = nullptr;
  g_autofree char *stderr_res = nullptr;
  int status = 0;
  g_autoptr(GError) error = nullptr;
  // Without other flags the child reads from the null device; a command that cannot start
  // counts as one that printed nothing. Output past a NUL byte is not read.
  if (!g_spawn_sync(nullptr, const_cast<char **>(spawn_args), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                    nullptr, &stdout_res, &stderr_res, &status, &error)) {
    g_debug("Input command could not start: %s: %s", command.c_str(), error->message);
    return {};
  }
  if (!g_spawn_check_wait_status(status, &error))
    g_debug("Input command failed: %s: %s", command.c_str(), error->message);
  return stdout_res;
}

std::string items_from_output(std::string_view output) {
  std::string items;
  std::string_view rest = strip(output);
  while (!rest.empty()) {
    const size_t eol = rest.find('\n');
    const std::string_view line = strip(rest.substr(0, eol));
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (line.empty())
      continue;
    items += "<item>";
    items += xml_escape_text(line);
    items += "</item>\n";
  }
  return items;
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

std::string split_tags_and_escape(std::string_view markup) {
  std::string out;
  out.reserve(markup.size() + markup.size() / 8);
  for (size_t i = 0; i < markup.size(); i++) {
    const char c = markup[i];
    if (c == '<')
      out += '\n';
    if (c == '&' && !begins_reference(markup.substr(i)))
      out += "&amp;";
    else
      out += c;
  }
  return out;
}

} // namespace quillet::preprocess

namespace {

using namespace quillet;
using namespace quillet::preprocess;

constexpr std::string_view kInputOpen = "<input>";
constexpr std::string_view kInputClose = "</input>";
constexpr std::string_view kActionClose = "</action>";

// The three legacy rewrites, compiled once per cleaning and borrowed by every markup stretch.
struct LegacyForms {
  GRegex *frame;
  GRegex *ok;
  GRegex *cancel;

  std::string rewrite(std::string text) const {
    // Most stretches hold neither form; skipping them keeps cleaning linear and cheap.
    if (!contains(text, "<frame") && !contains(text, "<button"))
      return text;
    const std::pair<GRegex *, const char *> rules[] = {
        {frame, "<frame frame_label=\"\\1\">"},
        {ok, "<button id=\"btn_ok\" label=\"OK\">"},
        {cancel, "<button id=\"btn_cancel\" label=\"Cancel\">"},
    };
    for (const auto &[regex, replacement] : rules) {
      g_autoptr(GError) error = nullptr;
      g_autofree char *next = regex ? g_regex_replace(regex, text.c_str(), -1, 0, replacement,
                                                      GRegexMatchFlags(0), &error)
                                    : nullptr;
      if (next == nullptr)
        break; // keep the rewrites done so far
      text = next;
    }
    return text;
  }
};

// First occurrence of a fixed needle at or after a position; positions asked for only grow,
// so an answer is reused until the scan passes it and the text is read once in all.
struct Finder {
  std::string_view text;
  std::string_view needle;
  size_t found = 0;
  bool known = false;

  size_t next(size_t from) {
    if (!known || (found != std::string_view::npos && found < from)) {
      found = text.find(needle, from);
      known = true;
    }
    return found;
  }
};

// An element whose content is a shell command and passes cleaning untouched.
struct CommandElement {
  size_t start = std::string_view::npos; // the '<' of its start tag
  size_t content = 0;                    // just after the start tag
  size_t close = 0;                      // the '<' of its end tag
  bool is_input = false;
};

class CommandScanner {
public:
  explicit CommandScanner(std::string_view text)
      : text_(text), input_open_{text, kInputOpen}, input_close_{text, kInputClose},
        action_open_{text, "<action"}, action_close_{text, kActionClose}, tag_end_{text, ">"} {}

  CommandElement next(size_t from) {
    while (true) {
      const size_t input = input_open_.next(from);
      size_t action_end = 0;
      const size_t action = next_action_tag(from, action_end);
      if (input == std::string_view::npos && action == std::string_view::npos)
        return {};
      CommandElement element;
      element.is_input = input < action;
      element.start = element.is_input ? input : action;
      element.content = element.is_input ? input + kInputOpen.size() : action_end;
      element.close = (element.is_input ? input_close_ : action_close_).next(element.content);
      if (element.close != std::string_view::npos)
        return element;
      // Never closed: an ordinary tag after all.
      from = element.start + 1;
    }
  }

private:
  // "<action>" or "<action" followed by a blank, attributes and '>'.
  size_t next_action_tag(size_t from, size_t &tag_end) {
    for (size_t at = action_open_.next(from); at != std::string_view::npos;
         at = action_open_.next(at + 1)) {
      const size_t after = at + 7;
      if (after < text_.size() && text_[after] == '>') {
        tag_end = after + 1;
        return at;
      }
      if (after < text_.size() && kBlank.find(text_[after]) != std::string_view::npos) {
        const size_t gt = tag_end_.next(after);
        if (gt != std::string_view::npos) {
          tag_end = gt + 1;
          return at;
        }
      }
    }
    return std::string_view::npos;
  }

  std::string_view text_;
  Finder input_open_, input_close_, action_open_, action_close_, tag_end_;
};

} // namespace

// Runs one input command through bash and turns its output into items text.
static char *xml_preprocessor_execute_input_command(XmlPreprocessor *self, const char *cmd) {
  g_return_val_if_fail(self != NULL, NULL);
  g_return_val_if_fail(cmd != NULL, NULL);

  const std::string sanitized_cmd = replace_all(cmd, "\\$", "$");
  if (strip(sanitized_cmd).empty())
    return g_strdup("");

  const std::string output = command_runner(sanitized_cmd);
  return g_strdup(items_from_output(make_valid_utf8(output.c_str())).c_str());
}

char *xml_preprocessor_clean_legacy_syntax(XmlPreprocessor *self, const char *raw_xml) {
  g_return_val_if_fail(self != NULL, NULL);
  g_return_val_if_fail(raw_xml != NULL, NULL);

  const std::string valid = make_valid_utf8(raw_xml);
  const std::string_view text = strip(valid);

  g_autoptr(GRegex) frame =
      // A title already in attribute form is what the rewrite produces; leave it as it is.
      g_regex_new("<frame\\s+(?!frame_label=)([^>]+)>", GRegexCompileFlags(0), GRegexMatchFlags(0),
                  nullptr);
  g_autoptr(GRegex) ok =
      g_regex_new("<button\\s+ok\\s*>", GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);
  g_autoptr(GRegex) cancel =
      g_regex_new("<button\\s+cancel\\s*>", GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);
  const LegacyForms legacy{frame, ok, cancel};

  g_autoptr(GString) out = g_string_sized_new(text.size() + text.size() / 4);
  auto append_markup = [&](std::string_view markup) {
    const std::string cleaned = legacy.rewrite(split_tags_and_escape(markup));
    g_string_append_len(out, cleaned.data(), static_cast<gssize>(cleaned.size()));
  };

  // Commands reach their program as written: the content of input and action elements is
  // copied through, and only the markup around it is cleaned.
  CommandScanner scanner(text);
  size_t pos = 0;
  for (CommandElement element = scanner.next(pos); element.start != std::string_view::npos;
       element = scanner.next(pos)) {
    const std::string_view content = text.substr(element.content, element.close - element.content);
    if (element.is_input) {
      // The element gives way to its items, on a line of their own as its tag would be.
      append_markup(text.substr(pos, element.start - pos));
      g_string_append_c(out, '\n');
      const std::string command(strip(content));
      g_autofree char *items = xml_preprocessor_execute_input_command(self, command.c_str());
      g_string_append(out, items);
      pos = element.close + kInputClose.size();
    } else {
      append_markup(text.substr(pos, element.content - pos));
      g_string_append_len(out, content.data(), static_cast<gssize>(content.size()));
      pos = element.close;
    }
  }
  append_markup(text.substr(pos));

  return g_string_free(g_steal_pointer(&out), FALSE);
}
