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

} // namespace quillet::widgets
