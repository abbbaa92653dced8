// Kinds to choose with: check boxes, radio buttons and combo boxes.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace quillet::widgets {

namespace {

struct ComboState : KindState {
  std::vector<std::string> choices;  // its items' texts, for a <default> to choose from
  std::optional<std::string> choice; // the one its <default> chose
};

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
  if (tag.leader != nullptr)
    draft.append(property("group", *tag.leader));
}

bool checkbox_checked(GObject *widget) {
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget));
}

Value read_checkbox(GObject *widget) {
  return {checkbox_checked(widget) ? "true" : "false"};
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
void end_combo(Draft &draft, Element &combo) {
  draft.append("</items>\n</object>\n</child>\n");
  const ComboState &state = state_of<ComboState>(combo);
  if (!state.choice)
    return;
  const auto at = std::ranges::find(state.choices, *state.choice);
  if (at != state.choices.end())
    record_of<StartingRows>(draft, combo).chosen = static_cast<int>(at - state.choices.begin());
}

void combo_item(Draft &draft, Element &combo, std::string_view text) {
  if (!combo.open) {
    draft.append_item(text);
    return;
  }
  state_of<ComboState>(combo).choices.push_back(plain_text(text));
  draft.add_item(combo.id, text);
}

void combo_default(Draft &, Element &combo, const std::string &text) {
  state_of<ComboState>(combo).choice = plain_text(text);
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

// Typing in the list finds the item: the rows are searched for the first whose text begins
// with what was typed (in any case), which the cursor moves to; Enter chooses it. What is
// typed within a second of the last key adds to it; Backspace takes a character back.
// Object data on the list: what was typed, and when.
struct Typed {
  std::string text;
  gint64 at = 0;
};
constexpr const char *kTypedKey = "quillet-typed";
constexpr gint64 kTypingPause = G_USEC_PER_SEC;

// A text typed on goes no further back than the row the cursor is on: the first row that
// begins with it begins with what was typed before, too.
void find_typed(GtkTreeView *view, int column, const std::string &typed, bool typed_on) {
  GtkTreeModel *model = gtk_tree_view_get_model(view);
  g_autofree char *wanted = g_utf8_casefold(typed.c_str(), -1);
  g_autoptr(GtkTreePath) cursor = nullptr;
  if (typed_on)
    gtk_tree_view_get_cursor(view, &cursor, nullptr);
  GtkTreeIter iter;
  for (bool more =
           model != nullptr && (cursor != nullptr ? gtk_tree_model_get_iter(model, &iter, cursor)
                                                  : gtk_tree_model_get_iter_first(model, &iter));
       more; more = gtk_tree_model_iter_next(model, &iter)) {
    g_autofree char *item = nullptr;
    gtk_tree_model_get(model, &iter, column, &item, -1);
    g_autofree char *folded = item != nullptr ? g_utf8_casefold(item, -1) : nullptr;
    if (folded != nullptr && g_str_has_prefix(folded, wanted)) {
      g_autoptr(GtkTreePath) path = gtk_tree_model_get_path(model, &iter);
      gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
      gtk_tree_view_scroll_to_cell(view, path, nullptr, TRUE, 0.5, 0.0);
      return;
    }
  }
}

// Whether the key types a character into the search: Space only after another.
bool type_into(GtkTreeView *view, int column, const GdkEventKey *event) {
  if ((event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0)
    return false;
  auto *typed = static_cast<Typed *>(g_object_get_data(G_OBJECT(view), kTypedKey));
  if (g_get_monotonic_time() - typed->at > kTypingPause)
    typed->text.clear();
  const gunichar c = gdk_keyval_to_unicode(event->keyval);
  const bool typed_on = !typed->text.empty();
  if (event->keyval == GDK_KEY_BackSpace && typed_on) {
    typed->text.erase(g_utf8_prev_char(typed->text.c_str() + typed->text.size()) -
                      typed->text.c_str());
  } else if (c != 0 && g_unichar_isprint(c) && (c != ' ' || typed_on)) {
    char utf8[6];
    typed->text.append(utf8, static_cast<size_t>(g_unichar_to_utf8(c, utf8)));
  } else {
    return false;
  }
  if (!typed->text.empty())
    find_typed(view, column, typed->text, typed_on && event->keyval != GDK_KEY_BackSpace);
  // The pause counts from the search's end: keys typed while it ran come at once after it.
  typed->at = g_get_monotonic_time();
  return true;
}

GtkTreeView *list_of(GtkComboBox *combo) {
  GtkWidget *list =
      gtk_accessible_get_widget(GTK_ACCESSIBLE(gtk_combo_box_get_popup_accessible(combo)));
  return GTK_IS_TREE_VIEW(list) ? GTK_TREE_VIEW(list) : nullptr;
}

// Before the list's own handler, which takes every key.
gboolean on_list_key(GtkWidget *, GdkEventKey *event, gpointer combo) {
  GtkTreeView *view = list_of(GTK_COMBO_BOX(combo));
  return view != nullptr &&
         type_into(view, gtk_combo_box_get_entry_text_column(GTK_COMBO_BOX(combo)), event);
}

// A character typed on the closed combo box opens its list and starts the search there.
gboolean on_combo_key(GtkWidget *combo, GdkEventKey *event, gpointer) {
  const gunichar c = gdk_keyval_to_unicode(event->keyval);
  if (c == 0 || c == ' ' || !g_unichar_isprint(c) ||
      (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0)
    return FALSE;
  gtk_combo_box_popup(GTK_COMBO_BOX(combo));
  return on_list_key(nullptr, event, combo);
}

void find_as_typed(GtkComboBox *combo) {
  GtkTreeView *view = list_of(combo);
  if (view == nullptr)
    return;
  g_object_set_data_full(G_OBJECT(view), kTypedKey, new Typed,
                         [](gpointer typed) { delete static_cast<Typed *>(typed); });
  g_signal_connect(gtk_widget_get_toplevel(GTK_WIDGET(view)), "key-press-event",
                   G_CALLBACK(on_list_key), combo);
  if (!gtk_combo_box_get_has_entry(combo))
    g_signal_connect(combo, "key-press-event", G_CALLBACK(on_combo_key), nullptr);
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
    if (as_list) {
      limit_list_height(combo);
      find_as_typed(combo);
    }
    gtk_combo_box_set_active(combo, 0);
  }
  if (const auto *rows = record_of<StartingRows>(setup); rows && rows->chosen)
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget), *rows->chosen);
  if (GtkWidget *entry = gtk_bin_get_child(GTK_BIN(widget)); GTK_IS_ENTRY(entry)) {
    set_up_entry(G_OBJECT(entry), setup);
    complete_from(G_OBJECT(entry), G_OBJECT(gtk_combo_box_get_model(combo)),
                  gtk_combo_box_get_entry_text_column(combo));
  }
}

Value read_combo(GObject *widget) {
  g_autofree char *text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(widget));
  return {text != nullptr ? text : ""};
}

