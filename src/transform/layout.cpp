#include "layout.h"

#include "common/checks.h"

#include "common/strings.h"
#include "preprocess/cleaning.h"
#include "widgets/hollin_widgets.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <optional>
#include <set>
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

// The value of attribute `name` on a start tag, matched as a whole name; none without one.
std::optional<std::string_view> attribute(std::string_view line, std::string_view name) {
  // Quoted values are skipped whole: they may hold '>' and other names.
  for (size_t at = 0; at < line.size() && line[at] != '>'; at++) {
    if (line[at] == '"') {
      const size_t quote = line.find('"', at + 1);
      if (quote == std::string_view::npos)
        return std::nullopt;
      at = quote;
      continue;
    }
    if (at == 0 || kBlank.find(line[at - 1]) == std::string_view::npos ||
        !line.substr(at).starts_with(name) || !line.substr(at + name.size()).starts_with("=\""))
      continue;
    const size_t start = at + name.size() + 2;
    const size_t quote = line.find('"', start);
    if (quote == std::string_view::npos)
      return std::nullopt;
    return line.substr(start, quote - start);
  }
  return std::nullopt;
}

// Markup text made safe as layout character data: references stay, anything else that
// XML gives a meaning is escaped.
std::string layout_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    const char c = text[i];
    if (c == '&' && !preprocess::begins_reference(text.substr(i)))
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

// Character data as an XML parser reads it, references resolved; none if it is not well formed.
std::optional<std::string> parsed_text(std::string_view data) {
  static constexpr GMarkupParser kParser = {
      nullptr, nullptr,
      [](GMarkupParseContext *, const char *text, gsize length, gpointer out, GError **) {
        static_cast<std::string *>(out)->append(text, length);
      },
      nullptr, nullptr};
  std::string out;
  g_autoptr(GMarkupParseContext) context =
      g_markup_parse_context_new(&kParser, GMarkupParseFlags(0), &out, nullptr);
  const std::string document = "<t>" + std::string(data) + "</t>";
  if (!g_markup_parse_context_parse(context, document.data(), static_cast<gssize>(document.size()),
                                    nullptr) ||
      !g_markup_parse_context_end_parse(context, nullptr))
    return std::nullopt;
  return out;
}

// Text as the user reads it: for comparing item texts written in markup, where '>' may
// stand as it is, with those from input commands, where it is always escaped.
std::string plain_text(std::string_view text) {
  std::string out(strip(text));
  for (auto [from, to] :
       {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}})
    if (contains(out, from))
      out = replace_all(out, from, to);
  return out;
}

// A finite number written with a full stop, the whole of `text`.
std::optional<double> number(std::optional<std::string_view> text) {
  if (!text)
    return std::nullopt;
  const std::string copy(strip(*text));
  char *end = nullptr;
  const double value = g_ascii_strtod(copy.c_str(), &end);
  if (copy.empty() || end == nullptr || *end != '\0' || !std::isfinite(value))
    return std::nullopt;
  return value;
}

// The fewest significant digits, from 15 on, that read back as the same double: 15 digits
// keep the form layouts have always had, and 17 are always enough.
std::string number_text(double value) {
  char text[G_ASCII_DTOSTR_BUF_SIZE];
  for (const char *format : {"%.15g", "%.16g"})
    if (g_ascii_strtod(g_ascii_formatd(text, sizeof text, format, value), nullptr) == value)
      return text;
  return g_ascii_formatd(text, sizeof text, "%.17g", value);
}

std::string property(std::string_view name, std::string_view value) {
  std::string out = "<property name=\"";
  out += name;
  out += "\">";
  out += value;
  out += "</property>\n";
  return out;
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
  std::vector<std::string> choices; // the texts of the rows to start on
  int columns = 1;
  bool multiple = false;
};

// A row's cells: the text split on '|' into at most `columns` cells, the extra ones left in
// the last, each stripped.
std::vector<std::string_view> cells(std::string_view text, int columns) {
  std::vector<std::string_view> out;
  while (static_cast<int>(out.size()) + 1 < columns) {
    const size_t bar = text.find('|');
    if (bar == std::string_view::npos)
      break;
    out.push_back(strip(text.substr(0, bar)));
    text.remove_prefix(bar + 1);
  }
  out.push_back(strip(text));
  return out;
}

struct Adjustment {
  std::string id;
  double lower = 0;
  double upper = 100;
  double step = 1;
  std::optional<double> value;
};

