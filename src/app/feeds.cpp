#include "feeds.h"

#include "common/children.h"
#include "quiet.h"
#include "common/strings.h"
#include "preprocess/cleaning.h"
#include "widgets/kinds.h"

#include <gio/gunixinputstream.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include <unistd.h>

namespace quillet::app {

namespace {

// A longer line is cut there, on a character boundary, and the rest of it dropped, so that
// output without newlines stays bounded.
constexpr size_t kMaxLine = 1 << 20;
using preprocess::kMaxInputBytes;
using preprocess::kMaxInputLines;

struct FeedRun {
  transform::Feed feed;
  GObject *widget; // owned by the window
  GPid pid = 0;
  guint watch = 0;
  GInputStream *stream = nullptr;
  GCancellable *cancellable = g_cancellable_new();
  std::string pending; // a line begun but not yet ended, no longer than kMaxLine + 4
  size_t lines = 0;
  size_t bytes = 0;
  // Ended before the dialog, to start again: it goes once its last read has come back.
  bool retired = false;
  char buffer[65536];

  ~FeedRun() {
    g_clear_object(&stream);
    g_clear_object(&cancellable);
  }
};

struct Feeds {
  std::vector<std::unique_ptr<FeedRun>> runs;
};

Feeds &feeds() {
  static Feeds instance;
  return instance;
}

void apply_line(FeedRun &run, std::string_view line) {
  if (line.size() > kMaxLine) {
    line = line.substr(0, utf8_fit(line, kMaxLine));
    g_debug("A line of the feed of '%s' was cut to %zu bytes (a line holds at most %zu).",
            run.feed.object_id.c_str(), line.size(), kMaxLine);
  }
  run.lines++;
  feed_line(run.widget, run.feed.kind, line);
}

// Keeps what the line cut at kMaxLine needs to be cut on a character boundary.
void keep(FeedRun &run, std::string_view part) {
  run.pending.append(part.substr(0, std::min(part.size(), kMaxLine + 4 - run.pending.size())));
}

// The leader has ended (and GLib has reaped it): its entry is free.
void on_feed_ended(GPid pid, gint, gpointer data) {
  auto *run = static_cast<FeedRun *>(data);
  children::forget(pid);
  g_spawn_close_pid(pid);
  run->pid = 0;
  run->watch = 0;
}

// Ends the feed's command with its group, and reads no more of it.
void stop_run(FeedRun &run) {
  if (run.pid == 0)
    return;
  g_source_remove(run.watch);
  const GPid leader[] = {run.pid};
  children::end(leader);
  run.pid = 0;
  run.watch = 0;
}

void read_more(FeedRun &run);

void on_read(GObject *stream, GAsyncResult *result, gpointer data) {
  auto *run = static_cast<FeedRun *>(data);
  g_autoptr(GError) error = nullptr;
  const gssize got = g_input_stream_read_finish(G_INPUT_STREAM(stream), result, &error);
  if (run->retired) {
    delete run; // what it read is of the feed before a refresh
    return;
  }
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
    return; // the dialog has ended; run may be gone
  if (got <= 0) {
    // The end: a last line without a newline still counts; the widget stays as it is.
    if (!run->pending.empty())
      apply_line(*run, run->pending);
    run->pending.clear();
    g_debug("The feed of '%s' ended after %zu lines.", run->feed.object_id.c_str(), run->lines);
    g_input_stream_close(run->stream, nullptr, nullptr);
    return;
  }
  std::string_view chunk(run->buffer, static_cast<size_t>(got));
  for (size_t eol; !chunk.empty(); chunk.remove_prefix(eol + 1)) {
    eol = chunk.find('\n');
    const std::string_view part = chunk.substr(0, eol);
    run->bytes += eol == std::string_view::npos ? part.size() : eol + 1;
    if (eol == std::string_view::npos) {
      keep(*run, part);
      break;
    }
    if (run->pending.empty()) {
      apply_line(*run, part);
    } else {
      keep(*run, part);
      apply_line(*run, run->pending);
      run->pending.clear();
    }
    if (run->lines >= kMaxInputLines || run->bytes >= kMaxInputBytes)
      break;
  }
  // As much as an input command may print: more would only fill memory. A line begun is
  // not one of the lines read.
  if (run->lines >= kMaxInputLines || run->bytes >= kMaxInputBytes) {
    stop_run(*run);
    g_debug("The feed of '%s' was ended after %zu lines, %zu bytes (at most %zu lines or %zu "
            "bytes are read).",
            run->feed.object_id.c_str(), run->lines, run->bytes, kMaxInputLines, kMaxInputBytes);
    run->pending.clear();
    g_input_stream_close(run->stream, nullptr, nullptr);
    return;
  }
  read_more(*run);
}

// After layout and redrawing, so that a feed that never pauses cannot keep the window from
// showing what it already has; before a tree view measures its rows in the background,
// which would otherwise come between every two reads.
constexpr int kReadPriority = GDK_PRIORITY_REDRAW + 2;

void read_more(FeedRun &run) {
  g_input_stream_read_async(run.stream, run.buffer, sizeof run.buffer, kReadPriority,
                            run.cancellable, on_read, &run);
}

// Object data on a fed view's adjustment: set while the user has scrolled away from the end.
constexpr const char *kAwayKey = "quillet-away-from-end";
// Object data on a view's adjustment once it follows its feed, which a refresh starts again.
constexpr const char *kFollowedKey = "quillet-follows-feed";

void on_scrolled(GtkAdjustment *adjustment, gpointer) {
  const bool away =
      gtk_adjustment_get_value(adjustment) + gtk_adjustment_get_page_size(adjustment) <
      gtk_adjustment_get_upper(adjustment) - 1;
  g_object_set_data(G_OBJECT(adjustment), kAwayKey, GINT_TO_POINTER(away));
}

void on_grown(GtkAdjustment *adjustment, gpointer) {
  if (g_object_get_data(G_OBJECT(adjustment), kAwayKey) == nullptr)
    gtk_adjustment_set_value(adjustment, gtk_adjustment_get_upper(adjustment) -
                                             gtk_adjustment_get_page_size(adjustment));
}

// A fed view that scrolls (a list) follows its newest row, unless the user has scrolled away
// from the end; back there, it follows again.
void follow_end(GObject *widget) {
  if (!GTK_IS_SCROLLABLE(widget))
    return;
  GtkAdjustment *adjustment = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(widget));
  if (adjustment == nullptr || g_object_get_data(G_OBJECT(adjustment), kFollowedKey) != nullptr)
    return;
  g_object_set_data(G_OBJECT(adjustment), kFollowedKey, GINT_TO_POINTER(TRUE));
  g_signal_connect(adjustment, "value-changed", G_CALLBACK(on_scrolled), nullptr);
  g_signal_connect(adjustment, "changed", G_CALLBACK(on_grown), nullptr);
}

void start(GObject *widget, const transform::Feed &feed, char **envp) {
  GPid pid = 0;
  GInputStream *stream = nullptr;
  if (strip(feed.command) == "-") {
    // quillet's own standard input, as `job | quillet` gives it; left open for a restart.
    stream = g_unix_input_stream_new(STDIN_FILENO, FALSE);
  } else {
    const char *argv[] = {"bash", "-c", feed.command.c_str(), nullptr};
    int out_fd = -1;
    // Standard input is the null device; what the command says on standard error is not
    // ours.
    if (!children::spawn(const_cast<char **>(argv), envp,
                         GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL), &pid,
                         &out_fd, nullptr))
      return;
    stream = g_unix_input_stream_new(out_fd, TRUE);
  }
  follow_end(widget);
  auto run = std::make_unique<FeedRun>();
  run->feed = feed;
  run->widget = widget;
  run->pid = pid;
  // A feed that has ended is forgotten at once; what it left running is ended at the end.
  if (pid != 0)
    run->watch = g_child_watch_add(pid, on_feed_ended, run.get());
  run->stream = stream;
  read_more(*run);
  feeds().runs.push_back(std::move(run));
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
  const widgets::Kind *fed = widgets::kind_of(kind);
  if (fed == nullptr)
    return;
  Quiet quiet;
  // A form feed alone on its line starts the widget over: the lines after it replace what it
  // shows.
  if (line == "\f" && fed->clear != nullptr)
    fed->clear(widget);
  else if (fed->feed != nullptr)
    fed->feed(widget, line);
}

