// Lists and trees of rows, one column or several, one row chosen or several. Their columns
// may hold check boxes, radio buttons, icons, progress bars, numbers or texts kept out of
// sight, their cells may be edited and their rows nested: such a list is worked, and keeps
// what it needs for that on its view (list_cells.h).

#include "family.h"
#include "list_cells.h"
#include "tables.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillet::widgets {

namespace {

using ColumnName = std::pair<std::string_view, Column>;
constexpr ColumnName kColumnTypes[] = {{"text", Column::text},         {"check", Column::check},
                                       {"radio", Column::radio},       {"icon", Column::icon},
                                       {"progress", Column::progress}, {"number", Column::number},
                                       {"hidden", Column::hidden}};

constexpr int kAnyNumber = std::numeric_limits<int>::max();

bool is_toggle(Column type) {
  return type == Column::check || type == Column::radio;
}

bool holds_text(Column type) {
  return type == Column::text || type == Column::number || type == Column::hidden;
}

// The column whose cells name a row: the first that holds a text of its own, or else the
// first that is no check or radio box.
int name_column(const std::vector<Column> &types) {
  for (const auto fits : {holds_text, +[](Column type) { return !is_toggle(type); }})
    for (size_t i = 0; i < types.size(); i++)
      if (fits(types[i]))
        return static_cast<int>(i);
  return 0;
}

// The column assistive tools name a row's boxes after: the first text or number column,
// which shows; or else the one that names the row.
int label_column(const std::vector<Column> &types) {
  const auto shown = std::ranges::find_if(
      types, [](Column type) { return type == Column::text || type == Column::number; });
  return shown != types.end() ? static_cast<int>(shown - types.begin()) : name_column(types);
}

// The first check or radio column, whose boxes the list's value is; -1 without one.
int toggle_column(const std::vector<Column> &types) {
  const auto found = std::ranges::find_if(types, is_toggle);
  return found != types.end() ? static_cast<int>(found - types.begin()) : -1;
}

// What a list keeps for the window: its starting rows, and what makes it worked.
struct ListRecord : StartingRows {
  std::vector<Column> types; // one for each column; none for a plain list
  std::vector<bool> editable;
  bool key = false;
  bool nested = false;
  std::vector<int> ticked; // the rows its <default> ticks
  // A nested list's rows, in order: its tree store is filled as the window is built.
  struct Row {
    int depth;
    std::vector<std::string> cells;
  };
  std::vector<Row> rows;
};

struct ListState : KindState {
  int store = -1;                   // the store its items are rows of
  bool multiple = false;            // several rows may be chosen
  std::vector<std::string> choices; // the texts of the rows to start on
  int columns = 1;
  ListRecord *worked = nullptr; // its record, when the list is worked
};

// column-types, editable, key and nested; a value that does not fit is ignored, with a
// --debug line. Whether any of them makes the list worked.
bool read_worked(Draft &draft, std::string_view tag, int columns, ListRecord &list) {
  list.types.assign(static_cast<size_t>(columns), Column::text);
  list.editable.assign(static_cast<size_t>(columns), false);
  if (const auto words = attribute(tag, "column-types")) {
    const std::vector<std::string_view> given = cells(*words, kAnyNumber);
    for (size_t i = 0; i < given.size(); i++) {
      const auto known = std::ranges::find(kColumnTypes, given[i], &ColumnName::first);
      if (i >= list.types.size()) {
        draft.say("<list column-types>: " + std::to_string(given.size()) +
                  " columns named, the list has " + std::to_string(columns) +
                  ": the rest are ignored.");
        break;
      }
      if (known != std::end(kColumnTypes))
        list.types[i] = known->second;
    }
  }
  if (const auto value = attribute(tag, "editable"); value == "true") {
    for (size_t i = 0; i < list.types.size(); i++)
      list.editable[i] = list.types[i] == Column::text || list.types[i] == Column::number;
  } else if (value && *value != "false") {
    for (std::string_view word : cells(*value, kAnyNumber)) {
      const auto column = count(word, columns + 1);
      if (!column || *column < 1) // no column number: the walk says so with the start tag
        continue;
      if (*column > columns)
        draft.say("<list editable>: " + std::string(word) + " is no column of the list (1 to " +
                  std::to_string(columns) + "); it is ignored.");
      else if (const Column type = list.types[static_cast<size_t>(*column - 1)];
               type != Column::text && type != Column::number)
        draft.say("<list editable>: column " + std::to_string(*column) +
                  " holds no text to edit; it is ignored.");
      else
        list.editable[static_cast<size_t>(*column - 1)] = true;
    }
  }
  list.key = attribute(tag, "key") == "first";
  list.nested = attribute(tag, "nested") == "true";
  return list.key || list.nested || std::ranges::count(list.editable, true) > 0 ||
         std::ranges::any_of(list.types, [](Column type) { return type != Column::text; });
}

// A column of the view: its renderer, as its type draws, and the text it shows.
void append_column(GString *sb, size_t column, const std::string *title, Column type,
                   bool editable) {
  append(sb, "<child>\n<object class=\"GtkTreeViewColumn\">\n");
  if (title != nullptr) {
    append(sb, "<property name=\"title\">");
    append(sb, *title);
    append(sb, "</property>\n<property name=\"resizable\">True</property>\n");
  }
  if (type == Column::hidden)
    append(sb, property("visible", "False"));
  if (type == Column::number)
    append(sb, property("alignment", "1"));
  std::string properties;
  if (is_toggle(type))
    properties += property("activatable", "True");
  if (type == Column::radio)
    properties += property("radio", "True");
  if (type == Column::number)
    properties += property("xalign", "1");
  if (editable)
    properties += property("editable", "True");
  append(sb, "<child>\n<object class=\"");
  append(sb, is_toggle(type)            ? "GtkCellRendererToggle"
             : type == Column::progress ? "GtkCellRendererProgress"
             : type == Column::icon     ? "GtkCellRendererPixbuf"
                                        : "GtkCellRendererText");
  append(sb, properties.empty() ? "\"/>\n" : "\">\n" + properties + "</object>\n");
  if (holds_text(type))
    g_string_append_printf(sb,
                           "<attributes>\n<attribute name=\"text\">%zu</attribute>\n"
                           "</attributes>\n",
                           column);
  append(sb, "</child>\n</object>\n</child>\n");
}

// A list or tree with a column for each title the columns attribute gives, with headers, or
// one column without; several rows may be chosen with selection="multiple". Its items are the
// rows of a store of its own: a list store, or with nested rows a tree store.
void start_list(Draft &draft, Element &element, const Tag &tag) {
  ListState &state = state_of<ListState>(element);
  const bool multiple = attribute(tag.line, "selection") == "multiple";
  state.multiple = multiple;
  std::vector<std::string> titles;
  if (const auto columns = attribute(tag.line, "columns"); columns && !columns->empty())
    for (std::string_view title : cells(*columns, kAnyNumber))
      titles.push_back(layout_text(title));
  state.columns = std::max<int>(1, static_cast<int>(titles.size()));
  if (ListRecord worked; read_worked(draft, tag.line, state.columns, worked)) {
    state.worked = &record_of<ListRecord>(draft, element);
    *state.worked = std::move(worked);
  }
  state.store = draft.declare_store(element.id, state.worked != nullptr && state.worked->nested);
  draft.store(state.store).columns = state.columns;

  GString *sb = draft.body;
  const char *id = element.id.c_str();
  open_child_object(sb, "GtkScrolledWindow");
  append(sb, "<property name=\"min-content-height\">120</property>\n"
             "<property name=\"propagate-natural-height\">True</property>\n");
  open_child_object(sb, "GtkTreeView", id);
  append(sb, !titles.empty() ? "<property name=\"headers-visible\">True</property>\n"
                             : "<property name=\"headers-visible\">False</property>\n");
  append(sb, "<property name=\"model\">model_");
  g_string_append(sb, id);
  append(sb, "</property>\n");
  if (multiple)
    append(sb, "<child internal-child=\"selection\">\n<object class=\"GtkTreeSelection\">\n"
               "<property name=\"mode\">multiple</property>\n</object>\n</child>\n");
  for (size_t i = 0; i < static_cast<size_t>(state.columns); i++)
    append_column(sb, i, !titles.empty() ? &titles[i] : nullptr,
                  state.worked != nullptr ? state.worked->types[i] : Column::text,
                  state.worked != nullptr && state.worked->editable[i]);
}

// A row of a nested list: as deep as the tabs it starts with say, but at most one deeper
// than the row before it. From the markup, its cells as GTK would read them from the layout.
void add_nested(ListState &state, std::string_view line, bool markup) {
  size_t tabs = 0;
  while (tabs < line.size() && line[tabs] == '\t')
    tabs++;
  std::vector<ListRecord::Row> &rows = state.worked->rows;
  const int before = rows.empty() ? -1 : rows.back().depth;
  ListRecord::Row &row =
      rows.emplace_back(ListRecord::Row{std::min(static_cast<int>(tabs), before + 1), {}});
  for (std::string_view cell : cells(line.substr(tabs), state.columns))
    row.cells.push_back(markup ? parsed_text(with_carriage_returns(cell)).value_or(plain_text(cell))
                               : std::string(cell));
  row.cells.resize(static_cast<size_t>(state.columns));
}

void list_item(Draft &draft, Element &list, std::string_view text) {
  ListState &state = state_of<ListState>(list);
  if (state.worked != nullptr && state.worked->nested)
    add_nested(state, text, true);
  else if (state.store != -1)
    draft.add_row(state.store, text);
}

// A nested list takes an <input>'s lines whole, tabs and all.
bool list_input(Draft &, Element &list, std::string_view output) {
  ListState &state = state_of<ListState>(list);
  if (state.worked == nullptr || !state.worked->nested)
    return false;
  for (std::string_view line : Lines(output))
    if (!strip(line).empty())
      add_nested(state, line, false);
  return true;
}

// The row to start on, or with several to choose (or to tick), one row for each line.
void list_default(Draft &, Element &list, const std::string &text) {
  ListState &state = state_of<ListState>(list);
  const int toggle = state.worked != nullptr ? toggle_column(state.worked->types) : -1;
  if (!state.multiple && (toggle == -1 || state.worked->types[toggle] == Column::radio)) {
    state.choices.push_back(plain_text(text));
  } else {
    g_auto(GStrv) lines = g_strsplit(text.c_str(), "\n", -1);
    for (char **choice = lines; *choice != nullptr; choice++)
      state.choices.push_back(plain_text(*choice));
  }
}

// The rows its <default> asks for: those whose text (cells joined by '|') or first text cell
// is one of its lines, or in a nested list whose path is; the first such row, or with several
// to choose or check boxes each of them. Once the walk has ended, so that every row is in.
void choose_rows(Draft &draft, Element &list) {
  const ListState &state = state_of<ListState>(list);
  if (state.choices.empty())
    return;
  ListRecord &chosen = record_of<ListRecord>(draft, list);
  const int name = name_column(chosen.types);
  const int toggle = toggle_column(chosen.types);
  std::vector<std::string> path; // the names down to the row, in a nested list
  int row = -1;
  // Whether the row is the last one to choose.
  const auto take = [&](const std::vector<std::string> &cells, int depth) {
    row++;
    std::string text;
    for (const std::string &cell : cells)
      text += (&cell != cells.data() ? "|" : "") + cell;
    const std::string &first = cells[std::min<size_t>(static_cast<size_t>(name), cells.size() - 1)];
    if (chosen.nested) {
      path.resize(static_cast<size_t>(depth));
      path.push_back(first);
      text.clear();
      for (const std::string &step : path)
        text += (&step != path.data() ? "/" : "") + step;
    }
    const auto is_choice = [&](const std::string &choice) {
      return choice == text || (!chosen.nested && choice == first);
    };
    if (!std::ranges::any_of(state.choices, is_choice))
      return false;
    if (toggle != -1)
      chosen.ticked.push_back(row);
    else if (state.multiple)
      chosen.selected.push_back(row);
    else
      chosen.chosen = row;
    return toggle != -1 ? chosen.types[toggle] == Column::radio : !state.multiple;
  };
  if (chosen.nested) {
    for (const ListRecord::Row &nested : chosen.rows)
      if (take(nested.cells, nested.depth))
        return;
    return;
  }
  for (std::string_view line : Lines(draft.store(state.store).rows)) {
    std::vector<std::string> cells;
    for (size_t at = line.find("<col id="); at != std::string_view::npos;
         at = line.find("<col id=", at + 1)) {
      const size_t start = line.find('>', at) + 1;
      cells.push_back(plain_text(line.substr(start, line.find("</col>", at) - start)));
    }
    if (!cells.empty() && take(cells, 0))
      return;
  }
}

void describe_list(const KindState &record, std::string_view id, std::vector<Note> &notes) {
  describe_starting_rows(record, id, notes);
  const auto &list = static_cast<const ListRecord &>(record);
  if (list.types.empty())
    return;
  std::string line = std::string(id) + " columns";
  for (const Column type : list.types)
    line += " " + std::string(std::ranges::find(kColumnTypes, type, &ColumnName::second)->first);
  std::string edits;
  for (size_t i = 0; i < list.editable.size(); i++)
    if (list.editable[i])
      edits += " " + std::to_string(i + 1);
  line += edits.empty() ? "" : ", edits" + edits;
  line += list.key ? ", keyed" : "";
  line += list.nested ? ", nested" : "";
  notes.push_back({"columns", std::move(line)});
  if (!list.ticked.empty()) {
    line = std::string(id) + " ticks";
    for (int row : list.ticked)
      line += " " + std::to_string(row);
    notes.push_back({"ticks", std::move(line)});
  }
  for (const ListRecord::Row &row : list.rows)
    notes.push_back({"rows", std::string(id) + " row " +
                                 std::string(static_cast<size_t>(row.depth), '>') +
                                 table_text({row.cells})});
}

// --- The window ------------------------------------------------------------------------

bool same_row(const GtkTreeIter &a, const GtkTreeIter &b) {
  return a.user_data == b.user_data;
}

void set_cell(GtkTreeModel *model, GtkTreeIter *iter, int column, const char *text) {
  if (GTK_IS_LIST_STORE(model))
    gtk_list_store_set(GTK_LIST_STORE(model), iter, column, text, -1);
  else if (GTK_IS_TREE_STORE(model))
    gtk_tree_store_set(GTK_TREE_STORE(model), iter, column, text, -1);
}

// Calls `take` with each row and its depth, each row before those nested in it.
template <typename Take> void each_row(GtkTreeModel *model, Take take) {
  GtkTreeIter iter;
  if (model == nullptr || !gtk_tree_model_get_iter_first(model, &iter))
    return;
  for (int depth = 0;;) {
    take(iter, depth);
    if (GtkTreeIter child; gtk_tree_model_iter_children(model, &child, &iter)) {
      iter = child;
      depth++;
      continue;
    }
    for (GtkTreeIter next = iter; !gtk_tree_model_iter_next(model, &next); next = iter) {
      GtkTreeIter parent;
      if (!gtk_tree_model_iter_parent(model, &parent, &iter))
        return;
      iter = parent;
      depth--;
    }
    gtk_tree_model_iter_next(model, &iter);
  }
}

// What names a row in the value: its name, or in a nested list the names of the rows down to
// it joined by '/'.
std::string row_name(const WorkedList &list, GtkTreeIter *iter) {
  std::string path = cell_text(list.store, iter, list.name);
  for (GtkTreeIter child = *iter, parent;
       list.nested && gtk_tree_model_iter_parent(list.store, &parent, &child); child = parent)
    path = cell_text(list.store, &parent, list.name) + "/" + path;
  return path;
}

// A row as its cells joined by '|'; in a nested list, its path.
void append_row(std::string &out, GtkTreeModel *model, GtkTreeIter *iter, const WorkedList *list) {
  if (list != nullptr && list->nested) {
    out += row_name(*list, iter);
    return;
  }
  const int columns = gtk_tree_model_get_n_columns(model);
  for (int column = 0; column < columns; column++) {
    g_autofree char *text = nullptr;
    gtk_tree_model_get(model, iter, column, &text, -1);
    if (column > 0)
      out += '|';
    out += text != nullptr ? text : "";
  }
}

// What the list's value is: the chosen rows; the rows ticked in its check column; the row
// ticked in its radio column; or, when its cells are edited or it has more check or radio
// columns than one, every row with every cell.
enum class Answer { chosen, ticked, ticked_one, table };

Answer answer_of(const WorkedList *list) {
  if (list == nullptr)
    return Answer::chosen;
  const auto toggles = std::ranges::count_if(list->types, is_toggle);
  if (toggles > 1 || std::ranges::count(list->editable, true) > 0)
    return Answer::table;
  if (toggles == 0)
    return Answer::chosen;
  return list->types[toggle_column(list->types)] == Column::radio ? Answer::ticked_one
                                                                  : Answer::ticked;
}

// Ticks the row in radio column `column`, and clears the one ticked before.
void tick_radio(WorkedList &list, int column, GtkTreeIter *iter) {
  std::optional<GtkTreeIter> &ticked = list.radio[static_cast<size_t>(column)];
  if (ticked && !same_row(*ticked, *iter))
    set_cell(list.store, &*ticked, column, "false");
  ticked = *iter;
  if (!ticks(cell_text(list.store, iter, column)))
    set_cell(list.store, iter, column, "true");
}

// After a row's cells are set: each radio column keeps one row ticked at most, the last.
void keep_radio(WorkedList &list, GtkTreeIter *iter) {
  for (int column = 0; column < static_cast<int>(list.types.size()); column++) {
    std::optional<GtkTreeIter> &ticked = list.radio[static_cast<size_t>(column)];
    if (list.types[static_cast<size_t>(column)] != Column::radio)
      continue;
    if (ticks(cell_text(list.store, iter, column)))
      tick_radio(list, column, iter);
    else if (ticked && same_row(*ticked, *iter))
      ticked.reset();
  }
}

// A row's key: the row it is nested in, and its name.
std::string key_of(const GtkTreeIter *parent, std::string_view name) {
  const gpointer in = parent != nullptr ? parent->user_data : nullptr;
  std::string key(reinterpret_cast<const char *>(&in), sizeof in);
  key += name;
  return key;
}

void make_keys(WorkedList &list) {
  list.keys.clear();
  each_row(list.store, [&](GtkTreeIter &iter, int) {
    GtkTreeIter parent;
    const bool nested = gtk_tree_model_iter_parent(list.store, &parent, &iter);
    list.keys.try_emplace(
        key_of(nested ? &parent : nullptr, cell_text(list.store, &iter, list.name)), iter);
  });
  list.keys_made = true;
}

// Puts a row of `cells` at `depth` (under the last row put one level up): with `keyed`, in
// place of the row there whose name it has, setting only the cells it gives; otherwise after
// the last, its missing cells empty.
void put_row(WorkedList &list, int depth, const std::vector<std::string> &cells, bool keyed) {
  const int columns = gtk_tree_model_get_n_columns(list.store);
  GtkTreeIter *parent = nullptr;
  if (list.nested) {
    depth = std::min(depth, static_cast<int>(list.last.size()));
    parent = depth > 0 ? &list.last[static_cast<size_t>(depth - 1)] : nullptr;
  }
  GtkTreeIter iter;
  std::string key;
  bool found = false;
  if (keyed && list.key && static_cast<size_t>(list.name) < cells.size()) {
    if (!list.keys_made)
      make_keys(list);
    key = key_of(parent, cells[static_cast<size_t>(list.name)]);
    if (const auto at = list.keys.find(key); at != list.keys.end()) {
      iter = at->second;
      found = true;
    }
  }
  const int given = found ? std::min(columns, static_cast<int>(cells.size())) : columns;
  std::vector<int> numbers(static_cast<size_t>(given));
  std::vector<GValue> values(static_cast<size_t>(given));
  for (size_t i = 0; i < values.size(); i++) {
    numbers[i] = static_cast<int>(i);
    g_value_init(&values[i], G_TYPE_STRING);
    g_value_set_static_string(&values[i], i < cells.size() ? cells[i].c_str() : "");
  }
  if (GTK_IS_LIST_STORE(list.store) && found)
    gtk_list_store_set_valuesv(GTK_LIST_STORE(list.store), &iter, numbers.data(), values.data(),
                               given);
  else if (GTK_IS_LIST_STORE(list.store))
    gtk_list_store_insert_with_valuesv(GTK_LIST_STORE(list.store), &iter, -1, numbers.data(),
                                       values.data(), given);
  else if (found)
    gtk_tree_store_set_valuesv(GTK_TREE_STORE(list.store), &iter, numbers.data(), values.data(),
                               given);
  else
    gtk_tree_store_insert_with_valuesv(GTK_TREE_STORE(list.store), &iter, parent, -1,
                                       numbers.data(), values.data(), given);
  for (GValue &value : values)
    g_value_unset(&value);
  if (!found && !key.empty())
    list.keys.try_emplace(key, iter);
  keep_radio(list, &iter);
  if (list.nested) {
    list.last.resize(static_cast<size_t>(depth));
    list.last.push_back(iter);
  }
}

// A line as a worked list takes it: in a nested list the tabs it starts with give its depth;
// stripped, split on '|' into the list's columns with the extra cells left in the last.
void feed_worked(WorkedList &list, std::string_view line) {
  size_t tabs = 0;
  while (list.nested && tabs < line.size() && line[tabs] == '\t')
    tabs++;
  const std::string_view row = strip(line.substr(tabs));
  if (row.empty())
    return;
  std::vector<std::string> given;
  for (std::string_view cell : cells(row, gtk_tree_model_get_n_columns(list.store)))
    given.emplace_back(cell);
  put_row(list, static_cast<int>(tabs), given, true);
}

void on_row_activated(GtkTreeView *, GtkTreePath *, GtkTreeViewColumn *, gpointer ok) {
  gtk_button_clicked(GTK_BUTTON(ok));
}

// Opens the rows a nested row is in, so that it shows.
void reveal(GtkTreeView *view, GtkTreePath *path) {
  if (gtk_tree_path_get_depth(path) < 2)
    return;
  g_autoptr(GtkTreePath) parent = gtk_tree_path_copy(path);
  gtk_tree_path_up(parent);
  gtk_tree_view_expand_to_path(view, parent);
}

void show_row(GtkTreeView *view, GtkTreePath *path) {
  reveal(view, path);
  gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
  gtk_tree_view_scroll_to_cell(view, path, nullptr, TRUE, 0.5, 0);
}

// Rows that came apart from the layout, cell by cell, into the view's store.
void fill_rows(GtkTreeView *view, const std::vector<std::string> &cells) {
  GtkTreeModel *model = gtk_tree_view_get_model(view);
  if (!GTK_IS_LIST_STORE(model))
    return;
  const size_t columns = static_cast<size_t>(gtk_tree_model_get_n_columns(model));
  std::vector<int> numbers(columns);
  std::vector<GValue> values(columns);
  for (size_t column = 0; column < columns; column++) {
    numbers[column] = static_cast<int>(column);
    g_value_init(&values[column], G_TYPE_STRING);
  }
  // Out of the view meanwhile: a view updates itself for every row put into its store.
  g_autoptr(GtkTreeModel) held = GTK_TREE_MODEL(g_object_ref(model));
  gtk_tree_view_set_model(view, nullptr);
  for (size_t at = 0; at + columns <= cells.size(); at += columns) {
    for (size_t column = 0; column < columns; column++)
      g_value_set_static_string(&values[column], cells[at + column].c_str());
    gtk_list_store_insert_with_valuesv(GTK_LIST_STORE(model), nullptr, -1, numbers.data(),
                                       values.data(), static_cast<int>(columns));
  }
  for (GValue &value : values)
    g_value_unset(&value);
  gtk_tree_view_set_model(view, model);
}

// A nested list's rows from the markup, out of the view meanwhile; the iters of those it
// starts on.
std::vector<GtkTreeIter> fill_nested(WorkedList &list, const std::vector<ListRecord::Row> &rows) {
  std::vector<GtkTreeIter> iters;
  gtk_tree_view_set_model(list.view, nullptr);
  for (const ListRecord::Row &row : rows) {
    put_row(list, row.depth, row.cells, false);
    iters.push_back(list.last.back());
  }
  gtk_tree_view_set_model(list.view, list.store);
  return iters;
}

// A check box ticked or cleared by the user; a radio button ticked clears the one ticked
// before, and one ticked stays so.
void on_toggled(GtkCellRendererToggle *renderer, char *path, gpointer data) {
  auto &list = *static_cast<WorkedList *>(data);
  const int column = column_of(GTK_CELL_RENDERER(renderer));
  GtkTreeIter iter;
  if (column < 0 || !gtk_tree_model_get_iter_from_string(list.store, &iter, path))
    return;
  const bool ticked = ticks(cell_text(list.store, &iter, column));
  if (list.types[static_cast<size_t>(column)] == Column::radio)
    tick_radio(list, column, &iter);
  else
    set_cell(list.store, &iter, column, ticked ? "false" : "true");
}

// An edit ended with Enter, or a text from assistive tools. In a nested list the tabs a
// row's first cell starts with would give depth in the value: they are dropped.
void on_edited(GtkCellRendererText *renderer, char *path, char *text, gpointer data) {
  auto &list = *static_cast<WorkedList *>(data);
  const int column = column_of(GTK_CELL_RENDERER(renderer));
  GtkTreeIter iter;
  if (column < 0 || !gtk_tree_model_get_iter_from_string(list.store, &iter, path))
    return;
  while (list.nested && column == 0 && *text == '\t')
    text++;
  set_cell(list.store, &iter, column, text);
  if (column == list.name)
    list.keys_made = false;
}

// Numbers first, in order of their values (a cell is read up to the first character that
// is no part of a number: "45 Fetching" as 45); then the other texts.
int by_number(GtkTreeModel *model, GtkTreeIter *a, GtkTreeIter *b, gpointer column) {
  const std::string x = cell_text(model, a, GPOINTER_TO_INT(column));
  const std::string y = cell_text(model, b, GPOINTER_TO_INT(column));
  char *x_end = nullptr, *y_end = nullptr;
  const double nx = g_ascii_strtod(x.c_str(), &x_end), ny = g_ascii_strtod(y.c_str(), &y_end);
  const bool x_read = x_end != x.c_str() && !std::isnan(nx);
  const bool y_read = y_end != y.c_str() && !std::isnan(ny);
  if (x_read && y_read)
    return nx < ny ? -1 : nx > ny ? 1 : 0;
  if (x_read != y_read)
    return x_read ? -1 : 1;
  return g_utf8_collate(x.c_str(), y.c_str());
}

// A click on a header sorts the rows by its column, a number or progress column by number:
// set as the window is built, for the layout to stay as the markup has it.
void sort_by_headers(GtkTreeView *view, const WorkedList *list) {
  GtkTreeModel *model = gtk_tree_view_get_model(view);
  if (!gtk_tree_view_get_headers_visible(view) || !GTK_IS_TREE_SORTABLE(model))
    return;
  const int columns = std::min<int>(static_cast<int>(gtk_tree_view_get_n_columns(view)),
                                    gtk_tree_model_get_n_columns(model));
  for (int i = 0; i < columns; i++) {
    gtk_tree_view_column_set_sort_column_id(gtk_tree_view_get_column(view, i), i);
    const Column type = list != nullptr ? list->types[static_cast<size_t>(i)] : Column::text;
    if (type == Column::number || type == Column::progress)
      gtk_tree_sortable_set_sort_func(GTK_TREE_SORTABLE(model), i, by_number, GINT_TO_POINTER(i),
                                      nullptr);
  }
}

// Its rows and starting rows; a double-clicked row presses OK, unless an on="activate"
// action runs instead (that one stops the signal before handlers connected after it), or
// the list's boxes are ticked or its cells edited.
void set_up_list(GObject *widget, const Setup &setup) {
  auto *view = GTK_TREE_VIEW(widget);
  const auto *start = record_of<ListRecord>(setup);
  WorkedList *list = nullptr;
  if (start != nullptr && !start->types.empty()) {
    list = new WorkedList{.view = view,
                          .store = gtk_tree_view_get_model(view),
                          .types = start->types,
                          .editable = start->editable,
                          .name = name_column(start->types),
                          .label = label_column(start->types),
                          .key = start->key,
                          .nested = start->nested};
    list->radio.resize(list->types.size());
    list->icons.pictures = setup.pictures;
    keep_worked_list(list);
  }
  std::vector<GtkTreeIter> nested;
  if (list != nullptr && list->nested && GTK_IS_TREE_STORE(list->store))
    nested = fill_nested(*list, start->rows);
  else if (const auto rows = setup.extras.rows.find(std::string(setup.id));
           rows != setup.extras.rows.end())
    fill_rows(view, rows->second);
  GtkTreeModel *model = gtk_tree_view_get_model(view);
  const auto path_at = [&](int row) {
    GtkTreeIter iter;
    return list != nullptr && list->nested
               ? static_cast<size_t>(row) < nested.size()
                     ? gtk_tree_model_get_path(model, &nested[static_cast<size_t>(row)])
                     : nullptr
           : gtk_tree_model_iter_nth_child(model, &iter, nullptr, row)
               ? gtk_tree_model_get_path(model, &iter)
               : nullptr;
  };
  if (start != nullptr && start->chosen)
    if (g_autoptr(GtkTreePath) path = path_at(*start->chosen))
      show_row(view, path);
  GtkTreeSelection *selection = gtk_tree_view_get_selection(view);
  for (size_t i = 0; start != nullptr && i < start->selected.size(); i++) {
    g_autoptr(GtkTreePath) path = path_at(start->selected[i]);
    if (path == nullptr)
      continue;
    if (i == 0)
      show_row(view, path);
    reveal(view, path);
    gtk_tree_selection_select_path(selection, path);
  }
  if (list != nullptr) {
    // One row ticked at most in a radio column: the first, or the one the <default> names.
    if (std::ranges::count(list->types, Column::radio) > 0)
      each_row(model, [&](GtkTreeIter &iter, int) {
        for (size_t column = 0; column < list->types.size(); column++)
          if (list->types[column] == Column::radio &&
              ticks(cell_text(model, &iter, static_cast<int>(column))))
            list->radio[column] ? set_cell(model, &iter, static_cast<int>(column), "false")
                                : void(list->radio[column] = iter);
      });
    const int toggle = toggle_column(list->types);
    for (int row : start->ticked) {
      GtkTreeIter iter;
      g_autoptr(GtkTreePath) path = path_at(row);
      if (path == nullptr || !gtk_tree_model_get_iter(model, &iter, path))
        continue;
      reveal(view, path);
      if (list->types[static_cast<size_t>(toggle)] == Column::radio)
        tick_radio(*list, toggle, &iter);
      else
        set_cell(model, &iter, toggle, "true");
    }
    set_up_cells(*list);
    for (int i = 0; i < static_cast<int>(list->types.size()); i++) {
      GtkTreeViewColumn *column = gtk_tree_view_get_column(view, i);
      g_autoptr(GList) cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column));
      if (cells != nullptr && is_toggle(list->types[static_cast<size_t>(i)]))
        g_signal_connect(cells->data, "toggled", G_CALLBACK(on_toggled), list);
      else if (cells != nullptr && list->editable[static_cast<size_t>(i)])
        g_signal_connect(cells->data, "edited", G_CALLBACK(on_edited), list);
    }
    // Typing finds a row by the text it shows first.
    gtk_tree_view_set_search_column(view, list->label);
  }
  sort_by_headers(view, list);
  if (setup.ok != nullptr && answer_of(list) == Answer::chosen)
    g_signal_connect_after(widget, "row-activated", G_CALLBACK(on_row_activated), setup.ok);
}

