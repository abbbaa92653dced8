#include "layout.h"

#include "common/checks.h"

#include "common/strings.h"
#include "widgets/draft.h"
#include "widgets/kinds.h"
#include "widgets/markup.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace quillet::transform {

namespace {

using widgets::Draft;
using widgets::Element;
using widgets::Kind;

constexpr widgets::Attribute kActionTakes[] = {
    {"on", widgets::Takes::words, "change|activate|checked|unchecked", 0, 0,
     "the action never runs"},
};

// Group `group` of the first match of `regex` in `line`, stripped; empty without a match.
std::string first_group(GRegex *regex, std::string_view line, int group) {
  g_autoptr(GMatchInfo) match = nullptr;
  if (regex == nullptr || !g_regex_match_full(regex, line.data(), static_cast<gssize>(line.size()),
                                              0, GRegexMatchFlags(0), &match, nullptr))
    return {};
  int start = -1, end = -1;
  if (!g_match_info_fetch_pos(match, group, &start, &end) || start < 0)
    return {};
  return std::string(strip(line.substr(start, end - start)));
}

// Removes a leading "<label ...>" start tag and every "<label>" and "</label>".
std::string label_text(std::string_view line) {
  if (line.starts_with("<label") && line.size() > 6 &&
      kBlank.find(line[6]) != std::string_view::npos) {
    const size_t gt = line.find('>');
    if (gt != std::string_view::npos)
      line.remove_prefix(gt + 1);
  }
  return std::string(strip(replace_all(replace_all(line, "<label>", ""), "</label>", "")));
}

// Text following a start tag on its line, up to any end tag.
std::string text_after_tag(std::string_view line) {
  const size_t gt = line.find('>');
  if (gt == std::string_view::npos)
    return {};
  line.remove_prefix(gt + 1);
  return std::string(strip(line.substr(0, line.find("</"))));
}

// A <label> or <default> whose text may still run over more lines.
struct PendingLabel {
  std::string text;
  bool is_default = false;
};

// A <feed> whose script may still run over more lines.
struct PendingFeed {
  std::string object_id;
  const Kind *kind;
  std::string command;
  int line; // of its start tag in the markup
};

// Says a mistake in the markup at markup line `line` under --debug, and keeps it.
using Say = std::function<void(int line, std::string text)>;

// The widget elements of the walk: the stack of those open and the current one. What an
// element writes, and what its items, <default>, caption and children do, its kind says.
class Elements {
public:
  Elements(Draft &draft, const Say &say) : draft_(draft), say_(say) {}

  // Opens an element of `kind` at start tag `line`, `rest` being the markup after it, on
  // markup line `at`.
  void open(const Kind &kind, std::string id, std::string_view line, std::string_view rest,
            int at) {
    // A widget cannot go inside one that holds no children: the one left open ends where
    // the next widget begins.
    while (!stack_.empty() && !stack_.back()->kind->holds_children) {
      const Element &left = *stack_.back();
      say_(left.line, "<" + std::string(left.kind->element) +
                          "> is never closed: it ends where the next widget begins, on line " +
                          std::to_string(at) + ".");
      close_innermost();
    }
    if (!stack_.empty() && stack_.back()->kind->child_added != nullptr)
      stack_.back()->kind->child_added(draft_, *stack_.back());

    Element &element = elements_.emplace_back();
    element.kind = &kind;
    element.id = std::move(id);
    element.object_id = element.id;
    element.line = at;
    if (kind.new_state != nullptr)
      element.state = kind.new_state();
    Element *holder = stack_.empty() ? nullptr : stack_.back();
    kind.start(draft_, element,
               widgets::Tag{line, rest, draft_.count(&kind), holder, leader(holder, element)});
    draft_.append(widgets::common_properties(line));
    if (kind.attributes != nullptr)
      kind.attributes(draft_, element, line);
    if (draft_.extras != nullptr && !element.object_id.empty()) {
      draft_.extras->kinds[element.object_id] = &kind;
      if (element.object_id != element.id)
        draft_.extras->objects[element.id] = element.object_id;
    }
    note_hidden(element, holder, line);

    current_ = &element;
    if (widgets::closes_itself(line)) {
      end(element);
    } else {
      stack_.push_back(&element);
      depth_ = std::max(depth_, stack_.size());
    }
  }

