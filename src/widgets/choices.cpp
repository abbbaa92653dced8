// Kinds to choose with: check boxes, combo boxes, and lists and trees of rows.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillet::widgets {

namespace {

void start_checkbox(Draft &draft, Element &element, const Tag &) {
  open_child_object(draft.body, "GtkCheckButton", element.id.c_str());
}

void checkbox_default(Draft &draft, Element &, const std::string &text) {
  if (text == "true")
    draft.append(property("active", "True"));
}

// Radio buttons that are children of one box form a group, which the first of them names;
// the first is the chosen one until a <default> chooses another.
void start_radio(Draft &draft, Element &element, const Tag &tag) {
  open_child_object(draft.body, "GtkRadioButton", element.id.c_str());
  if (tag.holder == nullptr)
    return;
  if (tag.holder->radio_group.empty())
    tag.holder->radio_group = element.id;
  else
    draft.append(property("group", tag.holder->radio_group));
}

Value read_checkbox(GObject *widget, const char *, bool) {
  return {gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) ? "true" : "false"};
}

bool set_checkbox(GObject *widget, const std::string &text) {
  if (text != "true" && text != "false")
    return false;
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), text == "true");
  return true;
}

// An editable one is an entry with the items in a drop-down.
void start_combo(Draft &draft, Element &element, const Tag &tag) {
  GString *sb = draft.body;
  open_child_object(sb, "GtkComboBoxText", element.id.c_str());
  if (attribute(tag.line, "editable") == "true")
    append(sb, property("has-entry", "True"));
  append(sb, "<property name=\"active\">0</property>\n");
}

// Its items come after the properties any start tag may ask for, which cannot go among them.
void combo_attributes(Draft &draft, Element &, std::string_view) {
  draft.append("<items>\n");
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
  if (!combo.open) {
    draft.append_item(text);
    return;
  }
  combo.choices.push_back(plain_text(text));
  draft.add_item(combo, text);
}

void combo_default(Draft &, Element &combo, const std::string &text) {
  combo.choice = plain_text(text);
}

// GTK's combo box makes a menu item for each row, at a cost that grows with the square of
// their number: 100 items add some 30 ms to the window and to the menu's opening, 300 some
// 100 ms, 1 000 a second. A menu that long is taller than a screen and is scrolled by its
// arrows anyway; from 100 items on the rows show as a scrolling list, as GTK can do.
constexpr size_t kListFrom = 100;

void show_as_list(GtkComboBox *combo) {
  static GtkCssProvider *const provider = [] {
    GtkCssProvider *css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "* { -GtkComboBox-appears-as-list: true; }", -1, nullptr);
    return css;
  }();
  gtk_style_context_add_provider(gtk_widget_get_style_context(GTK_WIDGET(combo)),
                                 GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  // Now, so that the list is there before the rows and no menu is ever made for them.
  g_signal_emit_by_name(combo, "style-updated");
  // Fitting the box to its widest row measures every row.
  if (GtkWidget *view = gtk_bin_get_child(GTK_BIN(combo)); GTK_IS_CELL_VIEW(view))
    gtk_cell_view_set_fit_model(GTK_CELL_VIEW(view), FALSE);
}

// GTK makes the list's popup as tall as all its rows, more than a window can be: each time
// it pops up, it lets the list grow and measures it. The list scrolls instead, a screenful
// at most.
void keep_scrolling(GObject *scrolled, GParamSpec *, gpointer) {
  GtkPolicyType across, down;
  gtk_scrolled_window_get_policy(GTK_SCROLLED_WINDOW(scrolled), &across, &down);
  if (down == GTK_POLICY_NEVER)
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), across, GTK_POLICY_AUTOMATIC);
}

void limit_list_height(GtkComboBox *combo) {
  GtkWidget *list =
      gtk_accessible_get_widget(GTK_ACCESSIBLE(gtk_combo_box_get_popup_accessible(combo)));
  GtkWidget *scrolled = list != nullptr ? gtk_widget_get_parent(list) : nullptr;
  if (!GTK_IS_SCROLLED_WINDOW(scrolled))
    return;
  gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scrolled), 300);
  g_signal_connect(scrolled, "notify::vscrollbar-policy", G_CALLBACK(keep_scrolling), nullptr);
  keep_scrolling(G_OBJECT(scrolled), nullptr, nullptr);
}

// Its items, when they came apart from the layout, and the one to start on.
void set_up_combo(GObject *widget, const Setup &setup) {
  auto *combo = GTK_COMBO_BOX(widget);
  if (const auto items = setup.extras.rows.find(std::string(setup.id));
      items != setup.extras.rows.end()) {
    const bool as_list = items->second.size() >= kListFrom;
    if (as_list)
      show_as_list(combo);
    GtkListStore *store = GTK_LIST_STORE(gtk_combo_box_get_model(combo));
    for (const std::string &text : items->second)
      gtk_list_store_insert_with_values(store, nullptr, -1, 0, text.c_str(), -1);
    if (as_list)
      limit_list_height(combo);
    gtk_combo_box_set_active(combo, 0);
  }
  if (const auto row = setup.extras.chosen.find(std::string(setup.id));
      row != setup.extras.chosen.end())
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget), row->second);
  if (GtkWidget *entry = gtk_bin_get_child(GTK_BIN(widget)); GTK_IS_ENTRY(entry))
    set_up_entry(G_OBJECT(entry), setup);
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

// The item with that text; one the user may type into takes any text.
bool set_combo(GObject *widget, const std::string &text) {
  auto *combo = GTK_COMBO_BOX(widget);
  if (gtk_combo_box_get_has_entry(combo))
    return set_entry_text(G_OBJECT(gtk_bin_get_child(GTK_BIN(combo))), text);
  GtkTreeModel *model = gtk_combo_box_get_model(combo);
  const int column = gtk_combo_box_get_entry_text_column(combo);
  GtkTreeIter iter;
  for (bool more = model != nullptr && gtk_tree_model_get_iter_first(model, &iter); more;
       more = gtk_tree_model_iter_next(model, &iter)) {
    g_autofree char *item = nullptr;
    gtk_tree_model_get(model, &iter, column, &item, -1);
    if (item != nullptr && text == item) {
      gtk_combo_box_set_active_iter(combo, &iter);
      return true;
    }
  }
  return false;
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
                         .attributes = combo_attributes,
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
                         .set_value = set_combo,
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
                        .set_value = set_list,
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
     .set_up = set_up_caption,
     .read = read_checkbox,
     .change_signal = "toggled",
     .set_value = set_checkbox,
     .refill = refill_caption},
    {.element = "radiobutton",
     .start = start_radio,
     .end = end_object,
     .set_default = checkbox_default,
     .type = gtk_radio_button_get_type,
     .signal = "clicked",
     .focused = true,
     .set_up = set_up_caption,
     .read = read_checkbox,
     .change_signal = "toggled",
     .set_value = set_checkbox,
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
