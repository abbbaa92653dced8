#include "output.h"

#include "common/checks.h"

#include "children.h"
#include "strings.h"

#include <gio/gunixinputstream.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <unistd.h>

namespace quillet::output {

namespace {

constexpr size_t kChunk = 65536;
constexpr std::string_view kStops("\n\0", 2);

void say_past(const Bound &bound, const std::string &command) {
  g_debug("Input command output cut after %zu lines, %zu bytes (at most %zu lines or %zu bytes "
          "are read); the command was ended: %s",
          bound.lines(), bound.bytes(), kMaxLines, kMaxBytes, command.c_str());
}

void say_failed(int wait_status, const std::string &command) {
  g_autoptr(GError) error = nullptr;
  if (!g_spawn_check_wait_status(wait_status, &error))
    g_debug("Input command failed: %s: %s", command.c_str(), error->message);
}

// Standard input is the null device, and what it says on standard error is not ours.
bool spawn_input(const std::string &command, char **envp, GPid *pid, int *out_fd) {
  const char *argv[] = {"bash", "-c", command.c_str(), nullptr};
  g_autoptr(GError) error = nullptr;
  if (children::spawn(const_cast<char **>(argv), envp,
                      GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL), pid, out_fd,
                      &error))
    return true;
  g_debug("Input command could not start: %s: %s", command.c_str(), error->message);
  return false;
}

} // namespace

Bound::Bound(size_t longest, size_t most_lines, size_t most_bytes)
    : longest_(longest), most_lines_(most_lines), most_bytes_(most_bytes) {}

bool Bound::take(std::string_view chunk, const LineFunc &line) {
  while (!past_ && !chunk.empty()) {
    if (chunk.front() == '\0') {
      chunk.remove_prefix(1);
      continue;
    }
    if (lines_ == most_lines_ || bytes_ == most_bytes_) {
      past_ = true;
      begun_.clear();
      break;
    }
    if (chunk.front() == '\n') {
      chunk.remove_prefix(1);
      bytes_++;
      lines_++;
      line_bytes_ = bytes_;
      give(line);
      continue;
    }
    const size_t text = std::min({chunk.find_first_of(kStops), chunk.size(), most_bytes_ - bytes_});
    const size_t room = longest_ == SIZE_MAX ? SIZE_MAX : longest_ + 1 - begun_.size();
    begun_.append(chunk.substr(0, std::min(text, room)));
    bytes_ += text;
    chunk.remove_prefix(text);
  }
  return !past_;
}

void Bound::finish(const LineFunc &line) {
  if (past_ || begun_.empty())
    return;
  lines_++;
  line_bytes_ = bytes_;
  give(line);
}

void Bound::give(const LineFunc &line) {
  const size_t fit = utf8_fit(begun_, longest_);
  line(std::string_view(begun_).substr(0, fit), fit < begun_.size());
  begun_.clear();
}

Reader::Reader(GInputStream *stream, GPid leader, int priority, size_t longest, Handlers handlers)
    : stream_(stream), cancellable_(g_cancellable_new()), leader_(leader), priority_(priority),
      bound_(longest), handlers_(std::move(handlers)) {
  // The leader is reaped as soon as it ends: what it started may print on.
  if (leader_ != 0)
    watch_ = g_child_watch_add(leader_, on_exited, this);
  read_more();
}

Reader::~Reader() {
  g_cancellable_cancel(cancellable_);
  if (const GPid leader = release()) {
    const GPid leaders[] = {leader};
    children::end(leaders);
  }
  g_object_unref(stream_);
  g_object_unref(cancellable_);
}

GPid Reader::release() {
  if (watch_ != 0)
    g_source_remove(std::exchange(watch_, 0));
  return std::exchange(leader_, 0);
}

void Reader::read_more() {
  g_input_stream_read_bytes_async(stream_, kChunk, priority_, cancellable_, on_read, this);
}

