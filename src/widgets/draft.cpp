#include "draft.h"

#include "kinds.h"
#include "markup.h"

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
  append(sb, store.tree ? "<object class=\"GtkTreeStore\" id=\"model_"
                        : "<object class=\"GtkListStore\" id=\"model_");
  append(sb, store.id);
  append(sb, "\">\n<columns>\n");
  for (int column = 0; column < store.columns; column++)
    append(sb, "<column type=\"gchararray\"/>\n");
  if (store.tree) {
    append(sb, "</columns>\n</object>\n");
    return;
  }
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

int Draft::declare_store(std::string id, bool tree) {
  stores_.push_back({std::move(id), {}, 1, tree});
  return static_cast<int>(stores_.size()) - 1;
}

void Draft::add_row(int index, std::string_view text) {
  ListStore &store = stores_[static_cast<size_t>(index)];
  store.rows += "<row>";
  int column = 0;
  std::vector<std::string_view> row = cells(text, store.columns);
  row.resize(static_cast<size_t>(store.columns)); // missing cells are empty
  // Many rows and cells go through here: no text is made for a cell that has nothing to
  // change, and the list's cells are looked up once a row.
  std::vector<std::string> *noted = extras != nullptr ? &extras->rows[store.id] : nullptr;
  for (std::string_view cell : row) {
    store.rows += "<col id=\"";
    store.rows += std::to_string(column++);
    store.rows += "\">";
    const std::string changed =
        cell.find('\r') != std::string_view::npos ? with_carriage_returns(cell) : std::string();
    const std::string_view written = changed.empty() ? cell : changed;
    store.rows += written;
    store.rows += "</col>";
    note_cell(noted, written);
  }
  store.rows += "</row>\n";
}

void Draft::add_item(const std::string &id, std::string_view text) {
  // Items follow one another in a slot of their own; anything written between them starts
  // a new one, so that the copy keeps its order. An object's items come while it is the
  // current one, with its start written before them: those of another never join them.
  if (item_slots_.empty() || item_slots_.back() + 1 != slots_.size() || body->len != 0)
    item_slots_.push_back(open_slot());
  const std::string written = with_carriage_returns(text);
  std::string &slot = slots_[item_slots_.back()];
  slot += "<item>";
  slot += written;
  slot += "</item>\n";
  note_cell(extras != nullptr ? &extras->rows[id] : nullptr, written);
}

void Draft::append_for_gtk(std::string text) {
  gtk_slots_.push_back(open_slot());
  slots_.back() = std::move(text);
}

KindState &Draft::record(Element &element) {
  if (element.record == nullptr)
    element.record =
        &(extras != nullptr ? extras->records : unkept_).of(element.object_id, *element.kind);
  return *element.record;
}

// Character data without a reference is read as it is written; a '<' would be markup, which
// GTK is left to refuse.
void Draft::note_cell(std::vector<std::string> *cells, std::string_view written) {
  if (cells == nullptr || !rows_readable_)
    return;
  std::vector<std::string> &rows = *cells;
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

bool Draft::differs_for_gtk() const {
  return rows_apart() || !gtk_slots_.empty();
}

void Draft::finish() {
  append(kFooter);
  if (extras != nullptr && !rows_readable_)
    extras->rows.clear();
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

void Draft::write(GString *sb, bool for_gtk) const {
  const bool rows = !for_gtk || !rows_apart();
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
    if (std::binary_search(gtk_slots_.begin(), gtk_slots_.end(), i))
      widgets::append(sb, for_gtk ? slots_[i] : std::string());
    else
      append_rows(sb, slots_[i],
                  rows || !std::binary_search(item_slots_.begin(), item_slots_.end(), i));
  }
  g_string_append_len(sb, body->str, static_cast<gssize>(body->len));
}

void Draft::say(std::string text) {
  g_debug("line %d: %s", line, text.c_str());
  if (extras != nullptr)
    extras->problems.push_back({line, std::move(text)});
}

} // namespace quillet::widgets
