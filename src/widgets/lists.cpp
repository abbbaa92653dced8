// Lists and trees of rows, one column or several, one row chosen or several.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillet::widgets {

namespace {

struct ListState : KindState {
  int store = -1;                   // the list store its items are rows of
  bool multiple = false;            // several rows may be chosen
  std::vector<std::string> choices; // the texts of the rows to start on
};

// A list or tree with a column for each title the columns attribute gives, with headers, or
// one column without; several rows may be chosen with selection="multiple". Its items are the
// rows of a list store of its own.
void start_list(Draft &draft, Element &element, const Tag &tag) {
  ListState &state = state_of<ListState>(element);
  const bool multiple = attribute(tag.line, "selection") == "multiple";
  state.multiple = multiple;
  state.store = draft.declare_store(element.id);
  std::vector<std::string> titles;
  if (const auto columns = attribute(tag.line, "columns"); columns && !columns->empty())
    for (std::string_view title : cells(*columns, std::numeric_limits<int>::max()))
      titles.push_back(layout_text(title));
  draft.store(state.store).columns = std::max<int>(1, static_cast<int>(titles.size()));

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
  // Without titles, one column.
  const size_t columns = std::max<size_t>(1, titles.size());
  for (size_t i = 0; i < columns; i++) {
    append(sb, "<child>\n<object class=\"GtkTreeViewColumn\">\n");
    if (!titles.empty()) {
      append(sb, "<property name=\"title\">");
      append(sb, titles[i]);
      append(sb, "</property>\n<property name=\"resizable\">True</property>\n");
    }
    g_string_append_printf(sb,
                           "<child>\n<object class=\"GtkCellRendererText\"/>\n<attributes>\n"
                           "<attribute name=\"text\">%zu</attribute>\n</attributes>\n</child>\n"
                           "</object>\n</child>\n",
                           i);
  }
}

void list_item(Draft &draft, Element &list, std::string_view text) {
  if (const int store = state_of<ListState>(list).store; store != -1)
    draft.add_row(store, text);
}

// The row to start on, or with several to choose, one row for each line.
void list_default(Draft &, Element &list, const std::string &text) {
  ListState &state = state_of<ListState>(list);
  if (!state.multiple) {
    state.choices.push_back(plain_text(text));
  } else {
    g_auto(GStrv) lines = g_strsplit(text.c_str(), "\n", -1);
    for (char **choice = lines; *choice != nullptr; choice++)
      state.choices.push_back(plain_text(*choice));
  }
}

// The rows whose text (cells joined by '|') or first cell is one its <default> asked for: the
// first such row, or with several to choose each of them. Once the walk has ended, so that
// every row is in its store.
void choose_rows(Draft &draft, Element &list) {
  const ListState &state = state_of<ListState>(list);
  if (state.choices.empty())
    return;
  StartingRows &chosen = record_of<StartingRows>(draft, list);
  int row = -1;
  for (std::string_view line : Lines(draft.store(state.store).rows)) {
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
    if (!std::ranges::any_of(state.choices, is_choice))
      continue;
    if (!state.multiple) {
      chosen.chosen = row;
      break;
    }
    chosen.selected.push_back(row);
  }
}

void on_row_activated(GtkTreeView *, GtkTreePath *, GtkTreeViewColumn *, gpointer ok) {
  gtk_button_clicked(GTK_BUTTON(ok));
}

void show_row(GtkTreeView *view, GtkTreePath *path) {
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

// Its rows and starting rows; a double-clicked row presses OK, unless an on="activate"
// action runs instead: that one stops the signal before handlers connected after it.
void set_up_list(GObject *widget, const Setup &setup) {
  auto *view = GTK_TREE_VIEW(widget);
  const std::string id(setup.id);
  if (const auto rows = setup.extras.rows.find(id); rows != setup.extras.rows.end())
    fill_rows(view, rows->second);
  const auto *start = record_of<StartingRows>(setup);
  if (start != nullptr && start->chosen) {
    g_autoptr(GtkTreePath) path = gtk_tree_path_new_from_indices(*start->chosen, -1);
    show_row(view, path);
  }
  GtkTreeSelection *selection = gtk_tree_view_get_selection(view);
  for (size_t i = 0; start != nullptr && i < start->selected.size(); i++) {
    g_autoptr(GtkTreePath) path = gtk_tree_path_new_from_indices(start->selected[i], -1);
    if (i == 0)
      show_row(view, path);
    gtk_tree_selection_select_path(selection, path);
  }
  if (setup.ok != nullptr)
    g_signal_connect_after(widget, "row-activated", G_CALLBACK(on_row_activated), setup.ok);
}

// A row as its cells joined by '|'.
void append_row(std::string &out, GtkTreeModel *model, GtkTreeIter *iter) {
  const int columns = gtk_tree_model_get_n_columns(model);
  for (int column = 0; column < columns; column++) {
    g_autofree char *text = nullptr;
    gtk_tree_model_get(model, iter, column, &text, -1);
    if (column > 0)
      out += '|';
    out += text != nullptr ? text : "";
  }
}

// The chosen row; where several may be chosen, each of them on a line of its own, in the
// list's order.
Value read_list(GObject *widget) {
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
        append_row(value.text, model, &iter);
      }
    g_list_free_full(rows, reinterpret_cast<GDestroyNotify>(gtk_tree_path_free));
  } else if (gtk_tree_selection_get_selected(selection, &model, &iter)) {
    append_row(value.text, model, &iter);
  }
  return value;
}

