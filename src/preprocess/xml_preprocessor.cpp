#include "xml_preprocessor.h"

#include "common/checks.h"

#include "cleaning.h"
#include "common/output.h"
#include "common/strings.h"

#include <algorithm>
#include <string>
#include <string_view>

// With quillet's own environment.
static std::string run_with_bash(const std::string &command) {
  return quillet::output::run_input(command, nullptr);
}

struct _XmlPreprocessor {
  GObject parent_instance;

  quillet::preprocess::CommandRunner run_command; // what each <input> is run with
};

G_DEFINE_TYPE(XmlPreprocessor, xml_preprocessor, G_TYPE_OBJECT)

static void xml_preprocessor_class_init(XmlPreprocessorClass *) {}

static void xml_preprocessor_init(XmlPreprocessor *self) {
  self->run_command = run_with_bash;
}

XmlPreprocessor *xml_preprocessor_new(void) {
  return XML_PREPROCESSOR(g_object_new(XML_TYPE_PREPROCESSOR, NULL));
}

namespace quillet::preprocess {

void set_command_runner(XmlPreprocessor *self, CommandRunner runner) {
  g_return_if_fail(self != NULL);
  self->run_command = runner != nullptr ? runner : run_with_bash;
}

std::string items_from_output(std::string_view output) {
  std::string items;
  for (std::string_view whole : Lines(strip(output))) {
    const std::string_view line = strip(whole);
    if (line.empty())
      continue;
    items += "<item>";
    // XML reads a bare carriage return as a line feed; a reference keeps it.
    items += replace_all(xml_escape_text(line), "\r", "&#13;");
    items += "</item>\n";
  }
  return items;
}

namespace {

// Where the start tag at `at` ends (its '>'), or 0 when no '>' comes before the next '<'.
size_t start_tag_end(std::string_view markup, size_t at) {
  if (at + 1 >= markup.size() || !g_ascii_isalpha(markup[at + 1]))
    return 0;
  const size_t end = markup.find_first_of("<>", at + 1);
  return end != std::string_view::npos && markup[end] == '>' ? end : 0;
}

// The length of "<name" or "</name" at `at` when name is one of the elements read in any
// case that the later steps look for in lower case, else 0.
size_t any_case_name_end(std::string_view markup, size_t at) {
  size_t start = at + 1;
  if (start < markup.size() && markup[start] == '/')
    start++;
  size_t end = start;
  while (end < markup.size() && g_ascii_isalnum(markup[end]))
    end++;
  const std::string name = ascii_lower(markup.substr(start, end - start));
  return name == "item" || name == "label" || name == "input" || name == "action" ? end - at : 0;
}

} // namespace

std::string split_tags_and_escape(std::string_view markup, std::vector<size_t> *line_starts) {
  std::string out;
  out.reserve(markup.size() + markup.size() / 8);
  size_t tag_end = 0; // a long start tag may be wrapped: its line breaks are blanks
  for (size_t i = 0; i < markup.size(); i++) {
    const char c = markup[i];
    if (line_starts != nullptr && c == '\n' && i >= tag_end)
      line_starts->push_back(i + 1);
    if (c == '<') {
      if (line_starts != nullptr)
        line_starts->push_back(i);
      out += '\n';
      tag_end = start_tag_end(markup, i);
      if (const size_t length = any_case_name_end(markup, i)) {
        out += ascii_lower(markup.substr(i, length));
        i += length - 1;
        continue;
      }
    }
    if (c == '&' && !begins_reference(markup.substr(i)))
      out += "&amp;";
    else if (c == '\n' && i < tag_end)
      out += ' ';
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
constexpr std::string_view kFeedClose = "</feed>";

// A title may hold double quotes: as references they stay inside the attribute.
gboolean frame_title(const GMatchInfo *match, GString *out, gpointer) {
  g_autofree char *title = g_match_info_fetch(match, 1);
  const std::string escaped = replace_all(title != nullptr ? title : "", "\"", "&quot;");
  g_string_append(out, "<frame frame_label=\"");
  g_string_append_len(out, escaped.data(), static_cast<gssize>(escaped.size()));
  g_string_append(out, "\">");
  return FALSE;
}

// The three legacy rewrites, compiled once per cleaning and borrowed by every markup stretch.
struct LegacyForms {
  GRegex *frame;
  GRegex *ok;
  GRegex *cancel;

  std::string rewrite(std::string text) const {
    // Most stretches hold neither form; skipping them keeps cleaning linear and cheap.
    if (!contains(text, "<frame") && !contains(text, "<button"))
      return text;
    if (frame != nullptr) {
      g_autofree char *next = g_regex_replace_eval(frame, text.c_str(), -1, 0, GRegexMatchFlags(0),
                                                   frame_title, nullptr, nullptr);
      if (next == nullptr)
        return text;
      text = next;
    }
    const std::pair<GRegex *, const char *> rules[] = {
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
  size_t close_size = 0;                 // the length of its end tag
  bool is_input = false;
};

class CommandScanner {
public:
  // `text` is the markup in ASCII lower case, so that element names are found in any case.
  explicit CommandScanner(std::string_view text)
      : text_(text), input_open_{text, kInputOpen}, input_close_{text, kInputClose},
        action_open_{text, "<action"}, action_close_{text, kActionClose}, tag_end_{text, ">"},
        feed_open_{text, "<feed"}, feed_close_{text, kFeedClose} {}

  CommandElement next(size_t from) {
    while (true) {
      const size_t input = input_open_.next(from);
      size_t action_end = 0;
      const size_t action = next_tag(action_open_, from, action_end);
      size_t feed_end = 0;
      const size_t feed = next_tag(feed_open_, from, feed_end);
      const size_t first = std::min({input, action, feed});
      if (first == std::string_view::npos)
        return {};
      CommandElement element;
      element.start = first;
      element.is_input = first == input;
      Finder &close = element.is_input  ? input_close_
                      : first == action ? action_close_
                                        : feed_close_;
      element.content = element.is_input  ? input + kInputOpen.size()
                        : first == action ? action_end
                                          : feed_end;
      element.close = close.next(element.content);
      element.close_size = close.needle.size();
      if (element.close != std::string_view::npos)
        return element;
      // Never closed: an ordinary tag after all.
      from = element.start + 1;
    }
  }

private:
  // "<name>" or "<name" followed by a blank, attributes and '>'.
  size_t next_tag(Finder &open, size_t from, size_t &tag_end) {
    const size_t name_end = open.needle.size();
    for (size_t at = open.next(from); at != std::string_view::npos; at = open.next(at + 1)) {
      const size_t after = at + name_end;
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
  Finder input_open_, input_close_, action_open_, action_close_, tag_end_, feed_open_, feed_close_;
};

} // namespace

// Runs one input command: what it printed, made valid UTF-8.
static std::string run_input_command(XmlPreprocessor *self, const char *cmd) {
  const std::string sanitized_cmd = replace_all(cmd, "\\$", "$");
  if (strip(sanitized_cmd).empty())
    return {};

  // A NUL byte is no text, but what follows it is.
  std::string output = self->run_command(sanitized_cmd);
  std::erase(output, '\0');
  return make_valid_utf8(output.c_str());
}

char *xml_preprocessor_clean_legacy_syntax(XmlPreprocessor *self, const char *raw_xml) {
  return quillet::preprocess::clean_markup(self, raw_xml, nullptr);
}

char *quillet::preprocess::clean_markup(XmlPreprocessor *self, const char *raw_xml,
                                        Origins *origins) {
  g_return_val_if_fail(self != NULL, NULL);
  g_return_val_if_fail(raw_xml != NULL, NULL);

  const std::string valid = make_valid_utf8(raw_xml);
  const std::string_view text = strip(valid);

  g_autoptr(GRegex) frame =
      // A title already in attribute form is what the rewrite produces; leave it as it is, and
      // a frame whose first attribute names it or hides it has no title of bare words.
      g_regex_new("<frame\\s+(?!(?:frame_label|variable|id|visible)=)([^>]+)>",
                  GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);
  g_autoptr(GRegex) ok =
      g_regex_new("<button\\s+ok\\s*>", GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);
  g_autoptr(GRegex) cancel =
      g_regex_new("<button\\s+cancel\\s*>", GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);
  const LegacyForms legacy{frame, ok, cancel};

  g_autoptr(GString) out = g_string_sized_new(text.size() + text.size() / 4);
  // Each line the cleaned text gains begins at an offset into `text`, noted when asked for.
  std::vector<size_t> *starts = origins != nullptr ? &origins->line_starts : nullptr;
  if (origins != nullptr) {
    origins->inputs.clear();
    origins->markup = valid;
    starts->assign(1, 0);
  }
  const auto appended = [&](std::string_view added, size_t at) {
    if (starts != nullptr)
      starts->resize(starts->size() + static_cast<size_t>(std::ranges::count(added, '\n')), at);
    g_string_append_len(out, added.data(), static_cast<gssize>(added.size()));
  };
  auto append_markup = [&](std::string_view markup) {
    const size_t at = static_cast<size_t>(markup.data() - text.data());
    std::vector<size_t> split_starts;
    const std::string cleaned =
        legacy.rewrite(split_tags_and_escape(markup, starts != nullptr ? &split_starts : nullptr));
    const size_t lines = starts != nullptr ? starts->size() : 0;
    appended(cleaned, at);
    // A rewrite keeps the lines as they are, but for a frame title that never ends.
    for (size_t i = 0; starts != nullptr && i < split_starts.size() && lines + i < starts->size();
         i++)
      (*starts)[lines + i] = at + split_starts[i];
  };
  const auto append_raw = [&](std::string_view content) {
    const size_t at = static_cast<size_t>(content.data() - text.data());
    g_string_append_len(out, content.data(), static_cast<gssize>(content.size()));
    for (size_t i = 0; starts != nullptr && i < content.size(); i++)
      if (content[i] == '\n')
        starts->push_back(at + i + 1);
  };

  // Commands reach their program as written: the content of input, action and feed elements is
  // copied through, and only the markup around it is cleaned. Comments go first, unless they
  // are inside a command: what they hide is never read, not even a command. One never closed
  // runs to the end.
  // Element names are read in any case.
  const std::string lowered = ascii_lower(text);
  CommandScanner scanner(lowered);
  Finder comments{text, "<!--"};
  size_t pos = 0;
  // The element found stays the next one until it is used or a comment swallows it: asking
  // again would pass over the same tags that never close, once per comment.
  for (CommandElement element = scanner.next(pos);;) {
    if (element.start != std::string_view::npos && element.start < pos)
      element = scanner.next(pos);
    if (const size_t comment = comments.next(pos); comment < element.start) {
      append_markup(text.substr(pos, comment - pos));
      const size_t end = text.find("-->", comment + 4);
      pos = end == std::string_view::npos ? text.size() : end + 3;
      continue;
    }
    if (element.start == std::string_view::npos)
      break;
    const std::string_view content = text.substr(element.content, element.close - element.content);
    if (element.is_input) {
      // The element gives way to its items, on a line of their own as its tag would be.
      append_markup(text.substr(pos, element.start - pos));
      const std::string command(strip(content));
      std::string output = run_input_command(self, command.c_str());
      const size_t start = out->len;
      appended("\n", element.start);
      appended(items_from_output(output), element.start);
      // The walk gives the command to the widget whose items these are, to run on a refresh.
      if (origins != nullptr)
        origins->inputs.push_back(
            {start, out->len, replace_all(command, "\\$", "$"), std::move(output)});
      pos = element.close + element.close_size;
    } else {
      append_markup(text.substr(pos, element.content - pos));
      append_raw(content);
      pos = element.close;
    }
  }
  append_markup(text.substr(pos));
  if (origins != nullptr) {
    for (size_t &start : *starts)
      start += static_cast<size_t>(text.data() - valid.data());
    origins->clean.assign(out->str, out->len);
  }

  return g_string_free(g_steal_pointer(&out), FALSE);
}