  // An end tag ends the innermost open element when it names it, and nothing else.
  void close(std::string_view name, int at) {
    if (stack_.empty() || stack_.back()->kind->element != name) {
      if (widgets::kind_of(name) == nullptr)
        return;
      // The elements opened after the one it names were never closed; it stays open, and
      // neither is said again.
      const auto open = std::find_if(stack_.rbegin(), stack_.rend(), [&](const Element *element) {
        return element->kind->element == name;
      });
      const std::string end = "</" + std::string(name) + ">";
      if (open == stack_.rend()) {
        say_(at, end + " ends no open <" + std::string(name) + ">; it is ignored.");
        return;
      }
      (*open)->accounted = true;
      for (auto inner = stack_.rbegin(); inner != open; ++inner)
        if (!std::exchange((*inner)->accounted, true))
          say_((*inner)->line, "<" + std::string((*inner)->kind->element) + "> is never closed: " +
                                   end + " on line " + std::to_string(at) + " comes first.");
      return;
    }
    close_innermost();
    current_ = stack_.empty() ? nullptr : stack_.back();
  }

  // The markup has ended: what is still open was never closed.
  void close_all() {
    while (!stack_.empty()) {
      const Element &left = *stack_.back();
      if (!left.accounted)
        say_(left.line, "<" + std::string(left.kind->element) +
                            "> is never closed: it ends where the markup ends.");
      close_innermost();
    }
  }

  // Any other element than a widget leaves none current.
  void forget_current() { current_ = nullptr; }
  Element *current() const { return current_; }

  void item(std::string_view text) {
    if (current_ != nullptr && current_->kind->item != nullptr)
      current_->kind->item(draft_, *current_, text);
    else
      draft_.append_item(text);
  }

  // A caption is for the innermost open element.
  void caption(std::string_view text) {
    Element *element = stack_.empty() ? nullptr : stack_.back();
    draft_.append(widgets::property(element != nullptr ? element->kind->caption : "label", text));
    if (element != nullptr && element->kind->captioned != nullptr)
      element->kind->captioned(draft_, *element, text);
  }

  // Only the first <default> of an open element without children counts.
  void set_default(const std::string &text) {
    Element *element = stack_.empty() ? nullptr : stack_.back();
    if (element == nullptr || element->kind->holds_children ||
        element->kind->set_default == nullptr || element->has_default)
      return;
    element->has_default = true;
    element->kind->set_default(draft_, *element, text);
  }

  // Every element once the walk has read the last line, in document order.
  void walk_ended() {
    for (Element &element : elements_)
      if (element.kind->walk_ended != nullptr)
        element.kind->walk_ended(draft_, element);
  }

  size_t depth() const { return depth_; }

private:
  // visible="false": the window hides it as it is built; the layout says nothing of it.
  void note_hidden(const Element &element, const Element *holder, std::string_view line) {
    const std::optional<std::string_view> visible = widgets::attribute(line, "visible");
    if (!visible || *visible == "true")
      return;
    if (*visible != "false") // said with the start tag's other misfits
      return;
    if (holder == nullptr)
      say_(element.line, "<" + std::string(element.kind->element) +
                             " visible=\"false\">: the window itself always shows; it is ignored.");
    else if (draft_.extras != nullptr && !element.object_id.empty())
      draft_.extras->hidden.push_back(element.object_id);
  }

  // The id of the first element of `element`'s kind in `holder`, when that is another one.
  const std::string *leader(const Element *holder, const Element &element) {
    if (holder == nullptr)
      return nullptr;
    const auto [first, added] = firsts_.try_emplace({holder, element.kind}, element.id);
    return added ? nullptr : &first->second;
  }

  // Writes the end of `element`, which its holder may follow with something of its own.
  void end(Element &element) {
    element.open = false;
    element.kind->end(draft_, element);
    if (!stack_.empty() && stack_.back()->kind->child_ended != nullptr)
      stack_.back()->kind->child_ended(draft_, *stack_.back());
  }

  void close_innermost() {
    Element &element = *stack_.back();
    stack_.pop_back();
    end(element);
  }

