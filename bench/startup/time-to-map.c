// Starts a command and measures the wall time from its start to the X server mapping its
// top-level window, then ends it and reads its peak resident memory. Prints one line of
// figures on success; a program that prints figures, never a test that fails on a time.
// Under Wayland (-w) the end is the first frame of its top-level window that reaches weston,
// read from weston's timeline: a Wayland window is mapped by its first frame.
//
// Usage: startup-time-to-map [-v] [-t MAP_TIMEOUT_S] [-s SETTLE_MS] [-d FILE] [-w TIMELINE] --
//        COMMAND...

#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

// SIGTERM, then SIGKILL if the command is still there after this long.
#define TERM_TIMEOUT_MS 3000.0
#define KILL_TIMEOUT_MS 3000.0

static int child_pipe[2] = {-1, -1};
static volatile pid_t child_group = 0;
static int verbose = 0;

// Stopped from outside (a timeout, Ctrl-C): the command must not outlive us.
static void on_stop(int signal_number) {
  if (child_group > 0)
    killpg(child_group, SIGKILL);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// A byte per SIGCHLD, so select() wakes up for the child as well as for X.
static void on_sigchld(int signal_number) {
  (void)signal_number;
  const int saved = errno;
  const ssize_t ignored = write(child_pipe[1], "c", 1);
  (void)ignored;
  errno = saved;
}

static double now_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec * 1e3 + (double)ts.tv_nsec / 1e6;
}

// The window may be gone by the time we ask about it; that is not our failure.
static int ignore_x_error(Display *display, XErrorEvent *event) {
  (void)display;
  (void)event;
  return 0;
}

// The X server went away: Xlib ends the process after this, so the command goes first.
static int on_x_io_error(Display *display) {
  (void)display;
  if (child_group > 0)
    killpg(child_group, SIGKILL);
  fprintf(stderr, "time-to-map: lost the connection to the X server\n");
  exit(1);
}

struct child {
  pid_t pid;
  int ended;
  int status;
  struct rusage usage;
};

// Reaps the child if it has ended, keeping its resource usage.
static void try_reap(struct child *child) {
  char drain[64];
  while (read(child_pipe[0], drain, sizeof drain) > 0) {
  }
  if (child->ended)
    return;
  const pid_t got = wait4(child->pid, &child->status, WNOHANG, &child->usage);
  if (got == child->pid) {
    child->ended = 1;
    child_group = 0;
  }
}

// Waits until the child has ended or `deadline` has passed, without polling.
static void wait_child_until(struct child *child, double deadline) {
  for (try_reap(child); !child->ended; try_reap(child)) {
    const double left = deadline - now_ms();
    if (left <= 0)
      return;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(child_pipe[0], &readable);
    struct timeval tv = {(time_t)(left / 1e3), (suseconds_t)(((long)left % 1000) * 1000)};
    if (select(child_pipe[0] + 1, &readable, NULL, NULL, &tv) < 0 && errno != EINTR)
      return;
  }
}

// Ends the command and everything it started (it runs in a process group of its own).
static int end_child(struct child *child) {
  if (!child->ended) {
    killpg(child->pid, SIGTERM);
    wait_child_until(child, now_ms() + TERM_TIMEOUT_MS);
  }
  if (!child->ended) {
    fprintf(stderr, "time-to-map: command ignored SIGTERM, sending SIGKILL\n");
    killpg(child->pid, SIGKILL);
    wait_child_until(child, now_ms() + KILL_TIMEOUT_MS);
  }
  if (!child->ended) {
    fprintf(stderr, "time-to-map: command %d did not end after SIGKILL\n", (int)child->pid);
    return 0;
  }
  return 1;
}

// The pid a toplevel says it belongs to (_NET_WM_PID), or 0 when it says nothing.
static long window_pid(Display *display, Window window) {
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char *data = NULL;
  long pid = 0;
  const Atom net_wm_pid = XInternAtom(display, "_NET_WM_PID", False);
  if (XGetWindowProperty(display, window, net_wm_pid, 0, 1, False, XA_CARDINAL, &type, &format,
                         &items, &after, &data) == Success &&
      data != NULL && type == XA_CARDINAL && format == 32 && items == 1)
    pid = (long)*(unsigned long *)data;
  if (data != NULL)
    XFree(data);
  return pid;
}

