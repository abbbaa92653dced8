#include "command_line.h"

#include "common/checks.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace quillet::app {

namespace {

// The value of the long option `option` at argv[i]: after its '=', or the next argument
// (which i then moves past), or empty at the end; nothing for another argument.
std::optional<std::string_view> option_value(std::string_view option, char **argv, int argc,
                                             int &i) {
  const std::string_view arg = argv[i];
  if (arg == option)
    return i + 1 < argc ? argv[++i] : "";
  if (arg.starts_with(option) && arg.substr(option.size()).starts_with('='))
    return arg.substr(option.size() + 1);
  return std::nullopt;
}

// A script that asks for what quillet cannot do hears so at once, not from its own parser
// reading the wrong answer later.
[[noreturn]] void usage_error(const char *format, ...) G_GNUC_PRINTF(1, 2);

void usage_error(const char *format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
  exit(2);
}

} // namespace

CommandLine command_line_parse(char **argv, int argc) {
  CommandLine line;
  g_return_val_if_fail(argv != NULL, line);

  // The banner comes first, as it always has: scripts may look for it.
  if (argc <= 1 || g_str_equal(argv[1], "--help") || g_str_equal(argv[1], "-h")) {
    fputs("quillet v" QUILLET_VERSION " - Native GTK3 Drop-In Replacement\n"
          "Usage: quillet --program NAME [--format FORMAT] [--values FILE] [--debug]\n"
          "       quillet --check --program NAME\n"
          "       quillet --help | --version\n"
          "Shows the dialog whose markup the environment variable NAME holds (or NAME itself,\n"
          "when no variable has that name) and prints what the user entered, for eval.\n"
          "  -p NAME, --program NAME, -p=NAME, --program=NAME   the variable with the dialog\n"
          "  --format FORMAT   the answer for bash (the default), any sh, or json\n"
          "  --values FILE     starting values from an earlier answer (- for standard input)\n"
          "  --debug      explain on standard error how the dialog was loaded and why it ended\n"
          "  --check      show nothing: print the dialog's mistakes, a line each, and end\n"
          "               with status 1 when there is one\n"
          "  -h, --help   print this help\n"
          "  --version    print the version\n"
          "See quillet(1).\n",
          stdout);
    exit(0);
  }
  if (g_str_equal(argv[1], "--version")) {
    fputs("quillet " QUILLET_VERSION "\n", stdout);
    exit(0);
  }

  for (int i = 1; i < argc; i++) {
    const std::string_view arg = argv[i];
    if (arg == "--debug") {
      line.debug = true;
      continue;
    }
    if (arg == "--check") {
      line.check = true;
      continue;
    }
    if (const auto value = option_value("--format", argv, argc, i)) {
      const std::optional<Format> format = format_parse(*value);
      if (!format)
        usage_error("quillet: --format takes bash, sh or json, not '%s'\n", value->data());
      line.format = *format;
      continue;
    }
    if (const auto value = option_value("--values", argv, argc, i)) {
      if (value->empty())
        usage_error("quillet: --values takes a file, or - for standard input\n");
      line.values_file = *value;
      continue;
    }
    std::string_view name;
    if ((arg == "--program" || arg == "-p") && i + 1 < argc)
      name = argv[++i];
    else if (arg.starts_with("--program="))
      name = arg.substr(10);
    else if (arg.starts_with("-p="))
      name = arg.substr(3);
    if (name.empty())
      continue;

    // A name that no variable holds is the program text itself.
    const char *value = g_getenv(name.data());
    line.program = value != nullptr ? value : name;
    line.named_nothing = value != nullptr ? std::string_view() : name;
  }
  return line;
}

} // namespace quillet::app
