#include "markup.h"

#include "common/strings.h"

#include <algorithm>
#include <cmath>

namespace quillet::widgets {

void append(GString *sb, std::string_view text) {
  g_string_append_len(sb, text.data(), static_cast<gssize>(text.size()));
}

std::string element_name(std::string_view line, bool closing) {
  const std::string_view open = closing ? "</" : "<";
  for (size_t at = line.find(open); at != std::string_view::npos; at = line.find(open, at + 1)) {
    size_t end = at + open.size();
    while (end < line.size() && g_ascii_isalnum(line[end]))
      end++;
    if (end > at + open.size())
      return ascii_lower(line.substr(at + open.size(), end - at - open.size()));
  }
  return {};
}

bool is_start_tag(std::string_view line, std::string_view name) {
  if (line.size() < name.size() + 2 || line[0] != '<' ||
      g_ascii_strncasecmp(line.data() + 1, name.data(), name.size()) != 0)
    return false;
  const char after = line[name.size() + 1];
  return after == '>' || kBlank.find(after) != std::string_view::npos;
}

bool is_end_tag(std::string_view line, std::string_view name) {
  return line.size() >= name.size() + 3 && line.starts_with("</") &&
         g_ascii_strncasecmp(line.data() + 2, name.data(), name.size()) == 0 &&
         line[name.size() + 2] == '>';
}

bool closes_itself(std::string_view line) {
  const size_t gt = line.find('>');
  return contains(line, "</") || (gt != std::string_view::npos && gt > 0 && line[gt - 1] == '/');
}

std::optional<std::string_view> attribute(std::string_view line, std::string_view name) {
  // Quoted values are skipped whole: they may hold '>' and other names.
  for (size_t at = 0; at < line.size() && line[at] != '>'; at++) {
    if (line[at] == '"') {
      const size_t quote = line.find('"', at + 1);
      if (quote == std::string_view::npos)
        return std::nullopt;
      at = quote;
      continue;
    }
    if (at == 0 || kBlank.find(line[at - 1]) == std::string_view::npos ||
        !line.substr(at).starts_with(name) || !line.substr(at + name.size()).starts_with("=\""))
      continue;
    const size_t start = at + name.size() + 2;
    const size_t quote = line.find('"', start);
    if (quote == std::string_view::npos)
      return std::nullopt;
    return line.substr(start, quote - start);
  }
  return std::nullopt;
}

std::string layout_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    const char c = text[i];
    if (c == '&' && !begins_reference(text.substr(i)))
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

std::optional<std::string> parsed_text(std::string_view data) {
  static constexpr GMarkupParser kParser = {
      nullptr, nullptr,
      [](GMarkupParseContext *, const char *text, gsize length, gpointer out, GError **) {
        static_cast<std::string *>(out)->append(text, length);
      },
      nullptr, nullptr};
  std::string out;
  g_autoptr(GMarkupParseContext) context =
      g_markup_parse_context_new(&kParser, GMarkupParseFlags(0), &out, nullptr);
  const std::string document = "<t>" + std::string(data) + "</t>";
  if (!g_markup_parse_context_parse(context, document.data(), static_cast<gssize>(document.size()),
                                    nullptr) ||
      !g_markup_parse_context_end_parse(context, nullptr))
    return std::nullopt;
  return out;
}

std::string plain_text(std::string_view text) {
  std::string out(strip(text));
  for (auto [from, to] :
       {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}})
    if (contains(out, from))
      out = replace_all(out, from, to);
  return out;
}

std::string with_carriage_returns(std::string_view text) {
  return replace_all(text, "\r", "&#13;");
}

std::optional<double> number(std::optional<std::string_view> text) {
  const std::optional<double> value = text ? whole_number(strip(*text)) : std::nullopt;
  return value && std::isfinite(*value) ? value : std::nullopt;
}

std::string number_text(double value) {
  char text[G_ASCII_DTOSTR_BUF_SIZE];
  for (const char *format : {"%.15g", "%.16g"})
    if (g_ascii_strtod(g_ascii_formatd(text, sizeof text, format, value), nullptr) == value)
      return text;
  return g_ascii_formatd(text, sizeof text, "%.17g", value);
}

std::optional<int> count(std::optional<std::string_view> text, int most) {
  const std::optional<double> value = number(text);
  if (!value || *value < 0 || *value != std::floor(*value))
    return std::nullopt;
  return static_cast<int>(std::min<double>(*value, most));
}

std::string property(std::string_view name, std::string_view value) {
  std::string out = "<property name=\"";
  out += name;
  out += "\">";
  out += value;
  out += "</property>\n";
  return out;
}

std::vector<std::string_view> cells(std::string_view text, int columns) {
  std::vector<std::string_view> out;
  while (static_cast<int>(out.size()) + 1 < columns) {
    const size_t bar = text.find('|');
    if (bar == std::string_view::npos)
      break;
    out.push_back(strip(text.substr(0, bar)));
    text.remove_prefix(bar + 1);
  }
  out.push_back(strip(text));
  return out;
}

