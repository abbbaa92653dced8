#include "export.h"

#include "common/checks.h"

#include "widgets/kinds.h"

#include <cstdio>
#include <unordered_set>

#include <unistd.h>
#include <initializer_list>

namespace quillet::app {

// In GBK, GB18030, Big5, Big5-HKSCS and Shift-JIS a backslash can be the second byte of a
// character, and in GB18030 a non-ASCII byte and a digit start a character of four bytes
// that takes in the next two, whatever they are: bash in such a locale would read an escape,
// or the closing quote, as part of a character. A string that ends and opens again between
// the non-ASCII byte and the backslash or digit gives the same value in every shell and
// locale; no charset takes a quote into a character.
namespace {

bool after_non_ascii(std::string_view out) {
  return !out.empty() && static_cast<unsigned char>(out.back()) >= 0x80;
}

} // namespace

std::string double_quoted(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    const bool escaped = c == '\\' || c == '"' || c == '$' || c == '`';
    if (after_non_ascii(out) && (escaped || g_ascii_isdigit(c)))
      out += "\"\"";
    if (escaped)
      out += '\\';
    out += c;
  }
  return out;
}

std::string ansi_c_quoted(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); i++) {
    const char c = value[i];
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
    case '\r':
      escape = "\\r";
      break;
    // Big5-HKSCS reads 0x88 and one of these as two characters, which bash's $'...' cannot
    // take (it crashes); the escape is read as a byte of its own.
    case '\x88':
      if (i + 1 < value.size() &&
          std::string_view("bd\xa3\xa5").find(value[i + 1]) != std::string_view::npos)
        escape = "\\x88";
      break;
    }
    if (after_non_ascii(out) && (escape != nullptr || g_ascii_isdigit(c)))
      out += "'$'";
    if (escape != nullptr)
      out += escape;
    else
      out += c;
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

namespace {

// A name that ends in '*' stands for every name it starts.
bool listed(std::string_view name, std::initializer_list<std::string_view> list) {
  for (std::string_view entry : list)
    if (entry.ends_with('*') ? name.starts_with(entry.substr(0, entry.size() - 1)) : name == entry)
      return true;
  return false;
}

} // namespace

const char *refused_name(std::string_view name) {
  // The evaluating shell's trace prompt, word splitting, command search, start-up files,
  // options and limits.
  if (listed(name, {"PS4", "PROMPT_COMMAND", "BASH_ENV", "ENV", "IFS", "PATH", "CDPATH",
                    "GLOBIGNORE", "SHELLOPTS", "BASHOPTS", "POSIXLY_CORRECT", "TMOUT", "FUNCNEST",
                    "EXECIGNORE", "GLOBSORT"}))
    return "steers the shell";
  // bash takes up the locale (and the language) these name at once: the rest of the answer,
  // written for the charset it was read in, would be read in another.
  if (listed(name, {"LANG", "LANGUAGE", "LC_*"}))
    return "changes how the shell reads the rest of the answer";
  // The dynamic loader, the C library, toolkits, graphics and crypto libraries and
  // interpreters read these at start-up to choose code to load or run: a typed path
  // would be run by every later command of the script or of an action.
  if (listed(name, {"LD_*",
                    "GCONV_PATH",
                    "GETCONF_DIR",
                    "GLIBC_TUNABLES",
                    "MALLOC_*",
                    "LOCPATH",
                    "NLSPATH",
                    "GTK_MODULES",
                    "GTK3_MODULES",
                    "GTK_PATH",
                    "GTK_EXE_PREFIX",
                    "GTK_IM_MODULE_FILE",
                    "GIO_EXTRA_MODULES",
                    "GIO_MODULE_DIR",
                    "GDK_PIXBUF_MODULE_FILE",
                    "GDK_PIXBUF_MODULEDIR",
                    "GI_TYPELIB_PATH",
                    "GST_PLUGIN_*",
                    "QT_PLUGIN_PATH",
                    "QT_QPA_PLATFORM_PLUGIN_PATH",
                    "LIBGL_DRIVERS_PATH",
                    "LIBVA_DRIVERS_PATH",
                    "VDPAU_DRIVER_PATH",
                    "GBM_BACKENDS_PATH",
                    "__EGL_VENDOR_LIBRARY_*",
                    "VK_*",
                    "OPENSSL_CONF",
                    "OPENSSL_ENGINES",
                    "OPENSSL_MODULES",
                    "SASL_PATH",
                    "DBUS_SESSION_BUS_ADDRESS",
                    "DBUS_SYSTEM_BUS_ADDRESS",
                    "LESSOPEN",
                    "LESSCLOSE",
                    "PYTHON*",
                    "PERL5LIB",
                    "PERLLIB",
                    "PERL5OPT",
                    "PERL5DB",
                    "RUBY*",
                    "NODE_OPTIONS",
                    "NODE_PATH",
                    "JAVA_TOOL_OPTIONS",
                    "_JAVA_OPTIONS",
                    "JDK_JAVA_OPTIONS",
                    "CLASSPATH",
                    "LUA_*",
                    "TCLLIBPATH",
                    "GUILE_LOAD_PATH",
                    "GUILE_LOAD_COMPILED_PATH",
                    "PHPRC",
                    "PHP_INI_SCAN_DIR",
                    "ZDOTDIR"}))
    return "makes programs load other code";
  // bash expands the prompts (command substitutions too) at its next prompt, refuses to
  // assign the read-only ones (a set -e or --posix script ends there) and gives the dynamic
  // ones values of its own; dash ends a script whose OPTIND is not a number.
  if (listed(name, {"PS0",          "PS1",           "PS2",      "PS3",
                    "UID",          "EUID",          "PPID",     "BASH_*",
                    "SECONDS",      "RANDOM",        "SRANDOM",  "LINENO",
                    "GROUPS",       "BASHPID",       "FUNCNAME", "HISTCMD",
                    "EPOCHSECONDS", "EPOCHREALTIME", "DIRSTACK", "PIPESTATUS",
                    "OPTIND",       "OPTARG",        "_"}))
    return "is special to bash";
  return nullptr;
}