static void log_event(double start, const XEvent *event) {
  if (!verbose)
    return;
  const double at = now_ms() - start;
  switch (event->type) {
  case CreateNotify:
    fprintf(stderr, "%9.3f ms create 0x%lx %dx%d%+d%+d override_redirect=%d\n", at,
            event->xcreatewindow.window, event->xcreatewindow.width, event->xcreatewindow.height,
            event->xcreatewindow.x, event->xcreatewindow.y, event->xcreatewindow.override_redirect);
    break;
  case MapNotify:
    fprintf(stderr, "%9.3f ms map    0x%lx override_redirect=%d\n", at, event->xmap.window,
            event->xmap.override_redirect);
    break;
  case UnmapNotify:
    fprintf(stderr, "%9.3f ms unmap  0x%lx\n", at, event->xunmap.window);
    break;
  case DestroyNotify:
    fprintf(stderr, "%9.3f ms destroy 0x%lx\n", at, event->xdestroywindow.window);
    break;
  case ConfigureNotify:
    fprintf(stderr, "%9.3f ms configure 0x%lx %dx%d%+d%+d\n", at, event->xconfigure.window,
            event->xconfigure.width, event->xconfigure.height, event->xconfigure.x,
            event->xconfigure.y);
    break;
  default:
    break;
  }
}

// CPU time and run-queue wait so far of all the threads of `pid`, from the scheduler's own
// nanosecond counters: the CPU time is what the start-up cost on its own, the wait is how
// much the other load on the machine held it back.
static void read_schedstat(pid_t pid, double *cpu_ms, double *wait_ms) {
  *cpu_ms = *wait_ms = 0;
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
  DIR *tasks = opendir(path);
  if (tasks == NULL)
    return;
  for (struct dirent *task; (task = readdir(tasks)) != NULL;) {
    if (task->d_name[0] == '.')
      continue;
    char stat_path[320]; // room for any d_name
    snprintf(stat_path, sizeof stat_path, "/proc/%d/task/%s/schedstat", (int)pid, task->d_name);
    FILE *file = fopen(stat_path, "r");
    if (file == NULL)
      continue;
    unsigned long long on_cpu = 0, waiting = 0;
    if (fscanf(file, "%llu %llu", &on_cpu, &waiting) == 2) {
      *cpu_ms += (double)on_cpu / 1e6;
      *wait_ms += (double)waiting / 1e6;
    }
    fclose(file);
  }
  closedir(tasks);
}

struct mapped {
  Window window;
  int width, height;
  long pid;
};

// Whether a MapNotify is the command's dialog: a child of the root (no window manager
// reparents it), not an override-redirect popup or tooltip, able to show something, and,
// when it names its process, named for ours.
static int is_dialog(Display *display, Window root, const XEvent *event, pid_t pid,
                     struct mapped *found) {
  if (event->type != MapNotify || event->xmap.event != root || event->xmap.override_redirect)
    return 0;
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, event->xmap.window, &attributes) ||
      attributes.class != InputOutput)
    return 0;
  const long owner = window_pid(display, event->xmap.window);
  if (owner != 0 && owner != pid)
    return 0;
  *found = (struct mapped){event->xmap.window, attributes.width, attributes.height, owner};
  return 1;
}

// Weston's timeline as `weston-debug -o FILE timeline` writes it, read from where it was when
// the command started. Times in it are CLOCK_MONOTONIC, as ours.
struct timeline {
  FILE *file;
  int surfaces[16]; // the ids of top-level windows that appeared since
  int n_surfaces;
};