// The rows whose text (as `read_list` gives it) is a line of `text`, a line for each row, in
// the list's order; none for an empty text. A text that names no row is not taken.
bool set_list(GObject *widget, const std::string &text) {
  auto *view = GTK_TREE_VIEW(widget);
  GtkTreeSelection *selection = gtk_tree_view_get_selection(view);
  GtkTreeModel *model = gtk_tree_view_get_model(view);
  const bool multiple = gtk_tree_selection_get_mode(selection) == GTK_SELECTION_MULTIPLE;
  std::unordered_map<std::string, int> wanted; // a text given twice is two rows
  for (size_t start = 0; !text.empty() && start <= text.size();) {
    const size_t end = multiple ? std::min(text.find('\n', start), text.size()) : text.size();
    wanted[text.substr(start, end - start)]++;
    start = end + 1;
  }
  std::vector<int> found;
  GtkTreeIter iter;
  for (bool more = model != nullptr && gtk_tree_model_get_iter_first(model, &iter);
       more && !wanted.empty(); more = gtk_tree_model_iter_next(model, &iter)) {
    std::string row;
    append_row(row, model, &iter);
    if (const auto at = wanted.find(row); at != wanted.end()) {
      g_autoptr(GtkTreePath) path = gtk_tree_model_get_path(model, &iter);
      found.push_back(gtk_tree_path_get_indices(path)[0]);
      if (--at->second == 0)
        wanted.erase(at);
    }
  }
  if (!text.empty() && found.empty())
    return false;
  gtk_tree_selection_unselect_all(selection);
  for (size_t i = 0; i < found.size(); i++) {
    g_autoptr(GtkTreePath) path = gtk_tree_path_new_from_indices(found[i], -1);
    if (i == 0)
      show_row(view, path);
    gtk_tree_selection_select_path(selection, path);
  }
  return true;
}

GObject *list_selection(GObject *widget) {
  return G_OBJECT(gtk_tree_view_get_selection(GTK_TREE_VIEW(widget)));
}

void clear_list(GObject *widget) {
  GtkTreeModel *model = gtk_tree_view_get_model(GTK_TREE_VIEW(widget));
  if (GTK_IS_LIST_STORE(model))
    gtk_list_store_clear(GTK_LIST_STORE(model));
}

// Rows as an input command's items are: stripped, blank lines skipped, split on '|' into the
// list's columns with the extra cells left in the last.
void feed_list(GObject *widget, const std::string &line) {
  if (!GTK_IS_TREE_VIEW(widget))
    return;
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

constexpr Kind kList = {.element = "list",
                        .start = start_list,
                        .end = end_two_objects,
                        .new_state = make<ListState>,
                        .item = list_item,
                        .set_default = list_default,
                        .walk_ended = choose_rows,
                        .type = gtk_tree_view_get_type,
                        .named = true,
                        .focused = true,
                        .new_record = make<StartingRows>,
                        .describe = describe_starting_rows,
                        .set_up = set_up_list,
                        .read = read_list,
                        .feed = feed_list,
                        .change_signal = "changed",
                        .change_source = list_selection,
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
