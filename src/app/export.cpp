#include "export.h"

#include "common/checks.h"

#include "widgets/kinds.h"

namespace quillet::app {

// In GBK, Big5 and Shift-JIS a backslash can be the second byte of a character, so bash
// in such a locale reads the byte before an escaping backslash and the backslash as one
// character and the escape is lost. A string that ends and opens again just before such a
// backslash gives the same value in every shell and locale.
namespace {

bool after_non_ascii(std::string_view out) {
  return !out.empty() && static_cast<unsigned char>(out.back()) >= 0x80;
}

} // namespace

std::string double_quoted(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '\\' || c == '"' || c == '$' || c == '`') {
      if (after_non_ascii(out))
        out += "\"\"";
      out += '\\';
    }
    out += c;
  }
  return out;
}

std::string ansi_c_quoted(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    const char *escape = nullptr;
    switch (c) {
    case '\\':
      escape = "\\\\";
      break;
    // A bare single quote would end the word for a shell without $'...' (dash), which would
    // run the rest of the text.
    case '\'':
      escape = "\\x27";
      break;
    case '"':
      escape = "\\\"";
      break;
    case '\n':
      escape = "\\n";
      break;
    default:
      out += c;
      continue;
    }
    if (after_non_ascii(out))
      out += "'$'";
    out += escape;
  }
  return out;
}

bool is_shell_name(std::string_view name) {
  if (name.empty() || g_ascii_isdigit(name[0]))
    return false;
  for (char c : name)
    if (!g_ascii_isalnum(c) && c != '_')
      return false;
  return true;
}

bool steers_shell(std::string_view name) {
  for (std::string_view steering : {"PS4", "PROMPT_COMMAND", "BASH_ENV", "ENV", "IFS", "PATH",
                                    "CDPATH", "GLOBIGNORE", "SHELLOPTS", "BASHOPTS"})
    if (name == steering)
      return true;
  return false;
}

std::optional<WidgetState> widget_state(const char *name, GObject *object, bool debug) {
  g_return_val_if_fail(name != NULL, std::nullopt);
  g_return_val_if_fail(object != NULL, std::nullopt);

  const widgets::Kind *kind = widgets::kind_of_widget(object);
  if (kind == nullptr || kind->read == nullptr)
    return std::nullopt;
  widgets::Value value = kind->read(object, name, debug);
  return WidgetState{name, std::move(value.text), value.lines};
}

void append_state_line(GString *out, const WidgetState &state) {
  g_return_if_fail(out != NULL);
  if (state.lines) {
    const std::string quoted = ansi_c_quoted(state.value);
    g_string_append_printf(out, "%s=$'%s'\n", state.name.c_str(), quoted.c_str());
  } else {
    const std::string quoted = double_quoted(state.value);
    g_string_append_printf(out, "%s=\"%s\"\n", state.name.c_str(), quoted.c_str());
  }
}

void append_state_line(GString *out, const char *name, GObject *object, bool debug) {
  g_return_if_fail(out != NULL);
  g_return_if_fail(name != NULL);
  g_return_if_fail(object != NULL);
  if (const std::optional<WidgetState> state = widget_state(name, object, debug))
    append_state_line(out, *state);
}

} // namespace quillet::app
