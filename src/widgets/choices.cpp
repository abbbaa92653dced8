// Kinds to choose with: check boxes, combo boxes, and lists and trees of rows.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>

namespace quillet::widgets {

namespace {

void start_checkbox(Draft &draft, Element &element, const Tag &) {
  open_child_object(draft.body, "GtkCheckButton", element.id.c_str());
}

void checkbox_default(Draft &draft, Element &, const std::string &text) {
  if (text == "true")
    draft.append(property("active", "True"));
}

Value read_checkbox(GObject *widget, const char *, bool) {
  return {gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) ? "true" : "false"};
}

void start_combo(Draft &draft, Element &element, const Tag &) {
  GString *sb = draft.body;
  open_child_object(sb, "GtkComboBoxText", element.id.c_str());
  append(sb, "<property name=\"active\">0</property>\n<items>\n");
}

// The row its <default> named, when one of its items has that text.
void end_combo(Draft &draft, const Element &combo) {
  draft.append("</items>\n</object>\n</child>\n");
  if (combo.choice && draft.extras != nullptr) {
    const auto at = std::find(combo.choices.begin(), combo.choices.end(), *combo.choice);
    if (at != combo.choices.end())
      draft.extras->chosen[combo.id] = static_cast<int>(at - combo.choices.begin());
  }
}

void combo_item(Draft &draft, Element &combo, std::string_view text) {
  if (combo.open)
    combo.choices.push_back(plain_text(text));
  draft.append_item(text);
}

void combo_default(Draft &, Element &combo, const std::string &text) {
  combo.choice = plain_text(text);
}

void set_up_combo(GObject *widget, const Setup &setup) {
  if (const auto row = setup.extras.chosen.find(std::string(setup.id));
      row != setup.extras.chosen.end())
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget), row->second);
}

Value read_combo(GObject *widget, const char *name, bool explain) {
  auto *combo = GTK_COMBO_BOX_TEXT(widget);
  g_autofree char *text = gtk_combo_box_text_get_active_text(combo);
  if (explain) {
    fprintf(stderr, "[CONTAINER DEBUG] Variable name requested: '%s'\n", name);
    fprintf(stderr, "[CONTAINER DEBUG] ComboBox selected row index: %d\n",
            gtk_combo_box_get_active(GTK_COMBO_BOX(combo)));
    fprintf(stderr, "[CONTAINER DEBUG] ComboBox string buffer in RAM: '%s'\n",
            text != nullptr ? text : "NULL");
  }
  return {text != nullptr ? text : ""};
}

void clear_combo(GObject *widget) {
  gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(widget));
}

// Its items in place of its own; the chosen one stays chosen while one of them has its text.
void refill_combo(GObject *widget, const std::string &output) {
  auto *combo = GTK_COMBO_BOX_TEXT(widget);
  g_autofree char *chosen = gtk_combo_box_text_get_active_text(combo);
  clear_combo(widget);
  int at = 0, count = 0;
  std::string_view rest = output;
  while (!rest.empty()) {
    const size_t eol = rest.find('\n');
    const std::string item(strip(rest.substr(0, eol)));
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
    if (item.empty())
      continue;
    if (chosen != nullptr && item == chosen)
      at = count;
    gtk_combo_box_text_append_text(combo, item.c_str());
    count++;
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), count > 0 ? at : -1);
}

// A list or tree with a column for each title the columns attribute gives, with headers, or
// one column without; several rows may be chosen with selection="multiple". Its items are the
// rows of a list store of its own.
void start_list(Draft &draft, Element &element, const Tag &tag) {
  const bool multiple = attribute(tag.line, "selection") == "multiple";
  element.store = draft.declare_store(element.id, multiple);
  std::vector<std::string> titles;
  if (const auto columns = attribute(tag.line, "columns"); columns && !columns->empty())
    for (std::string_view title : cells(*columns, std::numeric_limits<int>::max()))
      titles.push_back(layout_text(title));
  draft.store(element.store).columns = std::max<int>(1, static_cast<int>(titles.size()));

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
  if (list.store != -1)
    draft.add_row(list.store, text);
}

