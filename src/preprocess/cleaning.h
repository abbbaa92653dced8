#pragma once

// The single steps of cleaning, each callable on its own.

#include <string>
#include <string_view>

namespace quillet::preprocess {

// Runs an input command and returns what it printed on standard output. The program runs
// bash; a fuzzer swaps in a stand-in so that arbitrary input never reaches a shell.
using CommandRunner = std::string (*)(const std::string &command);
void set_command_runner(CommandRunner runner);
// Reads at most kMaxInputLines lines or kMaxInputBytes bytes, whichever comes first, and then
// ends the command with its process group; NUL bytes are dropped.
std::string run_with_bash(const std::string &command);
inline constexpr size_t kMaxInputLines = 100000;
inline constexpr size_t kMaxInputBytes = 16 * 1024 * 1024;

// One "<item>…</item>\n" line per non-empty output line, its text stripped and XML-escaped.
std::string items_from_output(std::string_view output);

// A newline before every '<' and every ampersand that begins no reference escaped.
std::string split_tags_and_escape(std::string_view markup);

} // namespace quillet::preprocess
