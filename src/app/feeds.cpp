#include "feeds.h"

#include "common/children.h"
#include "common/strings.h"
#include "widgets/kinds.h"

#include <gio/gunixinputstream.h>

#include <memory>
#include <string>
#include <string_view>

#include <unistd.h>

namespace quillet::app {

namespace {

// A line that long is taken as it is, so that output without newlines stays bounded.
constexpr size_t kMaxLine = 1 << 20;

struct FeedRun {
  std::string name;
  std::string kind;
  GObject *widget; // owned by the window
  GPid pid = 0;
  GInputStream *stream = nullptr;
  std::string pending; // a line begun but not yet ended
  size_t lines = 0;
  char buffer[65536];
};

struct Feeds {
  std::vector<std::unique_ptr<FeedRun>> runs;
  GCancellable *cancellable = nullptr;
};

Feeds &feeds() {
  static Feeds instance;
  return instance;
}

void apply_line(FeedRun &run, std::string_view raw) {
  run.lines++;
  feed_line(run.widget, run.kind, raw);
}

void read_more(FeedRun &run);

void on_read(GObject *stream, GAsyncResult *result, gpointer data) {
  auto *run = static_cast<FeedRun *>(data);
  g_autoptr(GError) error = nullptr;
  const gssize got = g_input_stream_read_finish(G_INPUT_STREAM(stream), result, &error);
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
    return; // the dialog has ended; run may be gone
  if (got <= 0) {
    // The end: a last line without a newline still counts; the widget stays as it is.
    if (!run->pending.empty())
      apply_line(*run, run->pending);
    run->pending.clear();
    g_debug("The feed of '%s' ended after %zu lines.", run->name.c_str(), run->lines);
    g_input_stream_close(run->stream, nullptr, nullptr);
    return;
  }
  std::string_view chunk(run->buffer, static_cast<size_t>(got));
  for (size_t eol; (eol = chunk.find('\n')) != std::string_view::npos;
       chunk.remove_prefix(eol + 1)) {
    if (run->pending.empty()) {
      apply_line(*run, chunk.substr(0, eol));
    } else {
      run->pending.append(chunk.substr(0, eol));
      apply_line(*run, run->pending);
      run->pending.clear();
    }
  }
  run->pending.append(chunk);
  if (run->pending.size() >= kMaxLine) {
    apply_line(*run, run->pending);
    run->pending.clear();
  }
  read_more(*run);
}

// After layout and redrawing, so that a feed that never pauses cannot keep the window from
// showing what it already has; before a tree view measures its rows in the background,
// which would otherwise come between every two reads.
constexpr int kReadPriority = GDK_PRIORITY_REDRAW + 2;

void read_more(FeedRun &run) {
  g_input_stream_read_async(run.stream, run.buffer, sizeof run.buffer, kReadPriority,
                            feeds().cancellable, on_read, &run);
}

} // namespace

void feed_line(GObject *widget, std::string_view kind, std::string_view raw) {
  g_return_if_fail(widget != NULL);
  if (raw.ends_with('\r'))
    raw.remove_suffix(1);
  std::string text;
  text.reserve(raw.size());
  for (char c : raw)
    if (c != '\0')
      text += c;
  const std::string line = make_valid_utf8(text.c_str());
  if (const widgets::Kind *fed = widgets::kind_of(kind); fed != nullptr && fed->feed != nullptr)
    fed->feed(widget, line);
}

void feeds_start(GtkBuilder *builder, const std::vector<transform::Feed> &list) {
  g_return_if_fail(builder != NULL);
  Feeds &f = feeds();
  if (f.cancellable == nullptr)
    f.cancellable = g_cancellable_new();
  bool stdin_taken = false;
  for (const transform::Feed &feed : list) {
    GObject *widget = gtk_builder_get_object(builder, feed.object_id.c_str());
    if (widget == nullptr)
      continue;
    GPid pid = 0;
    GInputStream *stream = nullptr;
    if (strip(feed.command) == "-") {
      // quillet's own standard input, as `job | quillet` gives it: one widget reads it, as
      // lines split between two would make sense to neither.
      if (stdin_taken) {
        g_debug("The feed of '%s' reads standard input, which another widget reads already: "
                "it is ignored.",
                feed.object_id.c_str());
        continue;
      }
      stdin_taken = true;
      stream = g_unix_input_stream_new(STDIN_FILENO, FALSE);
    } else {
      const char *argv[] = {"bash", "-c", feed.command.c_str(), nullptr};
      int out_fd = -1;
      // Standard input is the null device; what the command says on standard error is not
      // ours. Not reaped until the end: its group id stays its own until then.
      if (!children::spawn(const_cast<char **>(argv), nullptr,
                           GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL), &pid,
                           &out_fd, nullptr))
        continue;
      stream = g_unix_input_stream_new(out_fd, TRUE);
    }
    auto run = std::make_unique<FeedRun>();
    run->name = feed.object_id;
    run->kind = feed.kind;
    run->widget = widget;
    run->pid = pid;
    run->stream = stream;
    read_more(*run);
    f.runs.push_back(std::move(run));
  }
}

std::vector<GPid> feeds_running_pids() {
  std::vector<GPid> pids;
  for (const auto &run : feeds().runs)
    if (run->pid != 0)
      pids.push_back(run->pid);
  return pids;
}

void feeds_stop() {
  Feeds &f = feeds();
  if (f.cancellable != nullptr)
    g_cancellable_cancel(f.cancellable);
  children::end(feeds_running_pids());
  for (const auto &run : f.runs)
    run->pid = 0;
}

} // namespace quillet::app
