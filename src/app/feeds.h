#pragma once

// Feeds: commands whose output lines update a widget while the dialog runs.

#include "quiet.h"
#include "transform/layout.h"

#include <gtk/gtk.h>

#include <memory>
#include <string_view>
#include <vector>

namespace quillet::app {

// What one line does to a widget fed as element `kind`, as that kind says. A carriage return
// at its end and NUL bytes are dropped, invalid UTF-8 made valid. The caller holds a Quiet.
void feed_line(GObject *widget, std::string_view kind, std::string_view line);

// What quillet empties or fills afresh (a refresh, clear:, a form feed) follows its newest row
// again, wherever the user had scrolled: the rows they scrolled to are gone.
void follow_anew(GObject *widget);

class Feeds {
public:
  // Feeds change widgets under a Quiet on `quiet`, which outlives them.
  explicit Feeds(QuietDepth &quiet);
  // Ends every feed still running.
  ~Feeds();
  Feeds(const Feeds &) = delete;
  Feeds &operator=(const Feeds &) = delete;

  // Starts every feed through bash, beside the main loop; a debug line says when each one's
  // output ends.
  void start(GtkBuilder *builder, const std::vector<transform::Feed> &feeds);

  // Ends the feeds of `widget` (on a refresh) and returns them, to be started again.
  std::vector<transform::Feed> end(GObject *widget);

  // Starts `list` again for `widget`, with the environment `envp`.
  void restart(GObject *widget, const std::vector<transform::Feed> &list, char **envp);

  // Ends every feed with its process group and reaps it.
  void stop();

private:
  struct Run;

  void start_one(GObject *widget, const transform::Feed &feed, char **envp);

  QuietDepth &quiet_;
  std::vector<std::unique_ptr<Run>> runs_;
};

} // namespace quillet::app
