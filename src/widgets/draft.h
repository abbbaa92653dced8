#pragma once

// The layout while the walk writes it, and what kinds of widget may add to it. Text only.

#include "widgets/extras.h"

#include <glib.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::widgets {

struct Kind;
struct Element;

// The range of a spin button or slider, declared before the widgets.
struct Adjustment {
  std::string id;
  double lower = 0;
  double upper = 100;
  double step = 1;
  std::optional<double> value;
};

// The rows of a list or tree, declared before the widgets, a line each; or a tree store's
// columns, whose rows the window's set-up puts in.
struct ListStore {
  std::string id;
  std::string rows;
  int columns = 1;
  bool tree = false;
};

// The widget objects are written in stretches, each followed by a slot that can be filled
// later, so that nothing ever has to be inserted into text already written. Declarations
// (adjustments, text buffers, list stores) are collected on the way and go in front of the
// widgets, each sort in document order.
class Draft {
public:
  // `body` takes the widgets as they come; `extras`, what the window's set-up needs, may be
  // null when only the layout is wanted.
  Draft(GString *body, DialogExtras *extras) : body(body), extras(extras) {}

  GString *const body; // the current stretch
  DialogExtras *const extras;
  int line = 0; // the markup line of the start tag being written

  // Says a mistake of the start tag being written under --debug, with its line, and keeps it
  // in the extras' problems.
  void say(std::string text);

  void append(std::string_view text);
  // An <item> line as it is, for an object that takes items of its own.
  void append_item(std::string_view text);

  // Ends the current stretch and leaves an empty place after it.
  size_t open_slot();
  void fill_slot(size_t slot, std::string text);
  // Moves what the current stretch holds from byte `from` on into a slot of its own.
  size_t set_aside(size_t from);

  // How many elements of `kind` the layout has had, counting this one.
  int count(const Kind *kind);

  size_t declare_adjustment(Adjustment adjustment);
  Adjustment &adjustment(size_t index) { return adjustments_[index]; }
  // A text buffer starting with `text` (escaped), for the text view of `id`.
  void declare_buffer(std::string_view id, std::string_view text);
  int declare_store(std::string id, bool tree = false);
  ListStore &store(int index) { return stores_[static_cast<size_t>(index)]; }
  // A row of cells from the text of an item.
  void add_row(int store, std::string_view text);
  // An item of the object `id`'s own, for an object that takes items (a combo box's texts).
  void add_item(const std::string &id, std::string_view text);

  // Text that GTK's layout holds and the copy does not, on the line being written: an object
  // id by which the window's set-up finds a widget that the copy leaves unnamed.
  void append_for_gtk(std::string text);

  // What `element`'s row keeps of it for the window (Kind::new_record), made when it first
  // keeps something, under the object id its start gave it: in the extras, or without them
  // in the draft, which drops it.
  KindState &record(Element &element);

  // The end of the widgets: closes the document.
  void finish();

  // Appends the whole document: header, declarations, widgets; the copy, or with `for_gtk`
  // the layout GTK is given. GTK's holds the text of append_for_gtk, and where the rows go
  // apart, the rows of stores and the items of add_item are left out of it (their lines stay,
  // empty): GtkBuilder's parser takes far longer over many of them than filling the store
  // does, so the window's set-up fills them in from DialogExtras::rows.
  void write(GString *sb, bool for_gtk = false) const;
  // Whether GTK is given a layout of its own: the rows go apart, or it names more.
  bool differs_for_gtk() const;

private:
  // Whether the rows go to GTK apart from the layout: there are some, and each one reads as
  // character data (one that does not stays in the layout, for GTK to refuse).
  bool rows_apart() const;
  // Notes the text of a cell written into the layout as GTK will read it, among `cells` (the
  // extras' rows of its list or combo box; none without extras).
  void note_cell(std::vector<std::string> *cells, std::string_view written);
  size_t size_hint() const;

  std::vector<std::string> finished_;
  std::vector<std::string> slots_;
  std::map<const Kind *, int> counts_;
  std::vector<Adjustment> adjustments_;
  std::string buffers_;
  std::vector<ListStore> stores_;
  std::vector<size_t> item_slots_; // slots holding only items, in order
  std::vector<size_t> gtk_slots_;  // slots for GTK's layout only, in order
  bool rows_readable_ = true;
  Records unkept_; // records when there are no extras
};

} // namespace quillet::widgets