void explain_combo(GObject *widget, const char *name) {
  g_autofree char *text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(widget));
  fprintf(stderr, "[CONTAINER DEBUG] Variable name requested: '%s'\n", name);
  fprintf(stderr, "[CONTAINER DEBUG] ComboBox selected row index: %d\n",
          gtk_combo_box_get_active(GTK_COMBO_BOX(widget)));
  fprintf(stderr, "[CONTAINER DEBUG] ComboBox string buffer in RAM: '%s'\n",
          text != nullptr ? text : "NULL");
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
  for (std::string_view line : Lines(output)) {
    const std::string item(strip(line));
    if (item.empty())
      continue;
    if (chosen != nullptr && item == chosen)
      at = count;
    gtk_combo_box_text_append_text(combo, item.c_str());
    count++;
  }
  gtk_combo_box_set_active(GTK_COMBO_BOX(combo), count > 0 ? at : -1);
}

constexpr Attribute kComboTakes[] = {{"editable", Takes::words, "true|false"}};

constexpr Kind kCombo = {.element = "comboboxtext",
                         .takes = kComboTakes,
                         .start = start_combo,
                         .end = end_combo,
                         .new_state = make<ComboState>,
                         .attributes = combo_attributes,
                         .item = combo_item,
                         .set_default = combo_default,
                         .type = gtk_combo_box_text_get_type,
                         .signal = "changed",
                         .named = true,
                         .focused = true,
                         .new_record = make<StartingRows>,
                         .describe = describe_starting_rows,
                         .set_up = set_up_combo,
                         .read = read_combo,
                         .explain = explain_combo,
                         .change_signal = "changed",
                         .clear = clear_combo,
                         .set_value = set_combo,
                         .refill = refill_combo};

constexpr Kind kCheckbox = {.element = "checkbox",
                            .start = start_checkbox,
                            .end = end_object,
                            .set_default = checkbox_default,
                            .type = gtk_check_button_get_type,
                            .signal = "clicked",
                            .focused = true,
                            .set_up = set_up_caption,
                            .read = read_checkbox,
                            .change_signal = "toggled",
                            .checked = checkbox_checked,
                            .set_value = set_checkbox,
                            .refill = refill_caption};

// A radio button is a check box that joins the group of its first sibling.
constexpr Kind radio(Kind kind) {
  kind.element = "radiobutton";
  kind.start = start_radio;
  kind.type = gtk_radio_button_get_type;
  return kind;
}

constexpr Kind kKinds[] = {
    kCheckbox,
    radio(kCheckbox),
    kCombo,
    renamed(kCombo, "combobox"),
};

const Family kFamily("choices", kKinds);

} // namespace

} // namespace quillet::widgets
