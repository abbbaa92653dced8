#include "layout.h"

#include "common/checks.h"

#include "common/strings.h"
#include "widgets/hollin_widgets.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace quillet::transform {

namespace {

constexpr std::string_view kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<interface>\n";
constexpr std::string_view kFooter = "</interface>\n";
constexpr const char *kTitle = "Quillet";
constexpr int kNoStore = -1;

void append(GString *sb, std::string_view text) {
  g_string_append_len(sb, text.data(), static_cast<gssize>(text.size()));
}

void append(std::string &out, std::string_view text) {
  out.append(text);
}

// Name of the first "<name" (or "</name" when closing) on the line, lower-cased.
std::string element_name(std::string_view line, bool closing) {
  const std::string_view open = closing ? "</" : "<";
  for (size_t at = line.find(open); at != std::string_view::npos; at = line.find(open, at + 1)) {
    size_t end = at + open.size();
    while (end < line.size() && g_ascii_isalnum(line[end]))
      end++;
    if (end > at + open.size())
      return ascii_lower(line.substr(at + open.size(), end - at - open.size()));
  }
  return {};
}

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

// The widget elements whose objects take other widgets as children.
bool holds_children(std::string_view name) {
  for (std::string_view container : {"window", "vbox", "hbox", "notebook", "frame", "timer"})
    if (name == container)
      return true;
  return false;
}

// An element closed on its own line: "<entry></entry>", or written as "<entry/>".
bool closes_itself(std::string_view line) {
  const size_t gt = line.find('>');
  return contains(line, "</") || (gt != std::string_view::npos && gt > 0 && line[gt - 1] == '/');
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

// XML reads a bare carriage return as a line feed; a reference keeps it in an item.
std::string with_carriage_returns(std::string_view text) {
  return replace_all(text, "\r", "&#13;");
}

// Whether `line` is the start tag of element `name` ("<name>" or "<name attributes>"), in any
// case.
bool is_start_tag(std::string_view line, std::string_view name) {
  if (line.size() < name.size() + 2 || line[0] != '<' ||
      g_ascii_strncasecmp(line.data() + 1, name.data(), name.size()) != 0)
    return false;
  const char after = line[name.size() + 1];
  return after == '>' || kBlank.find(after) != std::string_view::npos;
}

bool is_end_tag(std::string_view line, std::string_view name) {
  return line.size() >= name.size() + 3 && line.starts_with("</") &&
         g_ascii_strncasecmp(line.data() + 2, name.data(), name.size()) == 0 &&
         line[name.size() + 2] == '>';
}

bool takes_feed(std::string_view name) {
  for (std::string_view kind : {"progressbar", "text", "entry", "list", "tree"})
    if (name == kind)
      return true;
  return false;
}

// Whether a feed comes inside the element whose start tag came just before `rest`: before
// its end tag or the next widget element.
bool feed_follows(std::string_view rest, std::string_view name) {
  while (!rest.empty()) {
    const size_t eol = rest.find('\n');
    const std::string_view line = strip(rest.substr(0, eol));
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (is_start_tag(line, "feed"))
      return true;
    if (is_end_tag(line, name))
      return false;
    if (line.starts_with('<') && !line.starts_with("</") &&
        hollin_widgets_is_widget_element(element_name(line, false).c_str()))
      return false;
  }
  return false;
}

struct ListStore {
  std::string id;
  std::string rows;
};

struct OpenElement {
  std::string name;
  int store;
  size_t box_slot = 0; // a window's place for the box that holds several children
  int children = 0;
  bool boxed = false;
};

// A window holds one child; several go into a vertical box slipped in around them.
constexpr std::string_view kWindowBoxStart = "<child>\n<object class=\"GtkBox\">\n"
                                             "<property name=\"orientation\">vertical</property>\n"
                                             "<property name=\"spacing\">6</property>\n";
constexpr std::string_view kWindowBoxEnd = "</object>\n</child>\n";

struct PendingLabel {
  std::string parent;
  std::string text;
};

class Walk {
public:
  Walk(GString *body, GHashTable *widget_actions, int &auto_id_counter, GRegex *attribute,
       GRegex *frame_label, std::vector<Feed> *feeds)
      : body_(body), widget_actions_(widget_actions), auto_id_counter_(auto_id_counter),
        attribute_(attribute), frame_label_(frame_label), feeds_(feeds) {}

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
    append(body_, kFooter);
  }

  const std::string &adjustments() const { return adjustments_; }
  const std::vector<ListStore> &stores() const { return stores_; }

  // About what the whole document takes: the declarations, the widgets and the frame.
  size_t size_hint() const {
    size_t size = kHeader.size() + adjustments_.size() + body_->len + kFooter.size();
    for (const ListStore &store : stores_)
      size += store.id.size() + store.rows.size() + 128;
    for (size_t i = 0; i < finished_.size(); i++)
      size += finished_[i].size() + slots_[i].size();
    return size;
  }

  // The widget objects: each finished stretch followed by its slot, then the rest.
  void append_body(GString *sb) const {
    for (size_t i = 0; i < finished_.size(); i++) {
      append(sb, finished_[i]);
      append(sb, slots_[i]);
    }
    g_string_append_len(sb, body_->str, static_cast<gssize>(body_->len));
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
      if (is_end_tag(line, "feed"))
        finish_feed();
      else
        feed_->command.append(feed_->command.empty() ? "" : "\n").append(line);
      return;
    }
    if (is_start_tag(line, "feed")) {
      const size_t gt = line.find('>');
      feed_ = Feed{feed_object_id_, current_tag_, std::string(strip(line.substr(gt + 1)))};
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
    if (feed_ && feeds_ != nullptr && takes_feed(feed_->kind) && !feed_->object_id.empty() &&
        !strip(feed_->command).empty())
      feeds_->push_back(std::move(*feed_));
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
    if (current_tag_ == "list" || current_tag_ == "tree") {
      if (current_store_ != kNoStore) {
        std::string &rows = stores_[current_store_].rows;
        rows += "<row><col id=\"0\">";
        rows += with_carriage_returns(strip(text));
        rows += "</col></row>\n";
      }
      return;
    }
    append(body_, "<item>");
    append(body_, with_carriage_returns(text));
    append(body_, "</item>\n");
  }

  void handle_opening(std::string_view line) {
    const std::string name = element_name(line, false);
    if (name.empty() || name == "action" || name == "input")
      return;
    if (name == "label") {
      label_ = PendingLabel{stack_.empty() ? std::string() : stack_.back().name, label_text(line)};
      if (contains(line, "</label>"))
        flush_label();
      return;
    }

    const std::string id = widget_id(name, line);
    current_widget_id_ = id;
    current_tag_ = name;
    current_store_ = kNoStore;
    if (!g_hash_table_contains(widget_actions_, id.c_str()))
      g_hash_table_insert(widget_actions_, g_strdup(id.c_str()),
                          g_ptr_array_new_with_free_func(g_free));

    if (!hollin_widgets_is_widget_element(name.c_str()))
      return;

    std::string object_id = id;
    feed_object_id_ = id;
    if (name == "notebook") {
      // Object ids must be unique for GtkBuilder to accept the layout.
      notebooks_++;
      object_id = notebooks_ == 1 ? "notebook_main" : "notebook_main_" + std::to_string(notebooks_);
    } else if (name == "spinbutton" || name == "slider") {
      declare_adjustment(id);
    } else if (name == "list" || name == "tree") {
      current_store_ = static_cast<int>(stores_.size());
      stores_.push_back({id, {}});
    }

    // A widget cannot go inside an entry, a label or any other widget without room for
    // children: the one left open ends where the next widget begins.
    while (!stack_.empty() && !holds_children(stack_.back().name))
      close_innermost();
    if (!stack_.empty() && stack_.back().name == "window")
      add_window_child(stack_.back());
    const std::string label = name == "frame" ? first_group(frame_label_, line, 1) : std::string();
    // A text has no object id unless a feed must find its label.
    if (name == "text" && feeds_ != nullptr && !closes_itself(line) && feed_follows(rest_, name)) {
      feed_object_id_ = "feed_" + id;
      hollin_widgets_append_fed_text_start(body_, feed_object_id_.c_str());
    } else {
      if (name == "text")
        feed_object_id_.clear();
      hollin_widgets_append_element_start(body_, name.c_str(), object_id.c_str(), label.c_str(),
                                          kTitle);
    }
    if (closes_itself(line))
      hollin_widgets_append_element_end(body_, name.c_str());
    else
      stack_.push_back({name, current_store_, name == "window" ? open_slot() : 0});
    depth_ = std::max(depth_, stack_.size());
  }

  void add_window_child(OpenElement &window) {
    if (++window.children != 2)
      return;
    slots_[window.box_slot] = kWindowBoxStart;
    window.boxed = true;
  }

  // Ends the current stretch of the body and leaves an empty place after it that can be
  // filled later, so the box never has to be inserted into text already written.
  size_t open_slot() {
    finished_.emplace_back(body_->str, body_->len);
    g_string_truncate(body_, 0);
    slots_.emplace_back();
    return slots_.size() - 1;
  }

  void close_innermost() {
    if (stack_.back().boxed)
      append(body_, kWindowBoxEnd);
    hollin_widgets_append_element_end(body_, stack_.back().name.c_str());
    stack_.pop_back();
  }

  void handle_closing(std::string_view line) {
    const std::string name = element_name(line, true);
    if (name.empty() || name == "item" || name == "label" || stack_.empty() ||
        stack_.back().name != name)
      return;
    close_innermost();
    current_tag_ = stack_.empty() ? std::string() : stack_.back().name;
    current_store_ = stack_.empty() ? kNoStore : stack_.back().store;
  }

  std::string widget_id(std::string_view name, std::string_view line) {
    // Whole words only: a variable such as "token" or "booking" names no OK button.
    if (name == "button" && (has_word(line, "ok") || has_word(line, "btn_ok")))
      return "btn_ok";
    if (name == "button" && (has_word(line, "cancel") || has_word(line, "btn_cancel")))
      return "btn_cancel";
    std::string id = first_group(attribute_, line, 2);
    if (id.empty())
      id = "auto_id_" + std::to_string(++auto_id_counter_);
    return id;
  }

  void declare_adjustment(std::string_view id) {
    append(adjustments_, "<object class=\"GtkAdjustment\" id=\"adj_");
    append(adjustments_, id);
    append(adjustments_, "\">\n<property name=\"lower\">0</property>\n"
                         "<property name=\"upper\">100</property>\n"
                         "<property name=\"step-increment\">1</property>\n</object>\n");
  }

  void flush_label() {
    if (!label_)
      return;
    append(body_, label_->parent == "progressbar" ? "<property name=\"text\">"
                                                  : "<property name=\"label\">");
    append(body_, label_->text);
    append(body_, "</property>\n");
    label_.reset();
  }

  GString *body_;
  GHashTable *widget_actions_;
  int &auto_id_counter_;
  GRegex *attribute_;
  GRegex *frame_label_;
  std::vector<Feed> *feeds_;

  std::string_view rest_;
  std::optional<Feed> feed_;
  std::string feed_object_id_;
  std::string adjustments_;
  std::vector<ListStore> stores_;
  std::vector<std::string> finished_;
  std::vector<std::string> slots_;

  std::string current_widget_id_;
  std::string current_tag_;
  int current_store_ = kNoStore;
  bool in_action_ = false;
  std::vector<OpenElement> stack_;
  int notebooks_ = 0;
  size_t depth_ = 0;
  std::optional<PendingLabel> label_;
};

} // namespace

