#include "children.h"

#include "common/checks.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <map>

#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillet::children {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Between SIGTERM and SIGKILL, for a command that cleans up after itself.
constexpr long kGraceNs = 1000L * 1000 * 1000;

// The groups to end, read by the signal handler, which may run on any thread and can neither
// allocate nor lock: blocks of atomic entries, chained as needed and never freed, so that
// there is no limit and a reader never meets freed memory. An entry is the leader of a
// running command (> 0), the session of an ended action whose background work is left alone
// (< 0), or free (0); a freed entry is used again.
static_assert(std::atomic<pid_t>::is_always_lock_free);
struct Block {
  std::atomic<pid_t> entries[64] = {};
  std::atomic<Block *> next = nullptr;
};
Block first_block;

template <typename F> void each_entry(F &&f) {
  for (Block *block = &first_block; block != nullptr; block = block->next.load())
    for (std::atomic<pid_t> &entry : block->entries)
      f(entry);
}

// Written by the main thread only.
pid_t quillet_pid = 0;
char children_path[64];
volatile sig_atomic_t exit_status = -1;

// The temporary file a signal removes: temp_path while it is named. Whoever exchanges the
// pointer for null first removes the file, the handler on any thread or the writer once done
// with it; the path is written whole before it is named, and never again once a handler has
// taken it, as quillet is then ending.
static_assert(std::atomic<const char *>::is_always_lock_free);
char temp_path[PATH_MAX];
std::atomic<const char *> temp_file = nullptr;

// What commands left to quillet and are still running, each with the GLib child watch that
// reaps it as it ends; the main thread's only.
std::map<pid_t, guint> watched;

constexpr const char *kBusVariable = "DBUS_SESSION_BUS_ADDRESS";
constexpr const char *kNoBus = "disabled:";
bool bus_kept = false;

bool has_entry(pid_t value) {
  bool found = false;
  each_entry([&](std::atomic<pid_t> &entry) { found = found || entry.load() == value; });
  return found;
}

// Calls f with each child of quillet's main thread: the commands it started and what was left
// to it when their parents ended. Async-signal-safe.
template <typename F> void each_child(F &&f) {
  const int fd = children_path[0] != '\0' ? open(children_path, O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0)
    return;
  char buffer[512];
  pid_t pid = 0;
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) != 0;) {
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      break;
    for (ssize_t i = 0; i < got; i++) {
      if (buffer[i] >= '0' && buffer[i] <= '9') {
        pid = pid * 10 + (buffer[i] - '0');
      } else if (pid > 0) {
        f(pid);
        pid = 0;
      }
    }
  }
  if (pid > 0)
    f(pid);
  close(fd);
}

// A child that leads no known group and is no action's background work: something a command
// left behind, in a session of its own or not.
bool is_stray(pid_t child) {
  if (has_entry(child))
    return false;
  const pid_t session = getsid(child);
  return session <= 0 || !has_entry(-session);
}

void signal_everything(int signal_number) {
  each_entry([&](std::atomic<pid_t> &entry) {
    if (const pid_t leader = entry.load(); leader > 0) {
      kill(-leader, signal_number);
      kill(-leader, SIGCONT); // a stopped group gets its SIGTERM now
    }
  });
  each_child([&](pid_t child) {
    if (!is_stray(child))
      return;
    const pid_t target = getpgid(child) == child ? -child : child;
    kill(target, signal_number);
    kill(target, SIGCONT);
  });
}

bool anything_left() {
  bool left = false;
  each_entry([&](std::atomic<pid_t> &entry) {
    const pid_t leader = entry.load();
    left = left || (leader > 0 && kill(-leader, 0) == 0);
  });
  each_child([&](pid_t child) { left = left || is_stray(child); });
  return left;
}

void reap_ended() {
  while (waitpid(-1, nullptr, WNOHANG) > 0)
    ;
}

void pause_briefly() {
  const timespec pause = {0, 10 * 1000 * 1000};
  nanosleep(&pause, nullptr);
}

long long now_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

void on_signal(int signal_number) {
  const int saved_errno = errno;
  end_all();
  if (exit_status >= 0)
    _exit(exit_status);
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal_number, &fallback, nullptr);
  sigset_t unblock;
  sigemptyset(&unblock);
  sigaddset(&unblock, signal_number);
  pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
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

// In the child, before exec: a session of its own, so that a read of /dev/tty fails at once
// instead of stopping it, and no signal from the caller's terminal reaches it; death with
// quillet, however quillet ends; and the dispositions and mask it would have had without
// quillet.
void child_setup(gpointer) {
  setsid();
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != quillet_pid)
    _exit(127); // quillet died before the line above
  signal(SIGPIPE, SIG_DFL);
  signal(SIGXFSZ, SIG_DFL);
  const sigset_t set = handled_signals();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