// Reads the lines written since the last call; returns the time of the first frame of a new
// top-level window, or -1.
static double timeline_first_frame(struct timeline *timeline, double start) {
  char line[512];
  for (;;) {
    const long at = ftell(timeline->file);
    if (fgets(line, sizeof line, timeline->file) == NULL) {
      clearerr(timeline->file);
      return -1;
    }
    if (strchr(line, '\n') == NULL) { // weston has not written all of it yet
      fseek(timeline->file, at, SEEK_SET);
      return -1;
    }
    if (verbose)
      fprintf(stderr, "%9.3f ms %s", now_ms() - start, line);
    int id;
    long sec, nsec;
    if (sscanf(line, "{ \"id\":%d,", &id) == 1 && timeline->n_surfaces < 16 &&
        strstr(line, "\"desc\":\"top-level window") != NULL)
      timeline->surfaces[timeline->n_surfaces++] = id;
    else if (sscanf(line, "{ \"T\":[%ld, %ld], \"N\":\"core_commit_damage\", \"ws\":%d", &sec,
                    &nsec, &id) == 3)
      for (int i = 0; i < timeline->n_surfaces; i++)
        if (timeline->surfaces[i] == id)
          return (double)sec * 1e3 + (double)nsec / 1e6;
  }
}

static void usage(void) {
  fputs("usage: startup-time-to-map [-v] [-t MAP_TIMEOUT_S] [-s SETTLE_MS] [-d FILE]\n"
        "       [-w TIMELINE] -- COMMAND [ARG...]\n"
        "  -t  seconds to wait for the window (default 30)\n"
        "  -s  milliseconds the command runs on after its window is mapped, so that its\n"
        "      peak memory includes the first frame (default 0)\n"
        "  -d  after the map, also wait (as long again as -t) until FILE exists, and report\n"
        "      when it was seen as done_ms; the settle time counts from then\n"
        "  -v  log the windows created and mapped on the root, on standard error\n"
        "  -w  under Wayland: wait for the first frame in weston's timeline, which\n"
        "      `weston-debug -o TIMELINE timeline` is writing\n",
        stderr);
  exit(2);
}

