#include "layout.h"

#include "common/checks.h"

#include "common/strings.h"
#include "widgets/draft.h"
#include "widgets/kinds.h"
#include "widgets/markup.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace quillet::transform {

namespace {

using widgets::Draft;
using widgets::Element;
using widgets::Kind;

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
};

// The element walk: reads the cleaned markup line by line, gives every element an id, files
// actions, keeps the stack of open widget elements and writes captions; what a widget element
// writes, and what its items, <default> and children do, its kind says.
class Walk {
public:
  Walk(Draft &draft, GHashTable *widget_actions, int &auto_id_counter, GRegex *attribute)
      : draft_(draft), widget_actions_(widget_actions), auto_id_counter_(auto_id_counter),
        attribute_(attribute), extras_(draft.extras) {}

  void run(std::string_view clean) {
    while (!clean.empty()) {
      const size_t eol = clean.find('\n');
      rest_ = eol == std::string_view::npos ? std::string_view() : clean.substr(eol + 1);
      handle_line(strip(clean.substr(0, eol)));
      clean = rest_;
    }
    finish_feed();
    flush_label();
    while (!stack_.empty())
      close_innermost();
    draft_.finish();
  }

  size_t depth() const { return depth_; }

private:
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
      const size_t gt = line.find('>');
      feed_ = PendingFeed{current_ != nullptr ? current_->object_id : std::string(),
                          current_ != nullptr ? current_->kind : nullptr,
                          std::string(strip(line.substr(gt + 1)))};
      return;
    }

    if (line.starts_with("<action>") && contains(line, "</action>")) {
      file_action(strip(replace_all(replace_all(line, "<action>", ""), "</action>", "")));
      return;
    }
    if (line.starts_with("<action")) {
      in_action_ = true;
      // Text after the start tag is the block's first command.
      const bool is_action_tag =
          line.size() > 7 && (line[7] == '>' || kBlank.find(line[7]) != std::string_view::npos);
      const size_t gt = line.find('>');
      if (is_action_tag && gt != std::string_view::npos)
        file_action(strip(line.substr(gt + 1)));
      return;
    }
    if (line.starts_with("</action>")) {
      in_action_ = false;
      return;
    }
    if (in_action_) {
      file_action(line);
      return;
    }
    if (line.starts_with("<item>")) {
      handle_item(line);
      return;
    }
    if (line.starts_with("</"))
      handle_closing(line);
    else if (line.starts_with('<'))
      handle_opening(line);
  }

  // Filed for the widgets a line can update; anywhere else a feed is ignored.
  void finish_feed() {
    if (feed_ && extras_ != nullptr && feed_->kind != nullptr && feed_->kind->feed != nullptr &&
        !feed_->object_id.empty() && !strip(feed_->command).empty())
      extras_->feeds.push_back(Feed{std::move(feed_->object_id), std::string(feed_->kind->element),
                                    std::move(feed_->command)});
    feed_.reset();
  }

  void file_action(std::string_view command) {
    if (current_widget_id_.empty() || command.empty())
      return;
    auto *commands =
        static_cast<GPtrArray *>(g_hash_table_lookup(widget_actions_, current_widget_id_.c_str()));
    g_ptr_array_add(commands, g_strndup(command.data(), command.size()));
  }

  // An item is complete on its line ("<item>red</item>") or has its end tag on the next
  // ("<item>red"); either way it becomes one whole item or row.
  void handle_item(std::string_view line) {
    std::string_view text = line.substr(6);
    text = text.substr(0, text.find("</item>"));
    if (current_ != nullptr && current_->kind->item != nullptr)
      current_->kind->item(draft_, *current_, text);
    else
      draft_.append_item(text);
  }

  void handle_opening(std::string_view line) {
    const std::string name = widgets::element_name(line, false);
    if (name.empty() || name == "action" || name == "input")
      return;
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
      g_debug("Unknown element <%s>: left out of the dialog.", name.c_str());

    std::string id = widget_id(kind, line);
    current_widget_id_ = id;
    if (!g_hash_table_contains(widget_actions_, id.c_str())) {
      g_hash_table_insert(widget_actions_, g_strdup(id.c_str()),
                          g_ptr_array_new_with_free_func(g_free));
      if (extras_ != nullptr)
        extras_->order.push_back(id);
    }
    current_ = nullptr;
    if (kind != nullptr)
      open_widget(*kind, std::move(id), line);
  }

  void open_widget(const Kind &kind, std::string id, std::string_view line) {
    // A widget cannot go inside an entry, a label or any other widget without room for
    // children: the one left open ends where the next widget begins.
    while (!stack_.empty() && !stack_.back()->kind->holds_children)
      close_innermost();
    if (!stack_.empty() && stack_.back()->kind->child_added != nullptr)
      stack_.back()->kind->child_added(draft_, *stack_.back());

    Element &element = elements_.emplace_back();
    element.kind = &kind;
    element.id = std::move(id);
    element.object_id = element.id;
    kind.start(draft_, element, widgets::Tag{line, rest_, draft_.count(&kind)});
    draft_.append(widgets::common_properties(line));
    if (kind.attributes != nullptr)
      kind.attributes(draft_, element, line);
    if (extras_ != nullptr && !element.object_id.empty())
      extras_->kinds[element.object_id] = &kind;

    current_ = &element;
    if (widgets::closes_itself(line)) {
      end(element);
    } else {
      stack_.push_back(&element);
      depth_ = std::max(depth_, stack_.size());
    }
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

  void handle_closing(std::string_view line) {
    const std::string name = widgets::element_name(line, true);
    if (name.empty() || stack_.empty() || stack_.back()->kind->element != name)
      return;
    close_innermost();
    current_ = stack_.empty() ? nullptr : stack_.back();
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

  // A <label> sets the caption of the innermost open element, in place of one its template
  // set aside; only the first <default> of an element without children counts.
  void flush_label() {
    if (!label_)
      return;
    Element *element = stack_.empty() ? nullptr : stack_.back();
    if (label_->is_default) {
      if (element != nullptr && !element->kind->holds_children &&
          element->kind->set_default != nullptr && !element->has_default) {
        element->has_default = true;
        element->kind->set_default(draft_, *element, label_->text);
      }
      label_.reset();
      return;
    }
    if (element != nullptr && element->caption_slot)
      draft_.fill_slot(*element->caption_slot, {});
    draft_.append(
        widgets::property(element != nullptr ? element->kind->caption : "label", label_->text));
    label_.reset();
  }

  Draft &draft_;
  GHashTable *widget_actions_;
  int &auto_id_counter_;
  GRegex *attribute_;
  widgets::DialogExtras *extras_;

  std::string_view rest_;
  std::optional<PendingFeed> feed_;
  std::optional<PendingLabel> label_;
  std::string current_widget_id_; // where actions go
  bool in_action_ = false;

  std::deque<Element> elements_; // every widget element met, in document order
  std::vector<Element *> stack_; // the open ones, innermost last
  // Where items and feeds go: the widget element opened last, or after an end tag the
  // innermost one still open; none after any other element.
  Element *current_ = nullptr;
  size_t depth_ = 0;
};

} // namespace

size_t build_layout(GString *sb, std::string_view clean, GHashTable *widget_actions,
                    int &auto_id_counter, DialogExtras *extras) {
  g_return_val_if_fail(sb != NULL, 0);
  g_return_val_if_fail(widget_actions != NULL, 0);

  g_autoptr(GRegex) attribute = g_regex_new("(?<![\\w.:-])(variable|id)=\"([^\"]+)\"",
                                            GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);

  // The walk writes the widgets first; the declarations it collects on the way go in front
  // of them, each sort in document order.
  g_autoptr(GString) body = g_string_sized_new(clean.size() * 4);
  Draft draft(body, extras);
  Walk walk(draft, widget_actions, auto_id_counter, attribute);
  walk.run(clean);
  draft.write(sb);
  return walk.depth();
}

} // namespace quillet::transform
