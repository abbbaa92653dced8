#include "draft.h"

#include "kinds.h"
#include "markup.h"

#include "common/strings.h"

#include <algorithm>

namespace quillet::widgets {

namespace {

constexpr std::string_view kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<interface>\n";
constexpr std::string_view kFooter = "</interface>\n";

void append_adjustment(GString *sb, const Adjustment &adjustment) {
  append(sb, "<object class=\"GtkAdjustment\" id=\"adj_");
  append(sb, adjustment.id);
  append(sb, "\">\n");
  append(sb, property("lower", number_text(adjustment.lower)));
  append(sb, property("upper", number_text(adjustment.upper)));
  append(sb, property("step-increment", number_text(adjustment.step)));
  // After the bounds: GtkAdjustment clamps a value to the bounds it has when given one.
  if (adjustment.value)
    append(sb, property("value", number_text(std::clamp(*adjustment.value, adjustment.lower,
                                                        adjustment.upper))));
  append(sb, "</object>\n");
}

// Rows left out keep their lines, so that a line GTK names is that line of the copy.
void append_rows(GString *sb, std::string_view rows, bool written) {
  if (written)
    append(sb, rows);
  else
    append(sb, std::string(static_cast<size_t>(std::ranges::count(rows, '\n')), '\n'));
}

void append_store(GString *sb, const ListStore &store, bool rows) {
  append(sb, "<object class=\"GtkListStore\" id=\"model_");
  append(sb, store.id);
  append(sb, "\">\n<columns>\n");
  for (int column = 0; column < store.columns; column++)
    append(sb, "<column type=\"gchararray\"/>\n");
  append(sb, "</columns>\n<data>\n");
  append_rows(sb, store.rows, rows);
  append(sb, "</data>\n</object>\n");
}

} // namespace

void Draft::append(std::string_view text) {
  widgets::append(body, text);
}

void Draft::append_item(std::string_view text) {
  append("<item>");
  append(with_carriage_returns(text));
  append("</item>\n");
}

size_t Draft::open_slot() {
  finished_.emplace_back(body->str, body->len);
  g_string_truncate(body, 0);
  slots_.emplace_back();
  return slots_.size() - 1;
}

void Draft::fill_slot(size_t slot, std::string text) {
  slots_[slot] = std::move(text);
}

size_t Draft::set_aside(size_t from) {
  std::string moved(body->str + from, body->len - from);
  g_string_truncate(body, from);
  const size_t slot = open_slot();
  slots_[slot] = std::move(moved);
  return slot;
}

int Draft::count(const Kind *kind) {
  return ++counts_[kind];
}

size_t Draft::declare_adjustment(Adjustment adjustment) {
  adjustments_.push_back(std::move(adjustment));
  return adjustments_.size() - 1;
}

void Draft::declare_buffer(std::string_view id, std::string_view text) {
  buffers_ += "<object class=\"GtkTextBuffer\" id=\"buffer_";
  buffers_ += id;
  buffers_ += "\">\n" + property("text", text) + "</object>\n";
}

int Draft::declare_store(std::string id, bool multiple) {
  stores_.push_back({std::move(id), {}, {}, 1, multiple});
  return static_cast<int>(stores_.size()) - 1;
}

void Draft::add_row(int index, std::string_view text) {
  ListStore &store = stores_[static_cast<size_t>(index)];
  store.rows += "<row>";
  int column = 0;
  std::vector<std::string_view> row = cells(text, store.columns);
  row.resize(static_cast<size_t>(store.columns)); // missing cells are empty
  for (std::string_view cell : row) {
    store.rows += "<col id=\"" + std::to_string(column++) + "\">";
    const std::string written = with_carriage_returns(cell);
    store.rows += written;
    store.rows += "</col>";
    note_cell(store.id, written);
  }
  store.rows += "</row>\n";
}

void Draft::add_item(Element &element, std::string_view text) {
  // Items follow one another in a slot of their own; anything written between them starts
  // a new one, so that the copy keeps its order.
  if (!element.items_slot || *element.items_slot + 1 != slots_.size() || body->len != 0) {
    element.items_slot = open_slot();
    item_slots_.push_back(*element.items_slot);
  }
  const std::string written = with_carriage_returns(text);
  std::string &slot = slots_[*element.items_slot];
  slot += "<item>";
  slot += written;
  slot += "</item>\n";
  note_cell(element.id, written);
}

// Character data without a reference is read as it is written; a '<' would be markup, which
// GTK is left to refuse.
void Draft::note_cell(const std::string &id, std::string_view written) {
  if (extras == nullptr || !rows_readable_)
    return;
  std::vector<std::string> &rows = extras->rows[id];
  const size_t special = written.find_first_of("&<");
  if (special == std::string_view::npos) {
    rows.emplace_back(written);
    return;
  }
  std::optional<std::string> text =
      written[special] == '&' ? parsed_text(written) : std::optional<std::string>();
  if (text)
    rows.push_back(std::move(*text));
  else
    rows_readable_ = false;
}

bool Draft::rows_apart() const {
  return rows_readable_ && extras != nullptr && !extras->rows.empty();
}

void Draft::finish() {
  append(kFooter);
  if (extras == nullptr)
    return;
  if (!rows_readable_)
    extras->rows.clear();
  for (const ListStore &store : stores_)
    if (!store.choices.empty())
      choose_rows(store);
}

// The rows whose text (cells joined by '|') or first cell is one asked for: the first such
// row, or with several to choose each of them.
void Draft::choose_rows(const ListStore &store) {
  std::vector<int> &selected = extras->selected[store.id];
  int row = -1;
  for (std::string_view line : Lines(store.rows)) {
    row++;
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
      extras->chosen[store.id] = row;
      break;
    }
    selected.push_back(row);
  }
  if (selected.empty())
    extras->selected.erase(store.id);
}

// About what the whole document takes: the declarations, the widgets and the frame.
size_t Draft::size_hint() const {
  size_t size =
      kHeader.size() + adjustments_.size() * 192 + buffers_.size() + body->len + kFooter.size();
  for (const ListStore &store : stores_)
    size += store.id.size() + store.rows.size() + 128;
  for (size_t i = 0; i < finished_.size(); i++)
    size += finished_[i].size() + slots_[i].size();
  return size;
}

void Draft::write(GString *sb, bool rows) const {
  // One allocation for the whole document: it can be many times the size of the input.
  const size_t start = sb->len;
  g_string_set_size(sb, start + size_hint());
  g_string_truncate(sb, start);

  widgets::append(sb, kHeader);
  for (const Adjustment &adjustment : adjustments_)
    append_adjustment(sb, adjustment);
  widgets::append(sb, buffers_);
  for (const ListStore &store : stores_)
    append_store(sb, store, rows);
  // Each finished stretch followed by its slot, then the rest.
  for (size_t i = 0; i < finished_.size(); i++) {
    widgets::append(sb, finished_[i]);
    append_rows(sb, slots_[i],
                rows || !std::binary_search(item_slots_.begin(), item_slots_.end(), i));
  }
  g_string_append_len(sb, body->str, static_cast<gssize>(body->len));
}

} // namespace quillet::widgets