// The row to start on, or with several to choose, one row for each line.
void list_default(Draft &draft, Element &list, const std::string &text) {
  ListStore &store = draft.store(list.store);
  if (!store.multiple) {
    store.choices.push_back(plain_text(text));
  } else {
    g_auto(GStrv) lines = g_strsplit(text.c_str(), "\n", -1);
    for (char **choice = lines; *choice != nullptr; choice++)
      store.choices.push_back(plain_text(*choice));
  }
}

void on_row_activated(GtkTreeView *, GtkTreePath *, GtkTreeViewColumn *, gpointer ok) {
  gtk_button_clicked(GTK_BUTTON(ok));
}

void show_row(GtkTreeView *view, GtkTreePath *path) {
  gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
  gtk_tree_view_scroll_to_cell(view, path, nullptr, TRUE, 0.5, 0);
}

// Its starting rows; a double-clicked row presses OK, unless an on="activate" action runs
// instead: that one stops the signal before handlers connected after it.
void set_up_list(GObject *widget, const Setup &setup) {
  auto *view = GTK_TREE_VIEW(widget);
  const std::string id(setup.id);
  if (const auto row = setup.extras.chosen.find(id); row != setup.extras.chosen.end()) {
    g_autoptr(GtkTreePath) path = gtk_tree_path_new_from_indices(row->second, -1);
    show_row(view, path);
  }
  if (const auto rows = setup.extras.selected.find(id); rows != setup.extras.selected.end()) {
    GtkTreeSelection *selection = gtk_tree_view_get_selection(view);
    for (size_t i = 0; i < rows->second.size(); i++) {
      g_autoptr(GtkTreePath) path = gtk_tree_path_new_from_indices(rows->second[i], -1);
      if (i == 0)
        show_row(view, path);
      gtk_tree_selection_select_path(selection, path);
    }
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
Value read_list(GObject *widget, const char *, bool) {
  GtkTreeSelection *selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(widget));
  GtkTreeModel *model = nullptr;
  GtkTreeIter iter;
  Value value;
  value.lines = gtk_tree_selection_get_mode(selection) == GTK_SELECTION_MULTIPLE;
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
  std::string_view rest = output;
  while (!rest.empty()) {
    const size_t eol = rest.find('\n');
    feed_list(widget, std::string(rest.substr(0, eol)));
    rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
  }
}

constexpr Kind kCombo = {.element = "comboboxtext",
                         .start = start_combo,
                         .end = end_combo,
                         .item = combo_item,
                         .set_default = combo_default,
                         .type = gtk_combo_box_text_get_type,
                         .signal = "changed",
                         .named = true,
                         .focused = true,
                         .set_up = set_up_combo,
                         .read = read_combo,
                         .change_signal = "changed",
                         .clear = clear_combo,
                         .refill = refill_combo};

constexpr Kind kList = {.element = "list",
                        .start = start_list,
                        .end = end_two_objects,
                        .item = list_item,
                        .set_default = list_default,
                        .type = gtk_tree_view_get_type,
                        .named = true,
                        .focused = true,
                        .set_up = set_up_list,
                        .read = read_list,
                        .feed = feed_list,
                        .change_signal = "changed",
                        .change_source = list_selection,
                        .activate_signal = "row-activated",
                        .fills = true,
                        .clear = clear_list,
                        .refill = refill_list};

constexpr Kind renamed(Kind kind, std::string_view element) {
  kind.element = element;
  return kind;
}

constexpr Kind kKinds[] = {
    {.element = "checkbox",
     .start = start_checkbox,
     .end = end_object,
     .set_default = checkbox_default,
     .type = gtk_check_button_get_type,
     .signal = "clicked",
     .focused = true,
     .read = read_checkbox,
     .change_signal = "toggled",
     .refill = refill_caption},
    kCombo,
    renamed(kCombo, "combobox"),
    kList,
    renamed(kList, "tree"),
};

} // namespace

std::span<const Kind> choice_kinds() {
  return kKinds;
}

} // namespace quillet::widgets