void append_adjustment(std::string &out, const Adjustment &adjustment) {
  out += "<object class=\"GtkAdjustment\" id=\"adj_";
  out += adjustment.id;
  out += "\">\n";
  out += property("lower", number_text(adjustment.lower));
  out += property("upper", number_text(adjustment.upper));
  out += property("step-increment", number_text(adjustment.step));
  // After the bounds: GtkAdjustment clamps a value to the bounds it has when given one.
  if (adjustment.value)
    out += property("value",
                    number_text(std::clamp(*adjustment.value, adjustment.lower, adjustment.upper)));
  out += "</object>\n";
}

struct OpenElement {
  std::string name;
  int store = kNoStore;
  size_t box_slot = 0; // a window's place for the box that holds several children
  int children = 0;
  bool boxed = false;
  std::string id;
  std::optional<size_t> caption_slot; // where an OK or Cancel button's own caption waits
  std::vector<std::string> tabs;      // a notebook's captions, and how many pages it has
  size_t pages = 0;
  std::vector<std::string> items; // a combo box's item texts
  std::optional<std::string> choice;
  bool has_default = false;
  bool hidden = false; // an entry whose text is not shown
  std::string action;  // a file chooser's
  size_t adjustment = 0;
};

// A tab caption for the page just added: GtkNotebook gives it to its last page.
constexpr std::string_view kTabStart = "<child type=\"tab\">\n<object class=\"GtkLabel\">\n";

// A window holds one child; several go into a vertical box slipped in around them.
constexpr std::string_view kWindowBoxStart = "<child>\n<object class=\"GtkBox\">\n"
                                             "<property name=\"orientation\">vertical</property>\n"
                                             "<property name=\"spacing\">6</property>\n";
constexpr std::string_view kWindowBoxEnd = "</object>\n</child>\n";

struct PendingLabel {
  std::string parent;
  std::string text;
  bool is_default = false;
};

// Text following a start tag on its line, up to any end tag.
std::string text_after_tag(std::string_view line) {
  const size_t gt = line.find('>');
  if (gt == std::string_view::npos)
    return {};
  line.remove_prefix(gt + 1);
  return std::string(strip(line.substr(0, line.find("</"))));
}

// The start tag without the value of `name`, so that words in it mean nothing.
std::string without_value(std::string_view line, std::string_view name) {
  const std::optional<std::string_view> value = attribute(line, name);
  if (!value)
    return std::string(line);
  const size_t at = static_cast<size_t>(value->data() - line.data());
  return std::string(line.substr(0, at)) + std::string(line.substr(at + value->size()));
}

// A whole number from 0 to `most` (larger ones become `most`); none for anything else.
std::optional<int> count(std::optional<std::string_view> text, int most) {
  const std::optional<double> value = number(text);
  if (!value || *value < 0 || *value != std::floor(*value))
    return std::nullopt;
  return static_cast<int>(std::min<double>(*value, most));
}