// The rows ticked in its first check column, a line each.
Value read_ticked(const WorkedList &list) {
  const int toggle = toggle_column(list.types);
  Value value;
  value.lines = value.rows = true;
  each_row(list.store, [&](GtkTreeIter &iter, int) {
    if (ticks(cell_text(list.store, &iter, toggle)))
      value.items.push_back(row_name(list, &iter));
  });
  for (const std::string &item : value.items)
    value.text += (&item != value.items.data() ? "\n" : "") + item;
  return value;
}

// Every row with every cell, a check box's "true" or "false"; in a nested list, a row's first
// cell after a tab for each level it is nested.
Value read_table(const WorkedList &list) {
  Table rows;
  each_row(list.store, [&](GtkTreeIter &iter, int depth) {
    std::vector<std::string> &row = rows.emplace_back();
    for (int column = 0; column < static_cast<int>(list.types.size()); column++) {
      row.push_back(cell_text(list.store, &iter, column));
      if (is_toggle(list.types[static_cast<size_t>(column)]))
        row.back() = ticks(row.back()) ? "true" : "false";
    }
    if (list.nested)
      row[0].insert(0, static_cast<size_t>(depth), '\t');
  });
  Value value{.text = table_text(rows), .lines = true};
  value.table = std::move(rows);
  return value;
}

