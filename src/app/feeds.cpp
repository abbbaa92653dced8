#include "feeds.h"

#include "common/children.h"
#include "common/output.h"
#include "common/strings.h"
#include "quiet.h"
#include "widgets/kinds.h"

#include <gio/gunixinputstream.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include <unistd.h>

namespace quillet::app {

struct Feeds::Run {
  transform::Feed feed;
  GObject *widget; // owned by the window
  std::unique_ptr<output::Reader> reader;
};

namespace {

// A longer line is cut there, on a character boundary, and the rest of it dropped, so that
// output without newlines stays bounded.
constexpr size_t kMaxLine = 1 << 20;

// After layout and redrawing, so that a feed that never pauses cannot keep the window from
// showing what it already has; before a tree view measures its rows in the background,
// which would otherwise come between every two reads.
constexpr int kReadPriority = GDK_PRIORITY_REDRAW + 2;

// Object data on a fed view's adjustment: where its place stands with the user.
enum class Place {
  kFollowing = 0, // at the end, following the newest row
  kAway,          // the user has scrolled away from the end
  kEmptied,       // quillet has emptied it, and it has not measured its rows since
};
constexpr const char *kPlaceKey = "quillet-place";
// Object data on a view's adjustment once it follows its feed, which a refresh starts again.
constexpr const char *kFollowedKey = "quillet-follows-feed";

Place place_of(GtkAdjustment *adjustment) {
  return static_cast<Place>(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(adjustment), kPlaceKey)));
}

void set_place(GtkAdjustment *adjustment, Place place) {
  g_object_set_data(G_OBJECT(adjustment), kPlaceKey, GINT_TO_POINTER(static_cast<int>(place)));
}

// Between the emptying and the view's measuring what it holds, its place moves as the view
// settles (to the top, with the old bounds): no scroll of the user's.
void on_scrolled(GtkAdjustment *adjustment, gpointer) {
  if (place_of(adjustment) == Place::kEmptied)
    return;
  const bool away =
      gtk_adjustment_get_value(adjustment) + gtk_adjustment_get_page_size(adjustment) <
      gtk_adjustment_get_upper(adjustment) - 1;
  set_place(adjustment, away ? Place::kAway : Place::kFollowing);
}

void on_grown(GtkAdjustment *adjustment, gpointer) {
  if (place_of(adjustment) == Place::kAway)
    return;
  set_place(adjustment, Place::kFollowing);
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

} // namespace

void follow_anew(GObject *widget) {
  g_return_if_fail(G_IS_OBJECT(widget));
  GtkAdjustment *adjustment =
      GTK_IS_SCROLLABLE(widget) ? gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(widget)) : nullptr;
  if (adjustment == nullptr || g_object_get_data(G_OBJECT(adjustment), kFollowedKey) == nullptr)
    return;
  // A scroll still under way (to a row the keys moved to) is to rows that are gone: it stops
  // where it is.
  gtk_adjustment_set_value(adjustment, gtk_adjustment_get_value(adjustment));
  set_place(adjustment, Place::kEmptied);
}

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
  // A form feed alone on its line starts the widget over: the lines after it replace what it
  // shows.
  if (line == "\f" && fed->clear != nullptr) {
    fed->clear(widget);
    follow_anew(widget);
  } else if (fed->feed != nullptr)
    fed->feed(widget, line);
}

Feeds::Feeds(QuietDepth &quiet) : quiet_(quiet) {}

Feeds::~Feeds() {
  stop();
}

void Feeds::start_one(GObject *widget, const transform::Feed &feed, char **envp) {
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
  auto run = std::make_unique<Run>();
  run->feed = feed;
  run->widget = widget;
  const Run *fed = run.get();
  const char *id = fed->feed.object_id.c_str();
  output::Reader::Handlers handlers{
      .line =
          [fed, id, &depth = quiet_](std::string_view line, bool cut) {
            if (cut)
              g_debug("A line of the feed of '%s' was cut to %zu bytes (a line holds at most %zu).",
                      id, line.size(), kMaxLine);
            Quiet quiet(depth);
            feed_line(fed->widget, fed->feed.kind, line);
          },
      // The widget stays as it is. A feed that has ended is forgotten at once; what it left
      // running is ended at the end.
      .ended =
          [fed, id](bool past) {
            const output::Bound &bound = fed->reader->bound();
            if (!past)
              g_debug("The feed of '%s' ended after %zu lines.", id, bound.lines());
            else
              g_debug("The feed of '%s' was ended after %zu lines, %zu bytes (at most %zu lines or "
                      "%zu bytes are read).",
                      id, bound.lines(), bound.bytes(), output::kMaxLines, output::kMaxBytes);
          },
  };
  run->reader =
      std::make_unique<output::Reader>(stream, pid, kReadPriority, kMaxLine, std::move(handlers));
  runs_.push_back(std::move(run));
}

void Feeds::start(GtkBuilder *builder, const std::vector<transform::Feed> &list) {
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
    start_one(widget, feed, nullptr);
  }
}

std::vector<transform::Feed> Feeds::end(GObject *widget) {
  g_return_val_if_fail(widget != NULL, std::vector<transform::Feed>());
  std::vector<transform::Feed> ended;
  std::vector<GPid> pids;
  std::vector<std::unique_ptr<Run>> kept;
  for (std::unique_ptr<Run> &run : runs_) {
    if (run->widget != widget) {
      kept.push_back(std::move(run));
      continue;
    }
    ended.push_back(run->feed);
    if (const GPid pid = run->reader->release())
      pids.push_back(pid);
  }
  // What the ended ones read from now on is of the feed before the refresh: it is not read.
  runs_ = std::move(kept);
  children::end(pids);
  return ended;
}

void Feeds::restart(GObject *widget, const std::vector<transform::Feed> &list, char **envp) {
  g_return_if_fail(widget != NULL);
  for (const transform::Feed &feed : list)
    start_one(widget, feed, envp);
}

void Feeds::stop() {
  std::vector<GPid> pids;
  for (const std::unique_ptr<Run> &run : runs_)
    if (const GPid pid = run->reader->release())
      pids.push_back(pid);
  runs_.clear();
  children::end(pids);
}

} // namespace quillet::app