  Draft &draft_;
  const Say &say_;
  std::deque<Element> elements_; // every widget element met, in document order
  std::vector<Element *> stack_; // the open ones, innermost last
  // Where items and feeds go: the widget element opened last, or after an end tag the
  // innermost one still open.
  Element *current_ = nullptr;
  size_t depth_ = 0;
  std::map<std::pair<const Element *, const Kind *>, std::string> firsts_;
};

// What on="..." may name. Whether the widget has the event is known only once the window is
// built.
constexpr std::string_view kEvents[] = {"change", "activate", "checked", "unchecked"};

bool is_event(std::string_view on) {
  return std::ranges::find(kEvents, on) != std::end(kEvents);
}

// Action commands, filed under the id of the element they follow, whatever that element is:
// in the widget actions table, or with an `on` event in the extras' table of events.
class Actions {
public:
  // `at` is the markup line being read.
  Actions(GHashTable *widget_actions, DialogExtras *extras, const int &at)
      : widget_actions_(widget_actions), extras_(extras), at_(at) {}

  // The commands that follow go to `id`: true when it has no entry yet, and gets one.
  bool follow(const std::string &id) {
    current_widget_id_ = id;
    if (g_hash_table_contains(widget_actions_, id.c_str()))
      return false;
    g_hash_table_insert(widget_actions_, g_strdup(id.c_str()),
                        g_ptr_array_new_with_free_func(g_free));
    return true;
  }

  // Whether `line` is an action, or a line of an action block; its command is filed.
  bool take(std::string_view line) {
    if (line.starts_with("<action>") && contains(line, "</action>")) {
      event_.reset();
      file_action(strip(replace_all(replace_all(line, "<action>", ""), "</action>", "")));
      return true;
    }
    if (line.starts_with("<action")) {
      in_action_ = true;
      // Text after the start tag is the block's first command.
      const bool is_action_tag =
          line.size() > 7 && (line[7] == '>' || kBlank.find(line[7]) != std::string_view::npos);
      const size_t gt = line.find('>');
      event_.reset();
      if (const auto on = widgets::attribute(line.substr(0, gt), "on"); is_action_tag && on)
        event_ = std::string(*on);
      if (is_action_tag && gt != std::string_view::npos)
        file_action(strip(line.substr(gt + 1)));
      return true;
    }
    if (line.starts_with("</action>")) {
      in_action_ = false;
      return true;
    }
    if (in_action_)
      file_action(line);
    return in_action_;
  }

private:
  void file_action(std::string_view command) {
    if (current_widget_id_.empty() || command.empty())
      return;
    if (extras_ != nullptr)
      extras_->commands.emplace_back(at_, command);
    if (event_) {
      if (extras_ != nullptr && is_event(*event_))
        extras_->events[std::string(*event_)][current_widget_id_].emplace_back(command);
      return;
    }
    auto *commands =
        static_cast<GPtrArray *>(g_hash_table_lookup(widget_actions_, current_widget_id_.c_str()));
    g_ptr_array_add(commands, g_strndup(command.data(), command.size()));
  }

  GHashTable *widget_actions_;
  DialogExtras *extras_;
  const int &at_;
  std::string current_widget_id_;
  bool in_action_ = false;
  std::optional<std::string> event_; // the `on` of the action block being read
};

// The element walk: reads the cleaned markup line by line, gives every element an id, hands
// actions to Actions and widget elements to Elements, and collects the text of labels,
// defaults and feeds, which may run over several lines.
class Walk {
public:
  Walk(Draft &draft, GHashTable *widget_actions, int &auto_id_counter, GRegex *attribute,
       std::span<const widgets::InputAt> inputs, std::span<const int> lines)
      : draft_(draft), say_([this](int line, std::string text) { say(line, std::move(text)); }),
        elements_(draft, say_), actions_(widget_actions, draft.extras, at_),
        auto_id_counter_(auto_id_counter), attribute_(attribute), extras_(draft.extras),
        inputs_(inputs), lines_(lines) {}

  void run(std::string_view clean) {
    const Lines lines(clean);
    size_t index = 0;
    for (auto line = lines.begin(); line != lines.end(); ++line, ++index) {
      const int before = at_;
      at_ = index < lines_.size() ? lines_[index] : static_cast<int>(index) + 1;
      rest_ = line.rest();
      take_inputs(static_cast<size_t>((*line).data() - clean.data()), before);
      handle_line(strip(*line));
    }
    finish_feed();
    flush_label();
    elements_.close_all();
    elements_.walk_ended();
    draft_.finish();
  }

  size_t depth() const { return elements_.depth(); }

private:
  void say(int line, std::string text) {
    g_debug("line %d: %s", line, text.c_str());
    if (extras_ != nullptr)
      extras_->problems.push_back({line, std::move(text)});
  }

