#include "builtins.h"

#include "common/checks.h"

#include "common/children.h"
#include "common/strings.h"
#include "feeds.h"
#include "preprocess/cleaning.h"
#include "quiet.h"
#include "widgets/kinds.h"

#include <gio/gunixinputstream.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::app {

namespace {

BuiltinDialog &dialog() {
  static BuiltinDialog instance{};
  return instance;
}

// A refresh whose input commands run in turn, their output read beside the main loop within
// the bounds cleaning reads an input's in; the widget is changed once they all have ended.
struct Refresh {
  GObject *widget; // owned by the window
  const widgets::Kind *kind;
  std::vector<std::string> commands;
  size_t next = 0;
  std::string command; // the one running, for --debug
  std::string output;
  size_t lines = 0;
  GPid pid = 0;
  GInputStream *stream = nullptr;
  GCancellable *cancellable = g_cancellable_new();
  char buffer[65536];

  ~Refresh() {
    g_clear_object(&stream);
    g_clear_object(&cancellable);
  }
};

std::unique_ptr<Refresh> &refreshing() {
  static std::unique_ptr<Refresh> instance;
  return instance;
}

// What its input commands printed in place of what it holds; a feed of its own is ended
// first and started again last, seeing the dialog's values.
void put_in_place(Refresh &refresh) {
  Quiet quiet;
  const std::vector<transform::Feed> feeds = feeds_end(refresh.widget);
  // A refill replaces what the widget holds itself, so that a combo box can keep its choice.
  if (!refresh.commands.empty() && refresh.kind->refill != nullptr)
    refresh.kind->refill(refresh.widget, refresh.output);
  else if (refresh.kind->clear != nullptr)
    refresh.kind->clear(refresh.widget);
  if (!feeds.empty()) {
    g_auto(GStrv) envp = actions_environment();
    feeds_restart(refresh.widget, feeds, envp);
  }
}

void read_more(Refresh &refresh);

// Starts the next input command; after the last, changes the widget and lets the queue go on.
void run_next(Refresh &refresh) {
  while (refresh.next < refresh.commands.size()) {
    refresh.command = refresh.commands[refresh.next++];
    const char *argv[] = {"bash", "-c", refresh.command.c_str(), nullptr};
    g_auto(GStrv) envp = actions_environment();
    int out_fd = -1;
    g_autoptr(GError) error = nullptr;
    if (!children::spawn(const_cast<char **>(argv), envp,
                         GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL),
                         &refresh.pid, &out_fd, &error)) {
      g_debug("Input command could not start: %s: %s", refresh.command.c_str(), error->message);
      continue;
    }
    g_clear_object(&refresh.stream);
    refresh.stream = g_unix_input_stream_new(out_fd, TRUE);
    read_more(refresh);
    return;
  }
  put_in_place(refresh);
  refreshing().reset();
  actions_resume();
}

void on_command_ended(GPid pid, gint wait_status, gpointer data) {
  auto &refresh = *static_cast<Refresh *>(data);
  g_autoptr(GError) error = nullptr;
  if (!g_spawn_check_wait_status(wait_status, &error))
    g_debug("Input command failed: %s: %s", refresh.command.c_str(), error->message);
  children::forget(pid);
  g_spawn_close_pid(pid);
  refresh.pid = 0;
  run_next(refresh);
}

void on_read(GObject *stream, GAsyncResult *result, gpointer data) {
  g_autoptr(GError) error = nullptr;
  const gssize got = g_input_stream_read_finish(G_INPUT_STREAM(stream), result, &error);
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
    return; // the dialog has ended
  auto &refresh = *static_cast<Refresh *>(data);
  if (got <= 0) {
    g_input_stream_close(refresh.stream, nullptr, nullptr);
    g_child_watch_add(refresh.pid, on_command_ended, &refresh);
    return;
  }
  // NUL bytes are no text; past the bounds the command is ended with what it printed so far,
  // to the last whole line.
  for (const char c : std::string_view(refresh.buffer, static_cast<size_t>(got))) {
    if (refresh.lines == preprocess::kMaxInputLines ||
        refresh.output.size() == preprocess::kMaxInputBytes) {
      const size_t last_eol = refresh.output.rfind('\n');
      refresh.output.resize(last_eol == std::string::npos ? 0 : last_eol + 1);
      const GPid leader[] = {refresh.pid};
      children::end(leader);
      refresh.pid = 0;
      g_debug("Input command output cut after %zu lines, %zu bytes; the command was ended: %s",
              refresh.lines, refresh.output.size(), refresh.command.c_str());
      g_input_stream_close(refresh.stream, nullptr, nullptr);
      run_next(refresh);
      return;
    }
    if (c == '\0')
      continue;
    refresh.output += c;
    refresh.lines += c == '\n';
  }
  read_more(refresh);
}