// The chosen row; where several may be chosen, each of them on a line of its own, in the
// list's order. A list of boxes gives those ticked, and one whose cells are edited its rows.
Value read_list(GObject *widget) {
  const WorkedList *list = worked_list(widget);
  switch (answer_of(list)) {
  case Answer::ticked:
    return read_ticked(*list);
  case Answer::ticked_one: {
    const std::optional<GtkTreeIter> &row = list->radio[toggle_column(list->types)];
    GtkTreeIter iter = row.value_or(GtkTreeIter{});
    return {row ? row_name(*list, &iter) : std::string()};
  }
  case Answer::table:
    return read_table(*list);
  case Answer::chosen:
    break;
  }
  GtkTreeSelection *selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(widget));
  GtkTreeModel *model = nullptr;
  GtkTreeIter iter;
  Value value;
  value.lines = gtk_tree_selection_get_mode(selection) == GTK_SELECTION_MULTIPLE;
  value.rows = value.lines;
  if (value.lines) {
    GList *rows = gtk_tree_selection_get_selected_rows(selection, &model);
    for (GList *row = rows; row != nullptr; row = row->next)
      if (gtk_tree_model_get_iter(model, &iter, static_cast<GtkTreePath *>(row->data))) {
        if (row != rows)
          value.text += '\n';
        append_row(value.text, model, &iter, list);
      }
    g_list_free_full(rows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
  } else if (gtk_tree_selection_get_selected(selection, &model, &iter)) {
    append_row(value.text, model, &iter, list);
  }
  return value;
}