// Holds back the handled signals on the calling thread while it lives: a child forked
// meanwhile starts with them held, until child_setup has made it a child of its own.
class SignalsHeld {
public:
  SignalsHeld() {
    const sigset_t set = handled_signals();
    pthread_sigmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsHeld(const SignalsHeld &) = delete;
  SignalsHeld &operator=(const SignalsHeld &) = delete;

private:
  sigset_t saved_;
};

void collect();

void on_orphan_ended(GPid pid, gint, gpointer) {
  watched.erase(pid);
  g_spawn_close_pid(pid);
  collect();
}

// What quillet inherited from commands that ended is reaped as it ends: it is looked for each
// time a child of quillet ends, what has ended then is reaped, and what runs on is watched.
// The commands' leaders are reaped by whoever waits for them.
void collect() {
  each_child([](pid_t child) {
    if (has_entry(child) || watched.contains(child) || waitpid(child, nullptr, WNOHANG) != 0)
      return;
    watched.emplace(child, g_child_watch_add(child, on_orphan_ended, nullptr));
  });
}

void add_entry(pid_t value) {
  Block *last = nullptr;
  for (Block *block = &first_block; block != nullptr; block = block->next.load()) {
    for (std::atomic<pid_t> &entry : block->entries) {
      pid_t old = entry.load();
      // Background work that has ended needs its entry no more.
      if (old < 0 && kill(old, 0) != 0)
        old = 0;
      if (old == 0) {
        entry.store(value);
        return;
      }
    }
    last = block;
  }
  auto *block = new Block;
  block->entries[0].store(value);
  last->next.store(block);
}

void remove_entry(pid_t value) {
  each_entry([&](std::atomic<pid_t> &entry) {
    if (entry.load() == value)
      entry.store(0);
  });
}

} // namespace

void install_signal_handlers() {
  quillet_pid = getpid();
  g_snprintf(children_path, sizeof children_path, "/proc/self/task/%d/children", quillet_pid);
  prctl(PR_SET_CHILD_SUBREAPER, 1);
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

void keep_bus_from_starting() {
  if (g_getenv(kBusVariable) != nullptr)
    return;
  // Where both look before they would start a bus.
  if (const char *runtime = g_getenv("XDG_RUNTIME_DIR")) {
    g_autofree char *socket = g_build_filename(runtime, "bus", NULL);
    if (g_file_test(socket, G_FILE_TEST_EXISTS))
      return;
  }
  bus_kept = g_setenv(kBusVariable, kNoBus, TRUE);
}

bool spawn(char **argv, char **envp, GSpawnFlags flags, GPid *pid, int *stdout_fd, GError **error) {
  g_return_val_if_fail(argv != NULL, false);
  g_return_val_if_fail(pid != NULL, false);

  g_auto(GStrv) own = nullptr;
  if (bus_kept) {
    own = envp != nullptr ? g_strdupv(envp) : g_get_environ();
    if (g_strcmp0(g_environ_getenv(own, kBusVariable), kNoBus) == 0)
      own = g_environ_unsetenv(own, kBusVariable);
    envp = own;
  }
  SignalsHeld held;
  quillet_pid = getpid();
  // The child has run child_setup once the spawn returns.
  if (!g_spawn_async_with_pipes(nullptr, argv, envp, GSpawnFlags(flags | G_SPAWN_DO_NOT_REAP_CHILD),
                                child_setup, nullptr, pid, nullptr, stdout_fd, nullptr, error))
    return false;
  add_entry(*pid);
  return true;
}

void forget(GPid pid) {
  remove_entry(pid);
  collect();
}

void keep_background(GPid leader) {
  if (kill(-leader, 0) == 0)
    add_entry(-leader);
}

int wait(GPid pid) {
  // Reaped only once forgotten: until then the group's number cannot be handed out again.
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WSTOPPED | WNOWAIT) != 0 &&
         errno == EINTR)
    ;
  if (info.si_code == CLD_STOPPED) {
    const GPid leader[] = {pid};
    end(leader);
    return SIGKILL;
  }
  remove_entry(pid);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
    ;
  collect();
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
  if (leaders.empty())
    return;
  for (GPid leader : leaders) {
    killpg(leader, SIGTERM);
    killpg(leader, SIGCONT);
  }
  const gint64 deadline = g_get_monotonic_time() + kGraceNs / 1000;
  for (GPid leader : leaders)
    while (!has_ended(leader) && g_get_monotonic_time() < deadline)
      g_usleep(5000);
  for (GPid leader : leaders) {
    killpg(leader, SIGKILL);
    remove_entry(leader);
    while (waitpid(leader, nullptr, 0) < 0 && errno == EINTR)
      ;
  }
  collect();
}

void end_all() {
  if (const char *path = temp_file.exchange(nullptr))
    unlink(path);
  signal_everything(SIGTERM);
  const long long deadline = now_ns() + kGraceNs;
  for (reap_ended(); anything_left() && now_ns() < deadline; reap_ended())
    pause_briefly();
  // SIGKILL, until ending a group leaves nothing more to quillet (a member's own sessions),
  // and every process has gone.
  for (int round = 0; round < 100 && anything_left(); round++) {
    signal_everything(SIGKILL);
    pause_briefly();
    reap_ended();
  }
}

void set_exit_status(int status) {
  exit_status = status;
}

void end_at_last() {
  for (const auto &[pid, watch] : watched)
    g_source_remove(watch);
  watched.clear();
  end_all();
}

bool set_temp_file(const char *path) {
  g_return_val_if_fail(path != NULL, false);
  g_return_val_if_fail(temp_file.load() == nullptr, false);
  if (g_strlcpy(temp_path, path, sizeof temp_path) >= sizeof temp_path)
    return false;
  temp_file.store(temp_path);
  return true;
}

bool take_temp_file() {
  return temp_file.exchange(nullptr) != nullptr;
}

} // namespace quillet::children