void feeds_start(GtkBuilder *builder, const std::vector<transform::Feed> &list) {
  g_return_if_fail(builder != NULL);
  bool stdin_taken = false;
  for (const transform::Feed &feed : list) {
    GObject *widget = gtk_builder_get_object(builder, feed.object_id.c_str());
    if (widget == nullptr)
      continue;
    // quillet's own standard input: one widget reads it, as lines split between two would
    // make sense to neither.
    if (strip(feed.command) == "-") {
      if (stdin_taken) {
        g_debug("The feed of '%s' reads standard input, which another widget reads already: "
                "it is ignored.",
                feed.object_id.c_str());
        continue;
      }
      stdin_taken = true;
    }
    start(widget, feed, nullptr);
  }
}

std::vector<transform::Feed> feeds_end(GObject *widget) {
  g_return_val_if_fail(widget != NULL, std::vector<transform::Feed>());
  std::vector<transform::Feed> ended;
  std::vector<GPid> pids;
  auto &runs = feeds().runs;
  for (auto &run : runs) {
    if (run->widget != widget)
      continue;
    ended.push_back(run->feed);
    if (run->watch != 0)
      g_source_remove(run->watch);
    run->watch = 0;
    if (run->pid != 0)
      pids.push_back(run->pid);
    run->pid = 0;
    run->retired = true;
    g_cancellable_cancel(run->cancellable);
    // Its read in flight still has it: the read's end deletes it. One whose stream is
    // closed has no read in flight.
    if (!g_input_stream_is_closed(run->stream))
      (void)run.release();
  }
  std::erase_if(runs, [](const auto &run) { return run == nullptr || run->retired; });
  children::end(pids);
  return ended;
}

void feeds_restart(GObject *widget, const std::vector<transform::Feed> &list, char **envp) {
  g_return_if_fail(widget != NULL);
  for (const transform::Feed &feed : list)
    start(widget, feed, envp);
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
  for (const auto &run : f.runs) {
    g_cancellable_cancel(run->cancellable);
    if (run->watch != 0) {
      g_source_remove(run->watch);
      run->watch = 0;
    }
  }
  children::end(feeds_running_pids());
  for (const auto &run : f.runs)
    run->pid = 0;
}

} // namespace quillet::app