// The lines of a text, as a multiset: a line given twice is two rows.
std::unordered_map<std::string, int> wanted_lines(const std::string &text, bool several) {
  std::unordered_map<std::string, int> wanted;
  for (size_t start = 0; !text.empty() && start <= text.size();) {
    const size_t end = several ? std::min(text.find('\n', start), text.size()) : text.size();
    wanted[text.substr(start, end - start)]++;
    start = end + 1;
  }
  return wanted;
}

// Ticks the rows a line of `text` names, as read_ticked gives them, and clears the others.
bool tick_rows(WorkedList &list, const std::string &text) {
  const int toggle = toggle_column(list.types);
  std::unordered_map<std::string, int> wanted = wanted_lines(text, true);
  std::vector<GtkTreeIter> ticked, cleared;
  each_row(list.store, [&](GtkTreeIter &iter, int) {
    const auto at = wanted.find(row_name(list, &iter));
    if (at != wanted.end() && at->second-- > 0)
      ticked.push_back(iter);
    else if (ticks(cell_text(list.store, &iter, toggle)))
      cleared.push_back(iter);
  });
  if (!text.empty() && ticked.empty())
    return false;
  for (GtkTreeIter &iter : cleared)
    set_cell(list.store, &iter, toggle, "false");
  for (GtkTreeIter &iter : ticked)
    set_cell(list.store, &iter, toggle, "true");
  return true;
}