void Reader::on_read(GObject *source, GAsyncResult *result, gpointer data) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GBytes) bytes =
      g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, &error);
  // Only a reader that is gone has cancelled its read: `data` is then not to be touched.
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
    return;
  static_cast<Reader *>(data)->took(bytes);
}

void Reader::took(GBytes *bytes) {
  gsize size = 0;
  const char *data =
      bytes != nullptr ? static_cast<const char *>(g_bytes_get_data(bytes, &size)) : nullptr;
  // A read that fails ends the output as its end does.
  if (size == 0) {
    bound_.finish(handlers_.last ? handlers_.last : handlers_.line);
    g_input_stream_close(stream_, nullptr, nullptr);
    handlers_.ended(false);
    return;
  }
  if (bound_.take(std::string_view(data, size), handlers_.line)) {
    read_more();
    return;
  }
  if (const GPid leader = release()) {
    const GPid leaders[] = {leader};
    children::end(leaders);
  }
  g_input_stream_close(stream_, nullptr, nullptr);
  handlers_.ended(true);
}

void Reader::on_exited(GPid pid, int wait_status, gpointer data) {
  auto *self = static_cast<Reader *>(data);
  self->watch_ = 0;
  self->leader_ = 0;
  children::forget(pid);
  g_spawn_close_pid(pid);
  if (self->handlers_.exited)
    self->handlers_.exited(wait_status);
}

std::string run_input(const std::string &command, char **envp) {
  GPid pid = 0;
  int out_fd = -1;
  // A command that cannot start counts as one that printed nothing.
  if (!spawn_input(command, envp, &pid, &out_fd))
    return {};
  std::string output;
  const LineFunc line = [&](std::string_view text, bool) {
    output.append(text);
    output += '\n';
  };
  Bound bound;
  char chunk[kChunk];
  for (ssize_t got; (got = read(out_fd, chunk, sizeof chunk)) != 0;) {
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0 || !bound.take(std::string_view(chunk, static_cast<size_t>(got)), line))
      break;
  }
  close(out_fd);
  if (bound.past()) {
    const GPid leaders[] = {pid};
    children::end(leaders);
    say_past(bound, command);
    return output;
  }
  bound.finish([&](std::string_view text, bool) { output.append(text); });
  say_failed(children::wait(pid), command);
  return output;
}

InputRun::InputRun(Key, std::string command, Done done)
    : command_(std::move(command)), done_(std::move(done)) {}

std::unique_ptr<InputRun> InputRun::start(const std::string &command, char **envp, Done done) {
  GPid pid = 0;
  int out_fd = -1;
  if (!spawn_input(command, envp, &pid, &out_fd))
    return nullptr;
  auto run = std::make_unique<InputRun>(Key{}, command, std::move(done));
  InputRun *self = run.get();
  Reader::Handlers handlers{
      .line =
          [self](std::string_view text, bool) {
            self->output_.append(text);
            self->output_ += '\n';
          },
      .last = [self](std::string_view text, bool) { self->output_.append(text); },
      .ended =
          [self](bool past) {
            self->read_ = true;
            if (past)
              say_past(self->reader_->bound(), self->command_);
            self->finish();
          },
      .exited =
          [self](int wait_status) {
            self->wait_status_ = wait_status;
            self->finish();
          },
  };
  run->reader_ = std::make_unique<Reader>(g_unix_input_stream_new(out_fd, TRUE), pid,
                                          G_PRIORITY_DEFAULT, SIZE_MAX, std::move(handlers));
  return run;
}

// Once the output has ended and the leader with it, or the output went past the bounds (the
// command was then ended).
void InputRun::finish() {
  const bool past = reader_->bound().past();
  if (!read_ || (!past && !wait_status_))
    return;
  if (!past)
    say_failed(*wait_status_, command_);
  Done done = std::move(done_);
  done(std::move(output_));
}

} // namespace quillet::output
