#pragma once

// Feeds: commands whose output lines update a widget while the dialog runs.

#include "transform/layout.h"

#include <gtk/gtk.h>

#include <string_view>
#include <vector>

namespace quillet::app {

// Starts every feed through bash, beside the main loop; a debug line says when each one's
// output ends.
void feeds_start(GtkBuilder *builder, const std::vector<transform::Feed> &feeds);

// Ends the feeds of `widget` (on a refresh) and returns them, to be started again.
std::vector<transform::Feed> feeds_end(GObject *widget);

// Starts `list` again for `widget`, with the environment `envp`.
void feeds_restart(GObject *widget, const std::vector<transform::Feed> &list, char **envp);

// What one line does to a widget fed as element `kind`, as that kind says. A carriage return
// at its end and NUL bytes are dropped, invalid UTF-8 made valid.
void feed_line(GObject *widget, std::string_view kind, std::string_view line);

// Ends every feed with its process group and reaps it.
void feeds_stop();

// The processes started as feeds and not yet reaped.
std::vector<GPid> feeds_running_pids();

} // namespace quillet::app