// Ticks the row `text` names, or none for an empty text.
bool tick_one(WorkedList &list, const std::string &text) {
  const int toggle = toggle_column(list.types);
  std::optional<GtkTreeIter> named;
  each_row(list.store, [&](GtkTreeIter &iter, int) {
    if (!named && !text.empty() && row_name(list, &iter) == text)
      named = iter;
  });
  if (named) {
    tick_radio(list, toggle, &*named);
  } else if (text.empty() && list.radio[static_cast<size_t>(toggle)]) {
    set_cell(list.store, &*list.radio[static_cast<size_t>(toggle)], toggle, "false");
    list.radio[static_cast<size_t>(toggle)].reset();
  }
  return named || text.empty();
}

void clear_list(GObject *widget);

// Rows as read_table writes them in place of the list's own; none with more cells than the
// list has columns, or that are no UTF-8.
bool set_table(WorkedList &list, const std::string &text) {
  std::optional<Table> rows = table_rows(text);
  const size_t columns = list.types.size();
  if (!rows || std::ranges::any_of(*rows, [&](const std::vector<std::string> &row) {
        return row.size() > columns || std::ranges::any_of(row, [](const std::string &cell) {
                 return !g_utf8_validate(cell.data(), static_cast<gssize>(cell.size()), nullptr);
               });
      }))
    return false;
  clear_list(G_OBJECT(list.view));
  for (std::vector<std::string> &row : *rows) {
    size_t depth = 0;
    while (list.nested && depth < row[0].size() && row[0][depth] == '\t')
      depth++;
    row[0].erase(0, depth);
    put_row(list, static_cast<int>(depth), row, false);
  }
  return true;
}