  // Every attribute of start tag `line` of `element` that the tables do not take, or whose
  // value does not fit.
  void check(std::string_view element, std::string_view line,
             std::initializer_list<std::span<const widgets::Attribute>> tables) {
    for (std::string &misfit : widgets::misfits(element, line, tables))
      say(at_, std::move(misfit));
  }

  // The <input> elements whose items begin by line offset `at` belong to the current widget,
  // which runs their commands again on a refresh. A kind that takes their output itself gets
  // it when the window is built, and their items stay out of the layout.
  // `line` is the markup line of the line before offset `at`, where their items are.
  void take_inputs(size_t at, int line) {
    for (; next_input_ < inputs_.size() && inputs_[next_input_].start < at; next_input_++) {
      const widgets::InputAt &input = inputs_[next_input_];
      if (extras_ != nullptr && !strip(input.command).empty())
        extras_->scripts.emplace_back(line, input.command);
      Element *current = elements_.current();
      if (extras_ == nullptr || current == nullptr || current->object_id.empty() ||
          strip(input.command).empty())
        continue;
      widgets::Inputs &inputs = extras_->inputs[current->object_id];
      inputs.commands.push_back(input.command);
      // One that printed no item leaves the widget with what the markup gave it.
      if (current->kind->input != nullptr && input.end > input.start + 1 &&
          current->kind->input(draft_, *current, input.output)) {
        held_end_ = input.end;
      } else if (current->kind->refill != nullptr &&
                 (current->kind->item == nullptr || current->kind->input_starts) &&
                 input.end > input.start + 1) {
        inputs.start = inputs.start.value_or("") + input.output;
        held_end_ = input.end;
      }
    }
    if (at >= held_end_)
      held_end_ = 0;
  }

  void handle_line(std::string_view line) {
    if (line.empty())
      return;
    // Label text may run over lines of its own; any tag ends it.
    if (label_) {
      if (!line.starts_with('<')) {
        if (!label_->text.empty())
          label_->text += '\n';
        label_->text += line;
        return;
      }
      flush_label();
    }

    // A feed's lines are one script for bash, up to its end tag.
    if (feed_) {
      if (widgets::is_end_tag(line, "feed"))
        finish_feed();
      else
        feed_->command.append(feed_->command.empty() ? "" : "\n").append(line);
      return;
    }
    if (widgets::is_start_tag(line, "feed")) {
      check("feed", line, {});
      const Element *current = elements_.current();
      feed_ = PendingFeed{current != nullptr ? current->object_id : std::string(),
                          current != nullptr ? current->kind : nullptr,
                          std::string(strip(line.substr(line.find('>') + 1))), at_};
      return;
    }
    if (widgets::is_start_tag(line, "action"))
      check("action", line, {kActionTakes});
    if (actions_.take(line))
      return;
    if (line.starts_with("<item>") && held_end_ != 0)
      return;
    if (line.starts_with("<item>")) {
      // Complete on its line ("<item>red</item>") or ended on the next ("<item>red").
      const std::string_view text = line.substr(6);
      elements_.item(text.substr(0, text.find("</item>")));
      return;
    }
    if (line.starts_with("</"))
      elements_.close(widgets::element_name(line, true), at_);
    else if (line.starts_with('<'))
      handle_opening(line);
  }

  // Filed for the widgets a line can update; anywhere else a feed is ignored.
  void finish_feed() {
    if (feed_ && extras_ != nullptr && feed_->kind != nullptr && feed_->kind->feed != nullptr &&
        !feed_->object_id.empty() && !strip(feed_->command).empty()) {
      extras_->scripts.emplace_back(feed_->line, feed_->command);
      extras_->feeds.push_back(Feed{std::move(feed_->object_id), std::string(feed_->kind->element),
                                    std::move(feed_->command)});
    }
    feed_.reset();
  }

