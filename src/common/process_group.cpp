#include "process_group.h"

#include <cerrno>
#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

namespace quillet {

void join_own_process_group(gpointer) {
  setpgid(0, 0);
}

namespace {

// Whether the leader has ended, leaving it unreaped.
bool has_ended(GPid leader) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(leader), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
         info.si_pid == leader;
}

} // namespace

void end_process_groups(std::span<const GPid> leaders) {
  for (GPid leader : leaders)
    killpg(leader, SIGTERM);
  const gint64 deadline = g_get_monotonic_time() + G_USEC_PER_SEC;
  for (GPid leader : leaders)
    while (!has_ended(leader) && g_get_monotonic_time() < deadline)
      g_usleep(5000);
  for (GPid leader : leaders) {
    // Also whatever the leader started and left behind when it ended.
    killpg(leader, SIGKILL);
    while (waitpid(leader, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

} // namespace quillet