// The rows whose text (as `read_list` gives it) is a line of `text`, a line for each row, in
// the list's order; none for an empty text. A text that names no row is not taken.
bool set_list(GObject *widget, const std::string &text) {
  auto *view = GTK_TREE_VIEW(widget);
  WorkedList *list = worked_list(widget);
  switch (answer_of(list)) {
  case Answer::ticked:
    return tick_rows(*list, text);
  case Answer::ticked_one:
    return tick_one(*list, text);
  case Answer::table:
    return set_table(*list, text);
  case Answer::chosen:
    break;
  }
  GtkTreeSelection *selection = gtk_tree_view_get_selection(view);
  GtkTreeModel *model = gtk_tree_view_get_model(view);
  std::unordered_map<std::string, int> wanted =
      wanted_lines(text, gtk_tree_selection_get_mode(selection) == GTK_SELECTION_MULTIPLE);
  std::vector<GtkTreeIter> found;
  each_row(model, [&](GtkTreeIter &iter, int) {
    if (wanted.empty())
      return;
    std::string row;
    append_row(row, model, &iter, list);
    if (const auto at = wanted.find(row); at != wanted.end()) {
      found.push_back(iter);
      if (--at->second == 0)
        wanted.erase(at);
    }
  });
  if (!text.empty() && found.empty())
    return false;
  gtk_tree_selection_unselect_all(selection);
  for (size_t i = 0; i < found.size(); i++) {
    g_autoptr(GtkTreePath) path = gtk_tree_model_get_path(model, &found[i]);
    if (i == 0)
      show_row(view, path);
    reveal(view, path);
    gtk_tree_selection_select_path(selection, path);
  }
  return true;
}