  void handle_opening(std::string_view line) {
    const std::string name = widgets::element_name(line, false);
    if (name.empty() || name == "action" || name == "input")
      return;
    // They take no attributes.
    if (name == "label" || name == "default" || name == "item")
      check(name, line, {});
    if (name == "label") {
      label_ = PendingLabel{label_text(line)};
      if (contains(line, "</label>"))
        flush_label();
      return;
    }
    if (name == "default") {
      label_ = PendingLabel{text_after_tag(line), true};
      if (contains(line, "</"))
        flush_label();
      return;
    }
    const Kind *kind = widgets::kind_of(name);
    if (name != "item" && kind == nullptr)
      say(at_, "Unknown element <" + name + ">: left out of the dialog.");
    if (kind != nullptr)
      check(name, line, {widgets::kEveryWidget, kind->takes});

    std::string id = widget_id(kind, line);
    if (actions_.follow(id) && extras_ != nullptr)
      extras_->order.push_back(id);
    if (kind == nullptr) {
      elements_.forget_current();
      return;
    }
    if (!id.starts_with("auto_id_") && !names_.insert(id).second) {
      if (id == "btn_ok" || id == "btn_cancel")
        say(at_, std::string("A second ") + (id == "btn_ok" ? "OK" : "Cancel") +
                     " button: a dialog has one, and GTK refuses the layout.");
      else
        say(at_, "The name '" + id +
                     "' is given to more than one widget: GTK refuses the layout, or reads back "
                     "one of them at most.");
    }
    if (extras_ != nullptr)
      extras_->lines.try_emplace(id, at_);
    draft_.line = at_;
    elements_.open(*kind, std::move(id), line, rest_, at_);
  }

  std::string widget_id(const Kind *kind, std::string_view line) {
    if (kind != nullptr && kind->own_id != nullptr)
      if (std::string own = kind->own_id(line); !own.empty())
        return own;
    std::string id = first_group(attribute_, line, 2);
    if (id.empty())
      id = "auto_id_" + std::to_string(++auto_id_counter_);
    return id;
  }

  void flush_label() {
    if (!label_)
      return;
    if (label_->is_default)
      elements_.set_default(label_->text);
    else
      elements_.caption(label_->text);
    label_.reset();
  }

  Draft &draft_;
  const Say say_;
  Elements elements_;
  Actions actions_;
  int &auto_id_counter_;
  GRegex *attribute_;
  widgets::DialogExtras *extras_;
  std::span<const widgets::InputAt> inputs_;
  std::span<const int> lines_;
  int at_ = 0; // the markup line of the line being read
  size_t next_input_ = 0;
  size_t held_end_ = 0; // while not 0, the items of an <input> its widget takes itself

  std::string_view rest_;
  std::set<std::string> names_; // the widgets' own names so far
  std::optional<PendingFeed> feed_;
  std::optional<PendingLabel> label_;
};

// The names that built-in commands act on, so that a widget which carries no id in the layout
// (a text) gets one when a command names it.
void note_commanded(std::string_view clean, DialogExtras &extras) {
  if (!contains(clean, ":"))
    return;
  g_autoptr(GRegex) builtin =
      g_regex_new("(?<![\\w-])(?:refresh|clear|enable|disable|show|hide):([^\\s<>\"']+)",
                  GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);
  g_autoptr(GMatchInfo) match = nullptr;
  g_regex_match_full(builtin, clean.data(), static_cast<gssize>(clean.size()), 0,
                     GRegexMatchFlags(0), &match, nullptr);
  for (; g_match_info_matches(match); g_match_info_next(match, nullptr)) {
    g_autofree char *name = g_match_info_fetch(match, 1);
    extras.commanded.insert(name);
  }
}

} // namespace

size_t build_layout(GString *sb, std::string_view clean, GHashTable *widget_actions,
                    int &auto_id_counter, DialogExtras *extras,
                    std::span<const widgets::InputAt> inputs, std::span<const int> lines) {
  g_return_val_if_fail(sb != NULL, 0);
  g_return_val_if_fail(widget_actions != NULL, 0);

  g_autoptr(GRegex) attribute = g_regex_new("(?<![\\w.:-])(variable|id)=\"([^\"]+)\"",
                                            GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);

  // The walk writes the widgets first; the declarations it collects on the way go in front
  // of them, each sort in document order.
  g_autoptr(GString) body = g_string_sized_new(clean.size() * 4);
  Draft draft(body, extras);
  if (extras != nullptr)
    note_commanded(clean, *extras);
  Walk walk(draft, widget_actions, auto_id_counter, attribute, inputs, lines);
  walk.run(clean);
  draft.write(sb);
  if (extras != nullptr && draft.differs_for_gtk()) {
    g_autoptr(GString) for_gtk = g_string_new(nullptr);
    draft.write(for_gtk, true);
    extras->builder_layout.assign(for_gtk->str, for_gtk->len);
  }
  return walk.depth();
}

} // namespace quillet::transform