size_t build_layout(GString *sb, std::string_view clean, GHashTable *widget_actions,
                    int &auto_id_counter, std::vector<Feed> *feeds) {
  g_return_val_if_fail(sb != NULL, 0);
  g_return_val_if_fail(widget_actions != NULL, 0);

  g_autoptr(GRegex) attribute = g_regex_new("(?<![\\w.:-])(variable|id)=\"([^\"]+)\"",
                                            GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);
  g_autoptr(GRegex) frame_label =
      g_regex_new("frame_label=\"([^\"]+)\"", GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);

  // The walk writes the widgets first; the declarations it collects on the way go in front
  // of them, adjustments then stores, each in document order.
  g_autoptr(GString) body = g_string_sized_new(clean.size() * 4);
  Walk walk(body, widget_actions, auto_id_counter, attribute, frame_label, feeds);
  walk.run(clean);

  // One allocation for the whole document: it can be many times the size of the input.
  const size_t start = sb->len;
  g_string_set_size(sb, start + walk.size_hint());
  g_string_truncate(sb, start);

  append(sb, kHeader);
  append(sb, walk.adjustments());
  for (const ListStore &store : walk.stores()) {
    append(sb, "<object class=\"GtkListStore\" id=\"model_");
    append(sb, store.id);
    append(sb, "\">\n<columns>\n<column type=\"gchararray\"/>\n</columns>\n<data>\n");
    append(sb, store.rows);
    append(sb, "</data>\n</object>\n");
  }
  walk.append_body(sb);
  return walk.depth();
}

} // namespace quillet::transform