int main(int argc, char **argv) {
  double map_timeout_s = 30.0;
  double settle_ms = 0.0;
  const char *done_file = NULL;
  const char *timeline_path = NULL;
  int opt;
  while ((opt = getopt(argc, argv, "+vt:s:d:w:")) != -1) {
    if (opt == 'v')
      verbose = 1;
    else if (opt == 't')
      map_timeout_s = atof(optarg);
    else if (opt == 's')
      settle_ms = atof(optarg);
    else if (opt == 'w')
      timeline_path = optarg;
    else if (opt == 'd')
      done_file = optarg;
    else
      usage();
  }
  if (optind >= argc || map_timeout_s <= 0 || settle_ms < 0)
    usage();

  struct timeline timeline = {0};
  Display *display = NULL;
  Window root = 0;
  int x_fd = -1;
  if (timeline_path != NULL) {
    timeline.file = fopen(timeline_path, "re");
    if (timeline.file == NULL || fseek(timeline.file, 0, SEEK_END) != 0) {
      fprintf(stderr, "time-to-map: cannot read %s: %s\n", timeline_path, strerror(errno));
      return 1;
    }
  } else {
    display = XOpenDisplay(NULL);
    if (display == NULL) {
      fprintf(stderr, "time-to-map: cannot open display %s\n", XDisplayName(NULL));
      return 1;
    }
    XSetErrorHandler(ignore_x_error);
    XSetIOErrorHandler(on_x_io_error);
    x_fd = ConnectionNumber(display);
    fcntl(x_fd, F_SETFD, FD_CLOEXEC);
    root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False); // the selection is in force before the command starts
  }

  if (pipe2(child_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    perror("time-to-map: pipe");
    return 1;
  }
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = on_sigchld;
  action.sa_flags = SA_NOCLDSTOP | SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGCHLD, &action, NULL);
  action.sa_handler = on_stop;
  action.sa_flags = 0;
  sigaction(SIGTERM, &action, NULL);
  sigaction(SIGINT, &action, NULL);
  sigaction(SIGHUP, &action, NULL);

  struct child child = {0};
  const double start = now_ms();
  child.pid = fork();
  if (child.pid < 0) {
    perror("time-to-map: fork");
    return 1;
  }
  if (child.pid == 0) {
    setpgid(0, 0);
    execvp(argv[optind], argv + optind);
    fprintf(stderr, "time-to-map: cannot run %s: %s\n", argv[optind], strerror(errno));
    _exit(127);
  }
  setpgid(child.pid, child.pid); // also here, so killpg works whoever runs first
  child_group = child.pid;

  const double deadline = start + map_timeout_s * 1e3;
  struct mapped dialog = {0};
  double mapped_at = -1;
  while (mapped_at < 0) {
    if (timeline.file != NULL)
      mapped_at = timeline_first_frame(&timeline, start);
    while (mapped_at < 0 && display != NULL && XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      const double at = now_ms();
      log_event(start, &event);
      if (is_dialog(display, root, &event, child.pid, &dialog))
        mapped_at = at;
    }
    if (mapped_at >= 0)
      break;
    try_reap(&child);
    if (child.ended) {
      fprintf(stderr, "time-to-map: %s ended before mapping a window (status 0x%x)\n", argv[optind],
              child.status);
      return 1;
    }
    const double left = deadline - now_ms();
    if (left <= 0) {
      fprintf(stderr, "time-to-map: no window from %s within %.0f s\n", argv[optind],
              map_timeout_s);
      end_child(&child);
      return 1;
    }
    fd_set readable;
    FD_ZERO(&readable);
    if (x_fd >= 0)
      FD_SET(x_fd, &readable);
    FD_SET(child_pipe[0], &readable);
    // A file is always readable: the timeline is looked at again every millisecond. Its
    // times are weston's own, so this adds nothing to the figure.
    const double wait = timeline.file != NULL && left > 1 ? 1 : left;
    struct timeval tv = {(time_t)(wait / 1e3), (suseconds_t)(((long)wait % 1000) * 1000)};
    const int nfds = (x_fd > child_pipe[0] ? x_fd : child_pipe[0]) + 1;
    if (select(nfds, &readable, NULL, NULL, &tv) < 0 && errno != EINTR) {
      perror("time-to-map: select");
      end_child(&child);
      return 1;
    }
  }

  double cpu_to_map_ms, wait_to_map_ms;
  read_schedstat(child.pid, &cpu_to_map_ms, &wait_to_map_ms);

  if (verbose && display != NULL) {
    // What else is on the root now, to check that the window taken is the dialog.
    XEvent event;
    while (XCheckMaskEvent(display, SubstructureNotifyMask, &event))
      log_event(start, &event);
  }
  // Something the command does after its map, which it tells by making a file.
  double done_at = mapped_at;
  if (done_file != NULL) {
    const double done_deadline = now_ms() + map_timeout_s * 1e3;
    while (access(done_file, F_OK) != 0 && !child.ended && now_ms() < done_deadline) {
      wait_child_until(&child, now_ms() + 2);
    }
    if (access(done_file, F_OK) != 0) {
      fprintf(stderr, "time-to-map: no %s from %s\n", done_file, argv[optind]);
      end_child(&child);
      return 1;
    }
    done_at = now_ms();
  }
  if (settle_ms > 0)
    wait_child_until(&child, done_at + settle_ms);
  const int ended_early = child.ended;
  if (!end_child(&child))
    return 1;
  if (ended_early) {
    fprintf(stderr, "time-to-map: %s ended on its own within the settle time\n", argv[optind]);
    return 1;
  }

  const struct rusage *u = &child.usage;
  const double cpu_ms = (double)(u->ru_utime.tv_sec + u->ru_stime.tv_sec) * 1e3 +
                        (double)(u->ru_utime.tv_usec + u->ru_stime.tv_usec) / 1e3;
  char size[32] = "-"; // weston's timeline does not say
  if (display != NULL)
    snprintf(size, sizeof size, "%dx%d", dialog.width, dialog.height);
  printf("map_ms=%.3f maxrss_kb=%ld cpu_to_map_ms=%.3f runqueue_wait_to_map_ms=%.3f "
         "cpu_to_end_ms=%.1f window=0x%lx size=%s net_wm_pid=%s done_ms=%.3f\n",
         mapped_at - start, u->ru_maxrss, cpu_to_map_ms, wait_to_map_ms, cpu_ms, dialog.window,
         size, dialog.pid == 0 ? "absent" : "ours", done_at - start);
  if (display != NULL)
    XCloseDisplay(display);
  if (timeline.file != NULL)
    fclose(timeline.file);
  return 0;
}
