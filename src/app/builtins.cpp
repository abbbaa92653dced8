#include "builtins.h"

#include "common/checks.h"

#include "common/output.h"
#include "common/strings.h"
#include "quiet.h"
#include "widgets/kinds.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::app {

// A refresh whose input commands run in turn beside the main loop; the widget is changed once
// they all have ended.
struct Builtins::Refresh {
  GObject *widget; // owned by the window
  const widgets::Kind *kind;
  std::vector<std::string> commands;
  size_t next = 0;
  std::string output;
  std::unique_ptr<output::InputRun> running;
};

std::string object_named(const transform::DialogExtras &extras, const std::string &name) {
  const auto object = extras.objects.find(name);
  std::string id = object != extras.objects.end() ? object->second : name;
  return extras.kinds.contains(id) ? id : std::string();
}

std::optional<BuiltinCommand> builtin_command(std::string_view command) {
  const std::string_view text = strip(command);
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    return std::nullopt;
  const std::string_view verb = text.substr(0, colon);
  const std::string_view name = text.substr(colon + 1);
  constexpr std::string_view kVerbs[] = {"refresh", "clear", "enable", "disable",
                                         "show",    "hide",  "exit"};
  if (std::ranges::find(kVerbs, verb) == std::end(kVerbs) || name.empty() ||
      name.find_first_of(" \t\n\r'\"\\") != std::string::npos)
    return std::nullopt;
  return BuiltinCommand{verb, std::string(name)};
}

Builtins::Builtins(const BuiltinDialog &dialog, Actions &actions, Feeds &feeds)
    : dialog_(dialog), actions_(actions), feeds_(feeds) {
  actions_.set_builtins([this](const char *command) { return run(command); });
}

Builtins::~Builtins() = default;

// What its input commands printed in place of what it holds; a feed of its own is ended
// first and started again last, seeing the dialog's values.
void Builtins::put_in_place(Refresh &refresh) {
  Quiet quiet(actions_.quiet());
  const std::vector<transform::Feed> feeds = feeds_.end(refresh.widget);
  // A refill replaces what the widget holds itself, so that a combo box can keep its choice.
  if (!refresh.commands.empty() && refresh.kind->refill != nullptr)
    refresh.kind->refill(refresh.widget, refresh.output);
  else if (refresh.kind->clear != nullptr)
    refresh.kind->clear(refresh.widget);
  follow_anew(refresh.widget);
  if (!feeds.empty()) {
    g_auto(GStrv) envp = actions_.environment();
    feeds_.restart(refresh.widget, feeds, envp);
  }
}

// Starts the next input command; after the last, changes the widget and lets the queue go on.
void Builtins::run_next() {
  Refresh &refresh = *refreshing_;
  while (refresh.next < refresh.commands.size()) {
    g_auto(GStrv) envp = actions_.environment();
    refresh.running = output::InputRun::start(refresh.commands[refresh.next++], envp,
                                              [this](std::string printed) {
                                                refreshing_->output += printed;
                                                run_next();
                                              });
    if (refresh.running != nullptr)
      return;
  }
  put_in_place(refresh);
  refreshing_.reset();
  actions_.resume();
}

Builtin Builtins::refresh(GObject *widget, const std::string &id, const std::string &name) {
  const widgets::Kind *kind = widgets::kind_of_widget(widget);
  const auto inputs = dialog_.extras->inputs.find(id);
  auto next = std::make_unique<Refresh>();
  next->widget = widget;
  next->kind = kind;
  if (inputs != dialog_.extras->inputs.end())
    next->commands = inputs->second.commands;
  const bool fed = std::ranges::any_of(dialog_.extras->feeds,
                                       [&](const transform::Feed &f) { return f.object_id == id; });
  if (kind == nullptr || (next->commands.empty() && !fed)) {
    g_debug("refresh:%s does nothing: the widget has no <input> and no <feed>.", name.c_str());
    return Builtin::kDone;
  }
  if (next->commands.empty()) {
    put_in_place(*next);
    return Builtin::kDone;
  }
  refreshing_ = std::move(next);
  run_next();
  return refreshing_ != nullptr ? Builtin::kWorking : Builtin::kDone;
}

Builtin Builtins::run(const char *command) {
  g_return_val_if_fail(command != NULL, Builtin::kNone);
  const std::optional<BuiltinCommand> builtin = builtin_command(command);
  if (!builtin)
    return Builtin::kNone;
  const std::string_view verb = builtin->verb;
  const std::string &name = builtin->name;

  if (verb == "exit") {
    if (is_word(name))
      dialog_.end(name.c_str(), dialog_.data);
    else
      g_debug("%s does nothing: the exit word is not a word (letters, digits and '_').", command);
    return Builtin::kDone;
  }
  const std::string id = object_named(*dialog_.extras, name);
  GObject *widget = !id.empty() ? gtk_builder_get_object(dialog_.builder, id.c_str()) : nullptr;
  if (!GTK_IS_WIDGET(widget)) {
    g_debug("%s does nothing: no widget is named '%s'.", command, name.c_str());
    return Builtin::kDone;
  }
  if (verb == "refresh")
    return refresh(widget, id, name);
  if (verb == "clear") {
    const widgets::Kind *kind = widgets::kind_of_widget(widget);
    Quiet quiet(actions_.quiet());
    if (kind != nullptr && kind->clear != nullptr)
      kind->clear(widget);
    follow_anew(widget);
  } else if (verb == "enable" || verb == "disable") {
    // The widget itself too, where the markup's sensitive="false" is.
    gtk_widget_set_sensitive(widgets::slot_of(GTK_WIDGET(widget)), verb == "enable");
    gtk_widget_set_sensitive(GTK_WIDGET(widget), verb == "enable");
  } else {
    gtk_widget_set_visible(widgets::slot_of(GTK_WIDGET(widget)), verb == "show");
  }
  return Builtin::kDone;
}

void Builtins::stop() {
  refreshing_.reset();
}

} // namespace quillet::app
