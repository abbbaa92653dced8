#pragma once

// What a command prints, read within bounds, one rule for every reader: input commands as the
// dialog starts and on a refresh, feeds while it runs. NUL bytes are no text and count for
// nothing. Lines are read until a byte comes after kMaxLines lines or after kMaxBytes bytes:
// the output has then gone past the bounds, the line begun is not one of the lines read, and
// the command is ended with its process group. A command that prints no more than that is
// read whole.

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillet::output {

inline constexpr size_t kMaxLines = 100000;
inline constexpr size_t kMaxBytes = 16 * 1024 * 1024;

// A line read, without its newline; `cut` when it was longer than the reader takes a line and
// lost its end.
using LineFunc = std::function<void(std::string_view line, bool cut)>;

// The rule, without the reading: bytes in, lines out.
class Bound {
public:
  // A line longer than `longest` bytes is cut on a character boundary, the rest of it dropped,
  // so that output without newlines stays small too.
  explicit Bound(size_t longest = SIZE_MAX, size_t most_lines = kMaxLines,
                 size_t most_bytes = kMaxBytes);

  // Reads `chunk` on, giving `line` each line it ends. False once the output has gone past the
  // bounds: nothing more is read.
  bool take(std::string_view chunk, const LineFunc &line);
  // The output has ended: a line begun is one of the lines read.
  void finish(const LineFunc &line);

  size_t lines() const { return lines_; }
  // The bytes of the lines read, their newlines included.
  size_t bytes() const { return line_bytes_; }
  bool past() const { return past_; }

private:
  void give(const LineFunc &line);

  size_t longest_, most_lines_, most_bytes_;
  std::string begun_; // no longer than longest_ + 1: enough to cut it on a boundary
  size_t lines_ = 0, bytes_ = 0, line_bytes_ = 0;
  bool past_ = false;
};

// A command's output read beside the main loop, line by line, within the bounds.
class Reader {
public:
  struct Handlers {
    LineFunc line; // must not destroy the reader
    // The line begun when the output ended, where it is read apart from the others.
    LineFunc last = nullptr;
    // The output has ended, or has gone past the bounds (`past`): the reader has then ended
    // its command with its group. The last call: the reader may be destroyed in it.
    std::function<void(bool past)> ended;
    // The command's leader has ended and is reaped: its wait status. The reader may be
    // destroyed in it.
    std::function<void(int wait_status)> exited = nullptr;
  };

  // Reads `stream`, which it takes, at `priority`, lines of at most `longest` bytes. `leader`
  // leads the command that prints it (0 for none): watched from now on.
  Reader(GInputStream *stream, GPid leader, int priority, size_t longest, Handlers handlers);
  // Reads no more; a leader still running is ended with its group.
  ~Reader();
  Reader(const Reader &) = delete;
  Reader &operator=(const Reader &) = delete;

  // The leader still running, or 0, no longer watched: the caller's to end from now on, so
  // that several commands can be ended with one grace.
  GPid release();
  const Bound &bound() const { return bound_; }

private:
  static void on_read(GObject *source, GAsyncResult *result, gpointer data);
  static void on_exited(GPid pid, int wait_status, gpointer data);
  void read_more();
  void took(GBytes *bytes);

  GInputStream *stream_;
  GCancellable *cancellable_;
  GPid leader_;
  guint watch_ = 0;
  int priority_;
  Bound bound_;
  Handlers handlers_;
};

// Input commands: `bash -c COMMAND` with `envp` (null for quillet's own), its output read
// whole. With --debug a line says when one could not start, failed or went past the bounds.

// Runs it, the main loop waiting: what it printed.
std::string run_input(const std::string &command, char **envp);

// Runs it beside the main loop; `done` gets what it printed once it has ended.
class InputRun {
  struct Key {}; // only start() makes a run

public:
  using Done = std::function<void(std::string output)>;
  // Null when it could not start. `done` may destroy the run.
  static std::unique_ptr<InputRun> start(const std::string &command, char **envp, Done done);
  InputRun(Key, std::string command, Done done);
  InputRun(const InputRun &) = delete;
  InputRun &operator=(const InputRun &) = delete;

private:
  void finish();

  std::string command_;
  Done done_;
  std::string output_;
  std::optional<int> wait_status_; // once its leader has ended
  bool read_ = false;              // once its output has ended
  std::unique_ptr<Reader> reader_;
};

} // namespace quillet::output
