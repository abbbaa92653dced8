#pragma once

// The commands quillet starts end with it. Each runs in a process group of its own, known
// while it runs; on SIGTERM, SIGINT or SIGHUP those groups are sent SIGTERM, the temporary
// file being written is removed, and quillet ends as the signal would have ended it.

#include <glib.h>

#include <signal.h>

#include <span>

namespace quillet::children {

// Installs the handlers (a signal ignored at start stays ignored) and ignores SIGPIPE and
// SIGXFSZ, so that a write to a closed pipe or past a size limit fails instead of killing.
// Commands started through spawn() get both back at their defaults.
void install_signal_handlers();

// g_spawn_async_with_pipes with G_SPAWN_DO_NOT_REAP_CHILD added; the child leads a new
// process group, registered before a signal can be handled. `envp` (null for quillet's own
// environment) and `stdout_fd` may be null.
bool spawn(char **argv, char **envp, GSpawnFlags flags, GPid *pid, int *stdout_fd, GError **error);

// Waits for a child from spawn() to end, forgets its group, and returns its wait status.
int wait(GPid pid);

// Forgets the group of a child that a GLib child watch has reaped.
void forget(GPid pid);

// Ends each child with its whole group: SIGTERM, up to a second's grace for the leaders,
// then SIGKILL for what is left (whatever a leader started and left behind too); then every
// leader is forgotten and reaped.
void end(std::span<const GPid> leaders);

// The temporary file removed on a signal while it is being written; null when there is none.
void set_temp_file(const char *path);

// Holds back the handled signals while it lives.
class SignalsHeld {
public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld &) = delete;
  SignalsHeld &operator=(const SignalsHeld &) = delete;

private:
  sigset_t saved_;
};

} // namespace quillet::children