// What the user changes: the chosen rows, or the boxes and cells of a list whose value they
// are.
GObject *list_changes(GObject *widget) {
  const WorkedList *list = worked_list(widget);
  if (answer_of(list) != Answer::chosen)
    return G_OBJECT(list->store);
  return G_OBJECT(gtk_tree_view_get_selection(GTK_TREE_VIEW(widget)));
}

void clear_list(GObject *widget) {
  GtkTreeModel *model = gtk_tree_view_get_model(GTK_TREE_VIEW(widget));
  if (GTK_IS_LIST_STORE(model))
    gtk_list_store_clear(GTK_LIST_STORE(model));
  else if (GTK_IS_TREE_STORE(model))
    gtk_tree_store_clear(GTK_TREE_STORE(model));
  if (WorkedList *list = worked_list(widget)) {
    list->radio.assign(list->types.size(), std::nullopt);
    list->keys.clear();
    list->keys_made = false;
    list->last.clear();
  }
}

// Rows as an input command's items are: stripped, blank lines skipped, split on '|' into the
// list's columns with the extra cells left in the last. A worked list may nest them, or
// update a row in place (feed_worked).
void feed_list(GObject *widget, const std::string &line) {
  if (!GTK_IS_TREE_VIEW(widget))
    return;
  if (WorkedList *list = worked_list(widget)) {
    feed_worked(*list, line);
    return;
  }
  GtkTreeModel *model = gtk_tree_view_get_model(GTK_TREE_VIEW(widget));
  const std::string row(strip(line));
  if (!GTK_IS_LIST_STORE(model) || row.empty())
    return;
  const int columns = gtk_tree_model_get_n_columns(model);
  if (columns == 1) {
    gtk_list_store_insert_with_values(GTK_LIST_STORE(model), nullptr, -1, 0, row.c_str(), -1);
    return;
  }
  g_auto(GStrv) cells = g_strsplit(row.c_str(), "|", columns);
  GtkTreeIter iter;
  gtk_list_store_insert(GTK_LIST_STORE(model), &iter, -1);
  for (int column = 0; column < columns && cells[column] != nullptr; column++)
    gtk_list_store_set(GTK_LIST_STORE(model), &iter, column,
                       std::string(strip(cells[column])).c_str(), -1);
}

