#pragma once

// The cells of a list's columns that hold more than a text: check boxes and radio buttons,
// icons, progress bars; cells that are edited. What a list whose columns are of such types
// (or whose cells are edited, whose rows nest, whose rows a feed updates) keeps while the
// dialog runs, on its view. The window side only.

#include <gtk/gtk.h>

#include "pictures.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillet::widgets {

// What a column of a list holds, as column-types names it.
enum class Column { text, check, radio, icon, progress, number, hidden };

// Whether a check or radio cell's text ticks it.
inline bool ticks(std::string_view text) {
  return text == "true";
}

// Pictures of the rows' icon cells that name files, decoded as the rows they are in show.
struct Icons {
  struct Entry {
    GdkPixbuf *pixbuf = nullptr; // owned; null while it is decoded, or when it cannot be shown
    bool decoded = false;
  };
  std::unordered_map<std::string, Entry> by_path;
  int size = 16;                // the side of an icon, in pixels
  Pictures *pictures = nullptr; // the dialog's, where icon files are decoded
  ~Icons();
  void clear();
};

// A list with columns of other types than text, cells to edit, nested rows or rows a feed
// updates by key.
struct WorkedList {
  GtkTreeView *view;
  GtkTreeModel *store; // the view's, held by it; a list store, or a tree store for nested rows
  std::vector<Column> types; // a type for each column of its store
  std::vector<bool> editable;
  // The column whose cells name the rows: the first text, number or hidden one.
  int name = 0;
  // The column whose cells assistive tools name a row's boxes after: the first text or number
  // one, which shows.
  int label = 0;
  bool key = false;    // a fed row whose name a row has updates that row
  bool nested = false; // its rows nest: a tree store
  // The ticked row of each radio column, if any, so that ticking another clears it at once.
  std::vector<std::optional<GtkTreeIter>> radio = {};
  // The rows by their parent and name, for a feed with a key; made when first needed.
  std::unordered_map<std::string, GtkTreeIter> keys = {};
  bool keys_made = false;
  std::vector<GtkTreeIter> last = {}; // the last row fed at each depth of a nested list
  // The row whose cells were given their values last: assistive tools learn theirs so.
  GtkTreeIter seen{};
  Icons icons = {};

  GtkTreeModel *model() const { return store; }
};

// The list `view` is, or null for a plain list (or a view quillet did not set up).
WorkedList *worked_list(GObject *view);

// Makes `list` the one its view is.
void keep_worked_list(WorkedList *list);

// The column a renderer of a worked list draws.
int column_of(GtkCellRenderer *renderer);

// The text of a cell.
std::string cell_text(GtkTreeModel *model, GtkTreeIter *iter, int column);

// Draws its columns as their types say, from the text of their cells, and gives assistive
// tools what GTK's own cells lack: a check or radio cell is named after its row and toggles
// when pressed, a bar gives its value, an editable cell takes a text.
void set_up_cells(WorkedList &list);

} // namespace quillet::widgets