std::optional<WidgetState> widget_state(const char *name, GObject *object, bool debug) {
  g_return_val_if_fail(name != NULL, std::nullopt);
  g_return_val_if_fail(object != NULL, std::nullopt);

  const widgets::Kind *kind = widgets::kind_of_widget(object);
  if (kind == nullptr || kind->read == nullptr)
    return std::nullopt;
  if (debug && kind->explain != nullptr)
    kind->explain(object, name);
  widgets::Value value = kind->read(object);
  return WidgetState{name,       std::move(value.text),  value.lines,
                     value.rows, std::move(value.items), std::move(value.table)};
}

std::vector<WidgetState> collect_states(const std::vector<std::string> &order, GtkBuilder *builder,
                                        bool explain, bool warn) {
  g_return_val_if_fail(builder != NULL, std::vector<WidgetState>());
  std::vector<WidgetState> states;
  for (const std::string &id : order) {
    const char *name = id.c_str();
    // Generated ids name nothing the script asked for; a name the shell cannot assign to
    // would make eval run a command; a widget named EXIT would overwrite the status line.
    if (g_str_has_prefix(name, "auto_id_") || !is_shell_name(name) || g_str_equal(name, "EXIT"))
      continue;
    if (const char *reason = refused_name(name)) {
      if (warn)
        fprintf(stderr,
                "[QUILLET WARNING] Widget '%s' neither exported nor given to actions: the name "
                "%s.\n",
                name, reason);
      continue;
    }
    GObject *object = gtk_builder_get_object(builder, name);
    if (object == nullptr)
      continue;
    if (auto state = widget_state(name, object, explain))
      states.push_back(std::move(*state));
  }
  return states;
}

void append_state_line(GString *out, const WidgetState &state) {
  g_return_if_fail(out != NULL);
  // A line break anywhere else would put the rest of the value on a line of its own, where a
  // reader of lines (grep '^NAME=') would take it for another value.
  if (state.lines || state.value.find_first_of("\n\r") != std::string::npos) {
    const std::string quoted = ansi_c_quoted(state.value);
    g_string_append_printf(out, "%s=$'%s'\n", state.name.c_str(), quoted.c_str());
  } else {
    const std::string quoted = double_quoted(state.value);
    g_string_append_printf(out, "%s=\"%s\"\n", state.name.c_str(), quoted.c_str());
  }
}

// Linux refuses to start a program (E2BIG) when one string of its environment takes
// 128 KiB with its NUL, or when its strings and their pointers, with the arguments', take
// more than a quarter of the stack limit (at least 128 KiB, at most 6 MiB), which
// sysconf(_SC_ARG_MAX) gives. Half of that is left for the command's own words.
static constexpr size_t kMaxEnvironmentString = 128 * 1024;

static size_t environment_budget() {
  const long arg_max = sysconf(_SC_ARG_MAX);
  return std::min<size_t>(arg_max > 0 ? static_cast<size_t>(arg_max) : kMaxEnvironmentString,
                          6 * 1024 * 1024) /
         2;
}

static size_t environment_cost(size_t length) {
  return length + 1 + sizeof(char *);
}

// What every action command starts with: quillet's environment and the widgets' values
// under their names, unquoted, as OK would print them. So that the command always starts,
// a value the environment cannot hold (see above) is left out, in document order, and the
// variable is unset rather than left as quillet got it.
char **environment_with(std::span<const WidgetState> widgets, bool debug) {
  std::unordered_set<std::string_view> names;
  for (const WidgetState &widget : widgets)
    names.insert(widget.name);
  g_autoptr(GPtrArray) env = g_ptr_array_new_null_terminated(0, g_free, TRUE);
  size_t used = 0;
  for (char **variable = environ; *variable != nullptr; variable++) {
    const std::string_view text = *variable;
    if (!names.contains(text.substr(0, text.find('=')))) {
      g_ptr_array_add(env, g_strdup(*variable));
      used += environment_cost(text.size());
    }
  }
  const size_t budget = environment_budget();
  for (const WidgetState &widget : widgets) {
    const size_t length = widget.name.size() + 1 + widget.value.size();
    if (length + 1 > kMaxEnvironmentString || used + environment_cost(length) > budget) {
      if (debug)
        fprintf(stderr,
                "[QUILLET WARNING] Widget '%s' left out of an action's environment: its "
                "value (%zu bytes) does not fit.\n",
                widget.name.c_str(), widget.value.size());
      continue;
    }
    g_ptr_array_add(env, g_strconcat(widget.name.c_str(), "=", widget.value.c_str(), NULL));
    used += environment_cost(length);
  }
  return reinterpret_cast<char **>(g_ptr_array_steal(env, nullptr));
}

} // namespace quillet::app