void read_more(Refresh &refresh) {
  g_input_stream_read_async(refresh.stream, refresh.buffer, sizeof refresh.buffer,
                            G_PRIORITY_DEFAULT, refresh.cancellable, on_read, &refresh);
}

// The object id of the widget a built-in command names, or empty.
std::string object_named(const std::string &name) {
  const transform::DialogExtras &extras = *dialog().extras;
  const auto object = extras.objects.find(name);
  std::string id = object != extras.objects.end() ? object->second : name;
  return extras.kinds.contains(id) ? id : std::string();
}

Builtin refresh(GObject *widget, const std::string &id, const std::string &name) {
  const widgets::Kind *kind = widgets::kind_of_widget(widget);
  const auto inputs = dialog().extras->inputs.find(id);
  auto next = std::make_unique<Refresh>();
  next->widget = widget;
  next->kind = kind;
  if (inputs != dialog().extras->inputs.end())
    next->commands = inputs->second.commands;
  const bool fed = std::ranges::any_of(dialog().extras->feeds,
                                       [&](const transform::Feed &f) { return f.object_id == id; });
  if (kind == nullptr || (next->commands.empty() && !fed)) {
    g_debug("refresh:%s does nothing: the widget has no <input> and no <feed>.", name.c_str());
    return Builtin::kDone;
  }
  if (next->commands.empty()) {
    put_in_place(*next);
    return Builtin::kDone;
  }
  refreshing() = std::move(next);
  run_next(*refreshing());
  return refreshing() != nullptr ? Builtin::kWorking : Builtin::kDone;
}

} // namespace

void builtins_set_dialog(const BuiltinDialog &d) {
  g_return_if_fail(d.builder != NULL);
  g_return_if_fail(d.extras != NULL);
  dialog() = d;
  actions_set_builtins(builtins_run);
}

Builtin builtins_run(const char *command) {
  g_return_val_if_fail(command != NULL, Builtin::kNone);
  const std::string_view text = strip(command);
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    return Builtin::kNone;
  const std::string_view verb = text.substr(0, colon);
  const std::string name(text.substr(colon + 1));
  constexpr std::string_view kVerbs[] = {"refresh", "clear", "enable", "disable",
                                         "show",    "hide",  "exit"};
  if (std::ranges::find(kVerbs, verb) == std::end(kVerbs) || name.empty() ||
      name.find_first_of(" \t\n\r'\"\\") != std::string::npos || dialog().builder == nullptr)
    return Builtin::kNone;

  if (verb == "exit") {
    if (is_word(name))
      dialog().end(name.c_str(), dialog().data);
    else
      g_debug("%s does nothing: the exit word is not a word (letters, digits and '_').", command);
    return Builtin::kDone;
  }
  const std::string id = object_named(name);
  GObject *widget = !id.empty() ? gtk_builder_get_object(dialog().builder, id.c_str()) : nullptr;
  if (!GTK_IS_WIDGET(widget)) {
    g_debug("%s does nothing: no widget is named '%s'.", command, name.c_str());
    return Builtin::kDone;
  }
  if (verb == "refresh")
    return refresh(widget, id, name);
  if (verb == "clear") {
    const widgets::Kind *kind = widgets::kind_of_widget(widget);
    Quiet quiet;
    if (kind != nullptr && kind->clear != nullptr)
      kind->clear(widget);
  } else if (verb == "enable" || verb == "disable") {
    // The widget itself too, where the markup's sensitive="false" is.
    gtk_widget_set_sensitive(widgets::slot_of(GTK_WIDGET(widget)), verb == "enable");
    gtk_widget_set_sensitive(GTK_WIDGET(widget), verb == "enable");
  } else {
    gtk_widget_set_visible(widgets::slot_of(GTK_WIDGET(widget)), verb == "show");
  }
  return Builtin::kDone;
}

void builtins_stop() {
  std::unique_ptr<Refresh> &refresh = refreshing();
  if (refresh == nullptr)
    return;
  g_cancellable_cancel(refresh->cancellable);
  if (refresh->pid != 0) {
    const GPid leader[] = {refresh->pid};
    children::end(leader);
  }
  (void)refresh.release(); // a read or a watch may still hold it; the process ends now
}

} // namespace quillet::app
