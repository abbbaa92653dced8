#include "children.h"

#include "common/checks.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include <sys/wait.h>
#include <unistd.h>

namespace quillet::children {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Written by the main thread with the signals held, read by the handler: fixed storage only.
constexpr size_t kMaxGroups = 64;
volatile sig_atomic_t groups[kMaxGroups];
char temp_path[PATH_MAX];
volatile sig_atomic_t temp_set = 0;

void on_signal(int signal_number) {
  const int saved_errno = errno;
  for (size_t i = 0; i < kMaxGroups; i++)
    if (groups[i] > 0)
      kill(-static_cast<pid_t>(groups[i]), SIGTERM);
  if (temp_set)
    unlink(temp_path);
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal_number, &fallback, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal_number);
  sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  raise(signal_number);
  errno = saved_errno;
}

sigset_t handled_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals)
    sigaddset(&set, s);
  return set;
}

// In the child, before exec: a group of its own, and the dispositions and mask it would
// have had without quillet.
void child_setup(gpointer) {
  setpgid(0, 0);
  signal(SIGPIPE, SIG_DFL);
  signal(SIGXFSZ, SIG_DFL);
  const sigset_t set = handled_signals();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

} // namespace

void install_signal_handlers() {
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);
  struct sigaction action = {};
  action.sa_handler = on_signal;
  action.sa_flags = SA_RESTART;
  action.sa_mask = handled_signals();
  for (int s : kSignals) {
    struct sigaction old = {};
    if (sigaction(s, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
      sigaction(s, &action, nullptr);
  }
}

SignalsHeld::SignalsHeld() {
  const sigset_t set = handled_signals();
  sigprocmask(SIG_BLOCK, &set, &saved_);
}

SignalsHeld::~SignalsHeld() {
  sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

bool spawn(char **argv, char **envp, GSpawnFlags flags, GPid *pid, int *stdout_fd, GError **error) {
  g_return_val_if_fail(argv != NULL, false);
  g_return_val_if_fail(pid != NULL, false);

  SignalsHeld held;
  if (!g_spawn_async_with_pipes(nullptr, argv, envp, GSpawnFlags(flags | G_SPAWN_DO_NOT_REAP_CHILD),
                                child_setup, nullptr, pid, nullptr, stdout_fd, nullptr, error))
    return false;
  // The child has run child_setup once the spawn returns; this only makes sure.
  setpgid(*pid, *pid);
  for (auto &group : groups)
    if (group == 0) {
      group = *pid;
      break;
    }
  return true;
}

void forget(GPid pid) {
  SignalsHeld held;
  for (auto &group : groups)
    if (group == pid)
      group = 0;
}

int wait(GPid pid) {
  // Reaped only once forgotten: until then the group's number cannot be handed out again.
  siginfo_t info;
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR)
    ;
  forget(pid);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
    ;
  return status;
}

namespace {

// Whether the leader has ended, leaving it unreaped.
bool has_ended(GPid leader) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(leader), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
         info.si_pid == leader;
}

} // namespace

void end(std::span<const GPid> leaders) {
  for (GPid leader : leaders)
    killpg(leader, SIGTERM);
  const gint64 deadline = g_get_monotonic_time() + G_USEC_PER_SEC;
  for (GPid leader : leaders)
    while (!has_ended(leader) && g_get_monotonic_time() < deadline)
      g_usleep(5000);
  for (GPid leader : leaders) {
    killpg(leader, SIGKILL);
    forget(leader);
    while (waitpid(leader, nullptr, 0) < 0 && errno == EINTR)
      ;
  }
}

void set_temp_file(const char *path) {
  SignalsHeld held;
  temp_set = 0;
  if (path != nullptr && g_strlcpy(temp_path, path, sizeof temp_path) < sizeof temp_path)
    temp_set = 1;
}

} // namespace quillet::children