class Walk {
public:
  Walk(GString *body, GHashTable *widget_actions, int &auto_id_counter, GRegex *attribute,
       GRegex *frame_label, DialogExtras *extras)
      : body_(body), widget_actions_(widget_actions), auto_id_counter_(auto_id_counter),
        attribute_(attribute), frame_label_(frame_label), extras_(extras) {}

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
    for (const ListStore &store : stores_)
      if (!store.choices.empty() && extras_ != nullptr)
        choose_rows(store);
  }

  // Adjustments, then the text buffers of edits that start with text.
  std::string declarations() const {
    std::string out;
    for (const Adjustment &adjustment : adjustments_)
      append_adjustment(out, adjustment);
    out += buffers_;
    return out;
  }
  const std::vector<ListStore> &stores() const { return stores_; }

  // About what the whole document takes: the declarations, the widgets and the frame.
  size_t size_hint() const {
    size_t size =
        kHeader.size() + adjustments_.size() * 192 + buffers_.size() + body_->len + kFooter.size();
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
    if (feed_ && extras_ != nullptr && takes_feed(feed_->kind) && !feed_->object_id.empty() &&
        !strip(feed_->command).empty())
      extras_->feeds.push_back(std::move(*feed_));
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
    if (!stack_.empty() && stack_.back().id == current_widget_id_ &&
        (current_tag_ == "combobox" || current_tag_ == "comboboxtext"))
      stack_.back().items.push_back(plain_text(text));
    if (current_tag_ == "list" || current_tag_ == "tree") {
      if (current_store_ != kNoStore) {
        ListStore &store = stores_[current_store_];
        store.rows += "<row>";
        int column = 0;
        std::vector<std::string_view> row = cells(text, store.columns);
        row.resize(static_cast<size_t>(store.columns)); // missing cells are empty
        for (std::string_view cell : row) {
          store.rows += "<col id=\"" + std::to_string(column++) + "\">";
          store.rows += with_carriage_returns(cell);
          store.rows += "</col>";
        }
        store.rows += "</row>\n";
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
    if (name == "default") {
      label_ = PendingLabel{stack_.empty() ? std::string() : stack_.back().name,
                            text_after_tag(line), true};
      if (contains(line, "</"))
        flush_label();
      return;
    }
    if (name != "item" && !hollin_widgets_is_widget_element(name.c_str()))
      g_debug("Unknown element <%s>: left out of the dialog.", name.c_str());

    const std::string id = widget_id(name, line);
    current_widget_id_ = id;
    current_tag_ = name;
    current_store_ = kNoStore;
    if (!g_hash_table_contains(widget_actions_, id.c_str())) {
      g_hash_table_insert(widget_actions_, g_strdup(id.c_str()),
                          g_ptr_array_new_with_free_func(g_free));
      if (extras_ != nullptr)
        extras_->order.push_back(id);
    }

    if (!hollin_widgets_is_widget_element(name.c_str()))
      return;

    std::string object_id = id;
    feed_object_id_ = id;
    if (!id.starts_with("auto_id_") && !names_.insert(id).second) {
      if (id == "btn_ok" || id == "btn_cancel")
        g_debug("A second %s button: a dialog has one, and GTK refuses the layout.",
                id == "btn_ok" ? "OK" : "Cancel");
      else
        g_debug("The name '%s' is given to more than one widget: GTK refuses the layout, or "
                "reads back one of them at most.",
                id.c_str());
    }
    if (name == "notebook") {
      // Object ids must be unique for GtkBuilder to accept the layout.
      notebooks_++;
      object_id = notebooks_ == 1 ? "notebook_main" : "notebook_main_" + std::to_string(notebooks_);
    } else if (name == "spinbutton" || name == "slider") {
      declare_adjustment(id, line);
    } else if (name == "list" || name == "tree") {
      current_store_ = static_cast<int>(stores_.size());
      stores_.push_back({id, {}, {}, 1, attribute(line, "selection") == "multiple"});
    }

    // A widget cannot go inside an entry, a label or any other widget without room for
    // children: the one left open ends where the next widget begins.
    while (!stack_.empty() && !holds_children(stack_.back().name))
      close_innermost();
    if (!stack_.empty() && stack_.back().name == "window")
      add_window_child(stack_.back());
    const std::string label = name == "frame" ? first_group(frame_label_, line, 1) : std::string();
    const std::optional<std::string_view> title =
        name == "window" ? attribute(line, "title") : std::nullopt;
    std::string action;
    // A text has no object id unless a feed must find its label.
    if (name == "text" && extras_ != nullptr && !closes_itself(line) && feed_follows(rest_, name)) {
      feed_object_id_ = "feed_" + id;
      hollin_widgets_append_fed_text_start(body_, feed_object_id_.c_str());
    } else if (name == "filechooser") {
      action = chooser_action(attribute(line, "action"));
      if (action == "save" && extras_ != nullptr)
        extras_->save_choosers.push_back(id);
      hollin_widgets_append_chooser_start(body_, id.c_str(), action.c_str());
    } else if (const auto columns = attribute(line, "columns");
               (name == "list" || name == "tree") &&
               ((columns && !columns->empty()) || stores_.back().multiple)) {
      append_table_start(id, columns.value_or(""));
    } else {
      if (name == "text")
        feed_object_id_.clear();
      hollin_widgets_append_element_start(body_, name.c_str(), object_id.c_str(), label.c_str(),
                                          title ? layout_text(*title).c_str() : kTitle);
    }
    OpenElement element;
    element.name = name;
    element.action = action;
    element.store = current_store_;
    element.id = id;
    element.hidden = name == "entry" && attribute(line, "visibility") == "false";
    if (name == "spinbutton" || name == "slider")
      element.adjustment = adjustments_.size() - 1;
    if (name == "button" && (id == "btn_ok" || id == "btn_cancel"))
      element.caption_slot = set_caption_aside();
    append(body_, properties(name, line));
    if (const auto digits = count(attribute(line, "digits"), 20);
        name == "slider" && digits && extras_ != nullptr)
      extras_->digits[id] = *digits;
    if (const auto tabs = attribute(line, "tabs"); name == "notebook" && tabs) {
      g_auto(GStrv) captions = g_strsplit(std::string(*tabs).c_str(), "|", -1);
      for (char **caption = captions; *caption != nullptr; caption++)
        element.tabs.push_back(layout_text(strip(*caption)));
    }
    const std::optional<std::string_view> exit = attribute(line, "exit");
    if (name == "button" && exit && extras_ != nullptr && is_word(*exit))
      extras_->exits[id] = *exit;
    else if (name == "button" && exit)
      g_debug("The exit word '%.*s' is not a word (letters, digits and '_'): the button does not "
              "end the dialog.",
              static_cast<int>(exit->size()), exit->data());

    if (closes_itself(line)) {
      append_element_end(element);
      page_ended();
    } else {
      if (name == "window")
        element.box_slot = open_slot();
      stack_.push_back(std::move(element));
    }
    depth_ = std::max(depth_, stack_.size());
  }

  // An action the file chooser does not know opens a file.
  static std::string chooser_action(std::optional<std::string_view> action) {
    if (action == "save")
      return "save";
    return action == "folder" ? "select-folder" : "open";
  }

  void append_element_end(const OpenElement &element) {
    if (element.name == "filechooser")
      hollin_widgets_append_chooser_end(body_, element.action.c_str());
    else
      hollin_widgets_append_element_end(body_, element.name.c_str());
  }

  // A list or tree with headers, or several rows to choose, or both.
  void append_table_start(const std::string &id, std::string_view columns) {
    std::vector<std::string> titles;
    if (!columns.empty())
      for (std::string_view title : cells(columns, std::numeric_limits<int>::max()))
        titles.push_back(layout_text(title));
    std::vector<const char *> pointers;
    for (const std::string &title : titles)
      pointers.push_back(title.c_str());
    pointers.push_back(nullptr);
    stores_.back().columns = std::max<int>(1, static_cast<int>(titles.size()));
    hollin_widgets_append_table_start(body_, id.c_str(), pointers.data(), stores_.back().multiple);
  }

  static bool is_word(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return g_ascii_isalnum(c) || c == '_'; });
  }

  // The properties the start tag's attributes ask for, in the order GTK needs them.
  static std::string properties(std::string_view name, std::string_view line) {
    std::string out;
    if (const auto tooltip = attribute(line, "tooltip"))
      out += property("tooltip-text", layout_text(*tooltip));
    if (attribute(line, "sensitive") == "false")
      out += property("sensitive", "False");
    if (name == "window") {
      for (auto [attr, prop] : {std::pair{"width", "default-width"}, {"height", "default-height"}})
        if (const auto size = count(attribute(line, attr), 10000); size && *size > 0)
          out += property(prop, std::to_string(*size));
    } else if (name == "entry") {
      if (attribute(line, "visibility") == "false")
        out += property("visibility", "False") + property("input-purpose", "password");
      if (const auto placeholder = attribute(line, "placeholder"))
        out += property("placeholder-text", layout_text(*placeholder));
    } else if (name == "spinbutton" || name == "slider") {
      // A slider rounds to what it shows.
      if (const auto digits = count(attribute(line, "digits"), 20)) {
        out += property("digits", std::to_string(*digits));
        if (name == "slider")
          out += property("round-digits", std::to_string(*digits));
      }
    }
    return out;
  }

  // Moves the OK or Cancel caption the template just wrote into a slot of its own, to be
  // dropped when the button gets a <label>: GTK would keep the first of two.
  size_t set_caption_aside() {
    const std::string_view body(body_->str, body_->len);
    const size_t at = body.rfind("<property name=\"label\">");
    if (at == std::string_view::npos)
      return open_slot();
    std::string caption(body.substr(at));
    g_string_truncate(body_, at);
    const size_t slot = open_slot();
    slots_[slot] = std::move(caption);
    return slot;
  }

  // Ends a notebook page: it gets the next caption when there is one.
  void page_ended() {
    if (stack_.empty() || stack_.back().name != "notebook")
      return;
    OpenElement &notebook = stack_.back();
    if (notebook.pages < notebook.tabs.size()) {
      append(body_, kTabStart);
      append(body_, property("label", notebook.tabs[notebook.pages]));
      append(body_, "</object>\n</child>\n");
    }
    notebook.pages++;
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
    OpenElement &element = stack_.back();
    if (element.boxed)
      append(body_, kWindowBoxEnd);
    append_element_end(element);
    if (element.choice && extras_ != nullptr) {
      const auto at = std::find(element.items.begin(), element.items.end(), *element.choice);
      if (at != element.items.end())
        extras_->chosen[element.id] = static_cast<int>(at - element.items.begin());
    }
    stack_.pop_back();
    page_ended();
  }

  // The rows whose text (cells joined by '|') or first cell is one asked for: the first
  // such row, or with several to choose each of them.
  void choose_rows(const ListStore &store) {
    std::vector<int> &selected = extras_->selected[store.id];
    std::string_view rows = store.rows;
    for (int row = 0; !rows.empty(); row++) {
      const size_t eol = rows.find('\n');
      std::string_view line = rows.substr(0, eol);
      rows = eol == std::string_view::npos ? std::string_view() : rows.substr(eol + 1);
      std::string text;
      std::optional<std::string> first;
      for (size_t at = line.find("<col id="); at != std::string_view::npos;
           at = line.find("<col id=", at + 1)) {
        const size_t start = line.find('>', at) + 1;
        const std::string cell = plain_text(line.substr(start, line.find("</col>", at) - start));
        if (first)
          text += '|';
        else
          first = cell;
        text += cell;
      }
      const auto is_choice = [&](const std::string &choice) {
        return choice == text || choice == first;
      };
      if (!std::any_of(store.choices.begin(), store.choices.end(), is_choice))
        continue;
      if (!store.multiple) {
        extras_->chosen[store.id] = row;
        break;
      }
      selected.push_back(row);
    }
    if (selected.empty())
      extras_->selected.erase(store.id);
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
    // Nor does a word in a tooltip.
    const std::string tag = name == "button" ? without_value(line, "tooltip") : std::string();
    if (name == "button" && (has_word(tag, "ok") || has_word(tag, "btn_ok")))
      return "btn_ok";
    if (name == "button" && (has_word(tag, "cancel") || has_word(tag, "btn_cancel")))
      return "btn_cancel";
    std::string id = first_group(attribute_, line, 2);
    if (id.empty())
      id = "auto_id_" + std::to_string(++auto_id_counter_);
    return id;
  }

  // A range with its minimum above its maximum keeps the usual one; a step must be positive.
  void declare_adjustment(std::string_view id, std::string_view line) {
    Adjustment adjustment;
    adjustment.id = id;
    const double lower = number(attribute(line, "min")).value_or(0);
    const double upper = number(attribute(line, "max")).value_or(100);
    if (lower <= upper) {
      adjustment.lower = lower;
      adjustment.upper = upper;
    }
    if (const auto step = number(attribute(line, "step")); step && *step > 0)
      adjustment.step = *step;
    adjustments_.push_back(std::move(adjustment));
  }

  void flush_label() {
    if (!label_)
      return;
    if (label_->is_default) {
      if (!stack_.empty() && !holds_children(stack_.back().name) && !stack_.back().has_default)
        set_default(stack_.back(), label_->text);
      label_.reset();
      return;
    }
    // A button's own caption gives way to the one written for it.
    if (label_->parent == "button" && stack_.back().caption_slot)
      slots_[*stack_.back().caption_slot].clear();
    append(body_, label_->parent == "progressbar" ? "<property name=\"text\">"
                                                  : "<property name=\"label\">");
    append(body_, label_->text);
    append(body_, "</property>\n");
    label_.reset();
  }

  // What <default> does for each kind of widget; text that does not fit is ignored.
  void set_default(OpenElement &element, const std::string &text) {
    element.has_default = true;
    const std::string &name = element.name;
    if (name == "entry" && element.hidden) {
      // Given when the window is built: the layout is written to a file others may read.
      if (auto shown = parsed_text(layout_text(text)); shown && extras_ != nullptr)
        extras_->hidden_texts[element.id] = std::move(*shown);
    } else if (name == "entry") {
      append(body_, property("text", layout_text(text)));
    } else if (name == "edit") {
      buffers_ += "<object class=\"GtkTextBuffer\" id=\"buffer_" + element.id + "\">\n" +
                  property("text", layout_text(text)) + "</object>\n";
      append(body_, property("buffer", "buffer_" + element.id));
    } else if (name == "checkbox") {
      if (text == "true")
        append(body_, property("active", "True"));
    } else if (name == "combobox" || name == "comboboxtext") {
      element.choice = plain_text(text);
    } else if (name == "spinbutton" || name == "slider") {
      adjustments_[element.adjustment].value = number(text);
    } else if (name == "progressbar") {
      if (const auto percent = number(text))
        append(body_, property("fraction", number_text(std::clamp(*percent, 0.0, 100.0) / 100)));
    } else if ((name == "list" || name == "tree") && element.store != kNoStore) {
      ListStore &store = stores_[element.store];
      if (!store.multiple) {
        store.choices.push_back(plain_text(text));
      } else {
        g_auto(GStrv) lines = g_strsplit(text.c_str(), "\n", -1);
        for (char **choice = lines; *choice != nullptr; choice++)
          store.choices.push_back(plain_text(*choice));
      }
    } else if (name == "filechooser") {
      if (extras_ != nullptr && !text.empty())
        extras_->paths[element.id] = plain_text(text);
    } else if (name == "calendar") {
      append(body_, date_properties(text));
    } else if (name == "colorbutton") {
      GdkRGBA colour;
      if (gdk_rgba_parse(&colour, plain_text(text).c_str()))
        append(body_, property("rgba", layout_text(text)));
    } else if (name == "fontbutton") {
      append(body_, property("font", layout_text(text)));
    } else {
      element.has_default = false;
    }
  }

  // The year, month (from 0, as GTK counts) and day of a YYYY-MM-DD date; none for
  // anything else.
  static std::string date_properties(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
      return {};
    int parts[3] = {0, 0, 0};
    for (auto [part, from, to] : {std::tuple{0, 0, 4}, {1, 5, 7}, {2, 8, 10}})
      for (int i = from; i < to; i++) {
        if (!g_ascii_isdigit(text[i]))
          return {};
        parts[part] = parts[part] * 10 + (text[i] - '0');
      }
    if (!g_date_valid_dmy(static_cast<GDateDay>(parts[2]), static_cast<GDateMonth>(parts[1]),
                          static_cast<GDateYear>(parts[0])))
      return {};
    return property("year", std::to_string(parts[0])) +
           property("month", std::to_string(parts[1] - 1)) +
           property("day", std::to_string(parts[2]));
  }

  GString *body_;
  GHashTable *widget_actions_;
  int &auto_id_counter_;
  GRegex *attribute_;
  GRegex *frame_label_;
  DialogExtras *extras_;

  std::string_view rest_;
  std::set<std::string> names_;
  std::optional<Feed> feed_;
  std::string feed_object_id_;
  std::vector<Adjustment> adjustments_;
  std::string buffers_;
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
                    int &auto_id_counter, DialogExtras *extras) {
  g_return_val_if_fail(sb != NULL, 0);
  g_return_val_if_fail(widget_actions != NULL, 0);

  g_autoptr(GRegex) attribute = g_regex_new("(?<![\\w.:-])(variable|id)=\"([^\"]+)\"",
                                            GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);
  g_autoptr(GRegex) frame_label =
      g_regex_new("frame_label=\"([^\"]+)\"", GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr);

  // The walk writes the widgets first; the declarations it collects on the way go in front
  // of them, adjustments then stores, each in document order.
  g_autoptr(GString) body = g_string_sized_new(clean.size() * 4);
  Walk walk(body, widget_actions, auto_id_counter, attribute, frame_label, extras);
  walk.run(clean);

  // One allocation for the whole document: it can be many times the size of the input.
  const size_t start = sb->len;
  g_string_set_size(sb, start + walk.size_hint());
  g_string_truncate(sb, start);

  append(sb, kHeader);
  append(sb, walk.declarations());
  for (const ListStore &store : walk.stores()) {
    append(sb, "<object class=\"GtkListStore\" id=\"model_");
    append(sb, store.id);
    append(sb, "\">\n<columns>\n");
    for (int column = 0; column < store.columns; column++)
      append(sb, "<column type=\"gchararray\"/>\n");
    append(sb, "</columns>\n<data>\n");
    append(sb, store.rows);
    append(sb, "</data>\n</object>\n");
  }
  walk.append_body(sb);
  return walk.depth();
}

} // namespace quillet::transform