namespace {

// "a", "b" or "c"
std::string quoted_words(std::string_view words) {
  std::string out;
  const std::vector<std::string_view> each = cells(words, static_cast<int>(words.size()) + 1);
  for (size_t i = 0; i < each.size(); i++) {
    if (i > 0)
      out += i + 1 == each.size() ? " or " : ", ";
    out.append("\"").append(each[i]).append("\"");
  }
  return out;
}

bool is_one_of(std::string_view value, std::string_view words) {
  const std::vector<std::string_view> each = cells(words, static_cast<int>(words.size()) + 1);
  return std::ranges::find(each, value) != each.end();
}

// What `value` does not fit in `declared`, as "takes ...; what it does"; empty when it fits.
std::string misfit(const Attribute &declared, std::string_view value) {
  const std::string otherwise(declared.otherwise);
  const auto many = static_cast<int>(value.size()) + 1;
  switch (declared.takes) {
  case Takes::text:
    return {};
  case Takes::words:
    if (is_one_of(value, declared.words))
      return {};
    return "takes " + quoted_words(declared.words) + "; " + otherwise;
  case Takes::word_list:
    if (std::ranges::all_of(cells(value, many),
                            [&](std::string_view word) { return is_one_of(word, declared.words); }))
      return {};
    return "takes words " + quoted_words(declared.words) + " separated by '|'; " + otherwise;
  case Takes::word:
    if (is_word(value))
      return {};
    return "takes a word (letters, digits and '_'); " + otherwise;
  case Takes::number:
    if (number(value))
      return {};
    return "takes a number, such as 2.5; " + otherwise;
  case Takes::positive: {
    const std::optional<double> given = number(value);
    if (given && *given > 0 && (declared.most == 0 || *given <= declared.most))
      return {};
    const std::string most = declared.most > 0 ? ", at most " + std::to_string(declared.most) : "";
    if (given && declared.most > 0 && *given > declared.most)
      return "takes a number above 0" + most + "; it is taken as " + std::to_string(declared.most);
    return "takes a number above 0" + most + "; " + otherwise;
  }
  case Takes::count: {
    const std::optional<int> given = count(value, declared.most + 1);
    if (given && *given >= declared.least && *given <= declared.most)
      return {};
    const std::string range = "takes a whole number from " + std::to_string(declared.least) +
                              " to " + std::to_string(declared.most);
    if (given && *given > declared.most)
      return range + "; it is taken as " + std::to_string(declared.most);
    return range + "; " + otherwise;
  }
  case Takes::columns:
    if (value == "true" || value == "false" ||
        std::ranges::all_of(cells(value, many), [](std::string_view column) {
          const std::optional<int> given = count(column, 1000);
          return given && *given > 0;
        }))
      return {};
    return "takes \"true\" or column numbers separated by '|'; " + otherwise;
  }
  return {};
}

// The attributes of a start tag, name and value, as written with double quotes; a value in
// single quotes is given with its quotes, for the check to say so.
std::vector<std::pair<std::string_view, std::string_view>> attributes_of(std::string_view tag) {
  std::vector<std::pair<std::string_view, std::string_view>> out;
  size_t at = tag.find_first_of(kBlank);
  while (at < tag.size()) {
    at = tag.find_first_not_of(kBlank, at);
    if (at == std::string_view::npos || tag[at] == '>' || tag[at] == '/')
      break;
    const size_t name_end = tag.find_first_of("= \t\n\r\f>/", at);
    if (name_end == std::string_view::npos)
      break;
    const std::string_view name = tag.substr(at, name_end - at);
    if (tag[name_end] != '=' || name_end + 1 >= tag.size()) {
      // A word alone, such as a button's ok; a character that is neither blank nor a name's
      // (a form feed) is stepped over.
      at = std::max(name_end, at + 1);
      continue;
    }
    const char quote = tag[name_end + 1];
    const size_t close =
        quote == '"' || quote == '\'' ? tag.find(quote, name_end + 2) : std::string_view::npos;
    if (close == std::string_view::npos)
      break;
    out.emplace_back(name, quote == '"' ? tag.substr(name_end + 2, close - name_end - 2)
                                        : tag.substr(name_end + 1, close - name_end));
    at = close + 1;
  }
  return out;
}

} // namespace

std::vector<std::string> misfits(std::string_view element, std::string_view tag,
                                 std::initializer_list<std::span<const Attribute>> tables) {
  std::vector<std::string> out;
  for (const auto &[name, value] : attributes_of(tag)) {
    const Attribute *declared = nullptr;
    for (std::span<const Attribute> table : tables)
      for (const Attribute &attribute : table)
        if (attribute.name == name)
          declared = &attribute;
    std::string shown = value.size() > 60
                            ? std::string(value.substr(0, utf8_fit(value, 57))) + "..."
                            : std::string(value);
    const bool single = value.starts_with('\'');
    std::string said = "<" + std::string(element) + " " + std::string(name) +
                       (single ? "=" : "=\"") + shown + (single ? ">: " : "\">: ");
    if (declared == nullptr)
      out.push_back(said + "<" + std::string(element) + "> takes no " + std::string(name) +
                    "; it is ignored.");
    else if (single)
      out.push_back(said + "a value goes in double quotes; it is ignored.");
    else if (std::string wrong = misfit(*declared, value); !wrong.empty())
      out.push_back(said + std::string(name) + " " + wrong + ".");
  }
  return out;
}

} // namespace quillet::widgets
