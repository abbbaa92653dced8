#pragma once

// The commands quillet starts end with it. Each runs in a session of its own (its own process
// group, no controlling terminal), known while it runs. On SIGTERM, SIGINT or SIGHUP, and when
// the dialog ends, those groups and whatever was left to quillet by processes that ended (it
// is their subreaper, and reaps it as it ends) are sent SIGTERM, then SIGKILL after a short
// grace; the temporary file being written is removed, and quillet ends as the signal would
// have ended it. What an action leaves running in its own group is meant to outlive the
// dialog and is left alone.

#include <glib.h>

#include <span>

namespace quillet::children {

// Installs the handlers (a signal ignored at start stays ignored), makes quillet the reaper of
// what its commands leave behind, and ignores SIGPIPE and SIGXFSZ, so that a write to a closed
// pipe or past a size limit fails instead of killing. Commands started through spawn() get
// both back at their defaults.
void install_signal_handlers();

// With no session bus to be found, GLib and libdbus would start one for the display when
// first asked (GTK's accessibility bridge asks at once), and it would outlive quillet. Gives
// quillet an address that connects to nothing instead; commands never see it. Accessibility
// still finds its own bus through AT_SPI_BUS_ADDRESS or the display.
void keep_bus_from_starting();

// g_spawn_async_with_pipes with G_SPAWN_DO_NOT_REAP_CHILD added; the child leads a new
// session, registered before a signal can be handled, and is killed if quillet dies. `envp`
// (null for quillet's own environment) and `stdout_fd` may be null.
bool spawn(char **argv, char **envp, GSpawnFlags flags, GPid *pid, int *stdout_fd, GError **error);

// Waits for a child from spawn() to end, forgets its group, and returns its wait status. A
// child that stops instead can never finish on its own: it is ended with its group.
int wait(GPid pid);

// Forgets the group of a child that a GLib child watch has reaped. What it left to quillet is
// reaped as it ends from now on.
void forget(GPid pid);

// After forget(): what the ended leader left running in its session is its background work,
// which ends on its own rather than with quillet.
void keep_background(GPid leader);

// Ends each child with its whole group: SIGTERM, up to a second's grace for the leaders,
// then SIGKILL for what is left (whatever a leader started and left behind too); then every
// leader is forgotten and reaped.
void end(std::span<const GPid> leaders);

// Ends every group still known and everything else left under quillet but actions' background
// work, as end() does, and removes the temporary file. Async-signal-safe.
void end_all();

// end_all() at the end of the run, once nothing is watched any more: no GLib child watch is
// left to a process that end_all() reaps.
void end_at_last();

// Once the answer is out (or has failed), a handled signal ends the children and then quillet
// with this status rather than as the signal would.
void set_exit_status(int status);

// Names the temporary file a signal removes, from before it is created until take_temp_file();
// false for a path too long to be kept, which no signal removes.
bool set_temp_file(const char *path);
// Takes the name back: false when a signal has taken it first, which removes the file and ends
// quillet.
bool take_temp_file();

} // namespace quillet::children