// Rows as a feed's lines give them, in place of its own.
void refill_list(GObject *widget, const std::string &output) {
  clear_list(widget);
  for (std::string_view line : Lines(output))
    feed_list(widget, std::string(line));
}

constexpr Attribute kListTakes[] = {
    {"columns"},
    {"selection", Takes::words, "single|multiple", 0, 0, "one row is chosen"},
    {"column-types", Takes::word_list, "text|check|radio|icon|progress|number|hidden", 0, 0,
     "a column of an unknown type holds text"},
    {"editable", Takes::columns, {}, 0, 0, "what is no column number is ignored"},
    {"key", Takes::words, "first"},
    {"nested", Takes::words, "true|false"},
};

constexpr Kind kList = {.element = "list",
                        .takes = kListTakes,
                        .start = start_list,
                        .end = end_two_objects,
                        .new_state = make<ListState>,
                        .item = list_item,
                        .input = list_input,
                        .set_default = list_default,
                        .walk_ended = choose_rows,
                        .type = gtk_tree_view_get_type,
                        .named = true,
                        .focused = true,
                        .new_record = make<ListRecord>,
                        .describe = describe_list,
                        .set_up = set_up_list,
                        .read = read_list,
                        .feed = feed_list,
                        .change_signal = "changed|row-changed",
                        .change_source = list_changes,
                        .activate_signal = "row-activated",
                        .fills = true,
                        .clear = clear_list,
                        .set_value = set_list,
                        .refill = refill_list};

constexpr Kind kKinds[] = {
    kList,
    renamed(kList, "tree"),
};

const Family kFamily("lists", kKinds);

} // namespace

} // namespace quillet::widgets
