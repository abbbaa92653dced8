#include "check.h"

#include "common/checks.h"

#include "builtins.h"
#include "common/strings.h"
#include "export.h"
#include "preprocess/cleaning.h"
#include "widgets/kinds.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <optional>
#include <utility>

namespace quillet::app {

namespace {

using transform::DialogExtras;

std::string prints_nothing(const std::string &) {
  return {};
}

// A built-in command must name a widget of the dialog; any other command is run as an action
// runs it, split as the shell would and looked for on PATH.
void check_commands(const DialogExtras &extras, std::vector<Problem> &problems) {
  for (const auto &[line, command] : extras.commands) {
    if (const std::optional<BuiltinCommand> builtin = builtin_command(command)) {
      if (builtin->verb == "exit" && !is_word(builtin->name))
        problems.push_back(
            {line,
             command + " does nothing: the exit word is not a word (letters, digits and '_')."});
      else if (builtin->verb != "exit" && object_named(extras, builtin->name).empty())
        problems.push_back(
            {line, command + " does nothing: no widget is named '" + builtin->name + "'."});
      continue;
    }
    g_auto(GStrv) argv = nullptr;
    g_autoptr(GError) error = nullptr;
    if (!g_shell_parse_argv(command.c_str(), nullptr, &argv, &error)) {
      problems.push_back({line, "The action '" + command + "' cannot start: " + error->message});
      continue;
    }
    g_autofree char *found = g_find_program_in_path(argv[0]);
    if (found == nullptr)
      problems.push_back({line, "The action '" + command + "' cannot start: no program '" +
                                    argv[0] + "' is found on PATH."});
  }
}

// The first word of a script bash runs, where it surely names a program bash looks for on
// PATH: a plain word (no quote, expansion, assignment or operator) that is no keyword or
// builtin of bash. Empty for any other.
std::string_view program_of_script(std::string_view script) {
  const std::string_view first = strip(script.substr(0, script.find('\n')));
  const std::string_view word = first.substr(0, first.find_first_of(kBlank));
  constexpr std::string_view kBash[] = {
      "if",        "then",     "else",     "elif",    "fi",       "case",    "esac",     "for",
      "select",    "while",    "until",    "do",      "done",     "in",      "function", "time",
      "coproc",    "alias",    "bg",       "bind",    "break",    "builtin", "caller",   "cd",
      "command",   "compgen",  "complete", "compopt", "continue", "declare", "dirs",     "disown",
      "echo",      "enable",   "eval",     "exec",    "exit",     "export",  "false",    "fc",
      "fg",        "getopts",  "hash",     "help",    "history",  "jobs",    "kill",     "let",
      "local",     "logout",   "mapfile",  "popd",    "printf",   "pushd",   "pwd",      "read",
      "readarray", "readonly", "return",   "set",     "shift",    "shopt",   "source",   "suspend",
      "test",      "times",    "trap",     "true",    "type",     "typeset", "ulimit",   "umask",
      "unalias",   "unset",    "wait"};
  const bool plain = !word.empty() && std::ranges::all_of(word, [](char c) {
    return g_ascii_isalnum(c) || c == '_' || c == '.' || c == '/' || c == '+' || c == '-';
  });
  // A feed of "-" reads standard input.
  if (!plain || word.starts_with('-') || word.find_first_not_of("./") == std::string_view::npos ||
      std::ranges::find(kBash, word) != std::end(kBash))
    return {};
  return word;
}

void check_scripts(const DialogExtras &extras, std::vector<Problem> &problems) {
  for (const auto &[line, script] : extras.scripts) {
    const std::string program(program_of_script(script));
    g_autofree char *found = program.empty() ? nullptr : g_find_program_in_path(program.c_str());
    if (!program.empty() && found == nullptr)
      problems.push_back(
          {line, "The command '" + std::string(strip(script.substr(0, script.find('\n')))) +
                     "' cannot run: no program '" + program + "' is found on PATH."});
  }
}

// The names of widgets that have a value must be ones the answer can carry.
void check_names(const DialogExtras &extras, std::vector<Problem> &problems) {
  for (const auto &[name, line] : extras.lines) {
    const auto kind = extras.kinds.find(object_named(extras, name));
    if (name.starts_with("auto_id_") || kind == extras.kinds.end() || kind->second->read == nullptr)
      continue;
    if (name == "EXIT")
      problems.push_back({line, "The name 'EXIT' is the answer's own: the widget's value is not "
                                "printed."});
    else if (!is_shell_name(name))
      problems.push_back({line, "The name '" + name +
                                    "' is none the shell can assign: its value is not printed."});
    else if (const char *reason = refused_name(name))
      problems.push_back({line, "The name '" + name +
                                    "' is refused: its value is not printed, as the name " +
                                    reason + "."});
  }
}

// Without a display: each object's class, its properties and their values, as GtkBuilder
// would read them.
struct Reader {
  GtkBuilder *builder;
  std::vector<GType> objects; // the classes of the objects open, innermost last
  int aside = 0;              // inside elements whose properties are no object's own
  GParamSpec *property = nullptr;
  std::string text;
};

void reader_start(GMarkupParseContext *, const char *element, const char **names,
                  const char **values, gpointer data, GError **error) {
  Reader &reader = *static_cast<Reader *>(data);
  const std::string_view name = element;
  if (reader.aside > 0 || name == "packing" || name == "attributes" || name == "columns" ||
      name == "data" || name == "items" || name == "style" || name == "accessibility") {
    reader.aside++;
    return;
  }
  const char *klass = nullptr, *property = nullptr;
  for (size_t i = 0; names[i] != nullptr; i++) {
    if (g_str_equal(names[i], "class"))
      klass = values[i];
    else if (g_str_equal(names[i], "name"))
      property = values[i];
  }
  if (name == "object") {
    const GType type =
        klass != nullptr ? gtk_builder_get_type_from_name(reader.builder, klass) : G_TYPE_INVALID;
    if (type == G_TYPE_INVALID)
      g_set_error(error, GTK_BUILDER_ERROR, GTK_BUILDER_ERROR_INVALID_VALUE,
                  "Invalid object type '%s'", klass != nullptr ? klass : "");
    reader.objects.push_back(type);
  } else if (name == "property" && !reader.objects.empty() && property != nullptr) {
    g_autoptr(GTypeClass) type = static_cast<GTypeClass *>(g_type_class_ref(reader.objects.back()));
    reader.property = g_object_class_find_property(G_OBJECT_CLASS(type), property);
    reader.text.clear();
    if (reader.property == nullptr)
      g_set_error(error, GTK_BUILDER_ERROR, GTK_BUILDER_ERROR_INVALID_PROPERTY,
                  "Invalid property: %s.%s", g_type_name(reader.objects.back()), property);
  }
}

void reader_end(GMarkupParseContext *, const char *element, gpointer data, GError **error) {
  Reader &reader = *static_cast<Reader *>(data);
  if (reader.aside > 0) {
    reader.aside--;
    return;
  }
  if (g_str_equal(element, "object") && !reader.objects.empty())
    reader.objects.pop_back();
  if (!g_str_equal(element, "property") || reader.property == nullptr)
    return;
  GParamSpec *property = std::exchange(reader.property, nullptr);
  const GType type = property->value_type;
  if (g_type_is_a(type, G_TYPE_OBJECT) || G_TYPE_IS_BOXED(type) || G_TYPE_IS_INTERFACE(type))
    return;
  g_auto(GValue) value = G_VALUE_INIT;
  gtk_builder_value_from_string_type(reader.builder, type, reader.text.c_str(), &value, error);
}

void reader_text(GMarkupParseContext *, const char *text, gsize length, gpointer data, GError **) {
  Reader &reader = *static_cast<Reader *>(data);
  if (reader.property != nullptr)
    reader.text.append(text, length);
}

// What GTK refuses of `layout`, or nothing.
std::optional<std::string> refused(const char *layout, bool display) {
  g_autoptr(GtkBuilder) builder = gtk_builder_new();
  g_autoptr(GError) error = nullptr;
  if (display) {
    if (!gtk_builder_add_from_string(builder, layout, -1, &error))
      return std::string(error->message);
    if (GtkWidget *window = widgets::window_of(builder))
      gtk_widget_destroy(window);
    return std::nullopt;
  }
  static const GMarkupParser kParser = {reader_start, reader_end, reader_text, nullptr, nullptr};
  Reader reader{builder, {}, 0, nullptr, {}};
  g_autoptr(GMarkupParseContext) context =
      g_markup_parse_context_new(&kParser, GMarkupParseFlags(0), &reader, nullptr);
  if (!g_markup_parse_context_parse(context, layout, -1, &error) ||
      !g_markup_parse_context_end_parse(context, &error))
    return std::string(error->message);
  return std::nullopt;
}

// A complaint without its numbers, which name lines of the layout.
std::string without_digits(std::string text) {
  std::erase_if(text, [](char c) { return g_ascii_isdigit(c); });
  return text;
}

void check_layout(XmlTransformer *transformer, const char *layout, bool display,
                  std::vector<Problem> &problems) {
  const DialogExtras &extras = *xml_transformer_get_extras(transformer);
  const std::string &for_gtk = extras.builder_layout;
  const std::optional<std::string> fault =
      refused(for_gtk.empty() ? layout : for_gtk.c_str(), display);
  if (!fault) {
    if (!contains(layout, "id=\"main_window\""))
      problems.push_back({0, "The markup has no <window> element: there is nothing to show."});
    return;
  }
  // The markup line that brings the fault in: the shortest start of the markup whose layout
  // GTK refuses in the same words ends with it.
  const std::string wanted = without_digits(*fault);
  const std::string origin = xml_transformer_origin(transformer, [&](const char *part) {
    const std::optional<std::string> again = refused(part, display);
    return again && without_digits(*again) == wanted;
  });
  int line = 0;
  if (sscanf(origin.c_str(), "line %d", &line) != 1)
    line = 0;
  // GTK's place in the layout means nothing to the author.
  g_autoptr(GRegex) place =
      g_regex_new("^\\S*:\\d+:\\d+ ", GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);
  g_autofree char *said =
      g_regex_replace_literal(place, fault->c_str(), -1, 0, "", GRegexMatchFlags(0), nullptr);
  problems.push_back({line, "GTK refuses the layout: " + std::string(said)});
}

} // namespace

std::vector<Problem> check_dialog(XmlTransformer *transformer, const std::string &program,
                                  bool display) {
  std::vector<Problem> problems;
  g_return_val_if_fail(transformer != NULL, problems);
  if (strip(program).empty()) {
    problems.push_back({0, "No XML program payload found."});
    return problems;
  }
  preprocess::set_command_runner(xml_transformer_get_preprocessor(transformer), prints_nothing);
  g_autofree char *layout = xml_transformer_process_and_clean_xml(transformer, program.c_str());
  const DialogExtras &extras = *xml_transformer_get_extras(transformer);
  problems = extras.problems;
  check_commands(extras, problems);
  check_scripts(extras, problems);
  check_names(extras, problems);
  // GTK would take long over such a layout, and the dialog is refused before it sees one.
  if (xml_transformer_get_nesting_depth(transformer) > kMaxNesting)
    problems.push_back({0, "Widgets are nested more than " + std::to_string(kMaxNesting) +
                               " levels deep: the dialog is refused."});
  else
    check_layout(transformer, layout, display, problems);
  std::ranges::stable_sort(problems, {}, &Problem::line);
  return problems;
}

void print_problems(const std::vector<Problem> &problems, FILE *to) {
  for (const Problem &problem : problems)
    fprintf(to, "%d: %s\n", problem.line, problem.text.c_str());
}

} // namespace quillet::app
