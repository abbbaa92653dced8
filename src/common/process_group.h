#pragma once

// Commands quillet starts run in process groups of their own, so that ending one ends
// whatever it started too.

#include <glib.h>

#include <span>

namespace quillet {

// A child-setup function for g_spawn_*: the child leads a new process group.
void join_own_process_group(gpointer unused);

// Ends each command with its whole group: SIGTERM, up to a second's grace for the leaders,
// then SIGKILL for what is left; every leader is reaped. The leaders must not have been
// reaped before (an unreaped leader keeps its group id from being taken by another).
void end_process_groups(std::span<const GPid> leaders);

} // namespace quillet
