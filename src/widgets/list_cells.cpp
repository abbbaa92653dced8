#include "list_cells.h"

#include "common/checks.h"
#include "common/strings.h"

#include "pictures.h"

#include <gtk/gtk-a11y.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace quillet::widgets {

namespace {

// Object data: on a view, its WorkedList; on a renderer, the list and the column it draws.
constexpr const char *kListKey = "quillet-worked-list";
constexpr const char *kColumnKey = "quillet-column";

// More pictures than this are not kept: those decoded are dropped, to be decoded again when
// their rows show.
constexpr size_t kMostIcons = 4096;

WorkedList *list_of(GtkCellRenderer *renderer) {
  return static_cast<WorkedList *>(g_object_get_data(G_OBJECT(renderer), kListKey));
}

// Notes the row whose cells are being given their values, for the cells' accessibles.
void note_row(GtkTreeViewColumn *, GtkCellRenderer *, GtkTreeModel *, GtkTreeIter *iter,
              gpointer list) {
  static_cast<WorkedList *>(list)->seen = *iter;
}

void draw_toggle(GtkTreeViewColumn *column, GtkCellRenderer *cell, GtkTreeModel *model,
                 GtkTreeIter *iter, gpointer list) {
  note_row(column, cell, model, iter, list);
  g_object_set(cell, "active", ticks(cell_text(model, iter, column_of(cell))), nullptr);
}

// "45" or "45 Fetching": the bar at 45 per cent, with GTK's "45 %" or the text after the
// number on it. A number outside 0-100 is brought into it; a cell that starts with no
// number shows an empty bar with its text.
void draw_bar(GtkTreeViewColumn *column, GtkCellRenderer *cell, GtkTreeModel *model,
              GtkTreeIter *iter, gpointer list) {
  note_row(column, cell, model, iter, list);
  const std::string text = cell_text(model, iter, column_of(cell));
  char *end = nullptr;
  const double number = g_ascii_strtod(text.c_str(), &end);
  const bool read = end != text.c_str() && std::isfinite(number) &&
                    (*end == '\0' || g_ascii_isspace(*end)) && !g_ascii_isspace(text[0]);
  const std::string_view rest = strip(read ? std::string_view(end) : std::string_view(text));
  const std::string shown(rest);
  g_object_set(cell, "value",
               read ? static_cast<int>(std::lround(std::clamp(number, 0.0, 100.0))) : 0, "text",
               read && rest.empty() ? nullptr : shown.c_str(), nullptr);
}

// Whether the row is on screen, so that its picture is worth decoding now.
bool shown(GtkTreeView *view, GtkTreeModel *model, GtkTreeIter *iter) {
  g_autoptr(GtkTreePath) first = nullptr;
  g_autoptr(GtkTreePath) last = nullptr;
  if (!gtk_tree_view_get_visible_range(view, &first, &last))
    return false;
  g_autoptr(GtkTreePath) path = gtk_tree_model_get_path(model, iter);
  return gtk_tree_path_compare(first, path) <= 0 && gtk_tree_path_compare(path, last) <= 0;
}

// A picture in a file decoded, for the rows that show it.
void keep_picture(GtkTreeView *view, const std::string &path, GdkPixbuf *pixbuf) {
  WorkedList *list = worked_list(G_OBJECT(view));
  if (list == nullptr)
    return;
  Icons::Entry &entry = list->icons.by_path[path];
  entry.decoded = true;
  g_set_object(&entry.pixbuf, pixbuf);
  gtk_widget_queue_draw(GTK_WIDGET(view));
}

// A name with a '/' is a file's, whose picture is decoded beside the main loop once its
// row shows, bounded as an <image>'s; any other an icon of the theme's.
void draw_icon(GtkTreeViewColumn *column, GtkCellRenderer *cell, GtkTreeModel *model,
               GtkTreeIter *iter, gpointer data) {
  auto &list = *static_cast<WorkedList *>(data);
  note_row(column, cell, model, iter, data);
  const std::string name = cell_text(model, iter, column_of(cell));
  GdkPixbuf *pixbuf = nullptr;
  const char *icon = nullptr;
  if (const auto found = list.icons.by_path.find(name); found != list.icons.by_path.end()) {
    pixbuf = found->second.pixbuf;
    icon = found->second.decoded && pixbuf == nullptr ? "image-missing" : nullptr;
  } else if (name.find('/') == std::string::npos && !name.empty()) {
    Icons::Entry &entry = list.icons.by_path[name];
    entry.decoded = true;
    entry.pixbuf = gtk_icon_theme_load_icon(gtk_icon_theme_get_default(), name.c_str(),
                                            list.icons.size, GTK_ICON_LOOKUP_FORCE_SIZE, nullptr);
    pixbuf = entry.pixbuf;
    icon = pixbuf == nullptr ? "image-missing" : nullptr;
    if (pixbuf == nullptr)
      g_debug("The icon '%s' is not in the theme: the missing image stands for it.", name.c_str());
  } else if (!name.empty() && list.icons.pictures != nullptr && shown(list.view, model, iter)) {
    for (auto at = list.icons.by_path.begin();
         list.icons.by_path.size() >= kMostIcons && at != list.icons.by_path.end();)
      if (at->second.decoded) {
        g_clear_object(&at->second.pixbuf);
        at = list.icons.by_path.erase(at);
      } else {
        ++at;
      }
    list.icons.by_path[name];
    std::shared_ptr<GtkTreeView> view(GTK_TREE_VIEW(g_object_ref(list.view)),
                                      [](GtkTreeView *view) { g_object_unref(view); });
    list.icons.pictures->decode(name, list.icons.size, [view, name](GdkPixbuf *decoded) {
      keep_picture(view.get(), name, decoded);
    });
  }
  if (icon != nullptr)
    g_object_set(cell, "icon-name", icon, nullptr);
  else
    g_object_set(cell, "pixbuf", pixbuf, nullptr);
}

// A row's accessible cells point at the row they were last given, through sorting and rows
// added before it.
void follow_row(GtkTreeRowReference *&row, GtkCellAccessible *cell, bool editable_only) {
  g_autoptr(GtkCellRenderer) renderer = nullptr;
  g_object_get(cell, "renderer", &renderer, nullptr);
  WorkedList *list = renderer != nullptr ? list_of(renderer) : nullptr;
  gboolean editable = FALSE;
  if (editable_only && renderer != nullptr)
    g_object_get(renderer, "editable", &editable, nullptr);
  g_clear_pointer(&row, gtk_tree_row_reference_free);
  if (list == nullptr || (editable_only && !editable))
    return;
  g_autoptr(GtkTreePath) path = gtk_tree_model_get_path(list->model(), &list->seen);
  if (path != nullptr)
    row = gtk_tree_row_reference_new(list->model(), path);
}

// The path of the row a cell follows, as the renderer's signals take it; null without one.
char *row_path(GtkTreeRowReference *row) {
  g_autoptr(GtkTreePath) path = row != nullptr ? gtk_tree_row_reference_get_path(row) : nullptr;
  return path != nullptr ? gtk_tree_path_to_string(path) : nullptr;
}

GtkCellRenderer *renderer_of(gpointer cell) {
  GtkCellRenderer *renderer = nullptr;
  g_object_get(cell, "renderer", &renderer, nullptr);
  return renderer;
}

} // namespace

} // namespace quillet::widgets

// --- What assistive tools are given for cells: GObject types of their own. ---------------

G_BEGIN_DECLS

#define QUILLET_TYPE_TOGGLE_CELL (quillet_toggle_cell_get_type())
G_DECLARE_FINAL_TYPE(QuilletToggleCell, quillet_toggle_cell, QUILLET, TOGGLE_CELL,
                     GtkBooleanCellAccessible)
#define QUILLET_TYPE_BAR_CELL (quillet_bar_cell_get_type())
G_DECLARE_FINAL_TYPE(QuilletBarCell, quillet_bar_cell, QUILLET, BAR_CELL, GtkRendererCellAccessible)
#define QUILLET_TYPE_TEXT_CELL (quillet_text_cell_get_type())
G_DECLARE_FINAL_TYPE(QuilletTextCell, quillet_text_cell, QUILLET, TEXT_CELL, GtkTextCellAccessible)

G_END_DECLS

// A check or radio cell: named after its row, and its action toggles it as a click does
// (GTK's activates the row instead).
struct _QuilletToggleCell {
  GtkBooleanCellAccessible parent_instance;
  GtkTreeRowReference *row;
};

static AtkActionIface *toggle_parent_action = nullptr;

static gboolean toggle_cell_do_action(AtkAction *action, gint i) {
  auto *self = QUILLET_TOGGLE_CELL(action);
  if (i != 0)
    return toggle_parent_action->do_action(action, i);
  g_autofree char *path = quillet::widgets::row_path(self->row);
  g_autoptr(GtkCellRenderer) renderer = quillet::widgets::renderer_of(self);
  if (path == nullptr || renderer == nullptr)
    return FALSE;
  g_signal_emit_by_name(renderer, "toggled", path);
  return TRUE;
}

static void toggle_cell_action_init(AtkActionIface *iface) {
  toggle_parent_action = static_cast<AtkActionIface *>(g_type_interface_peek_parent(iface));
  iface->do_action = toggle_cell_do_action;
}

G_DEFINE_TYPE_WITH_CODE(QuilletToggleCell, quillet_toggle_cell, GTK_TYPE_BOOLEAN_CELL_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, toggle_cell_action_init))

static void toggle_cell_update_cache(GtkCellAccessible *cell, gboolean emit_signal) {
  if (const auto update = GTK_CELL_ACCESSIBLE_CLASS(quillet_toggle_cell_parent_class)->update_cache)
    update(cell, emit_signal);
  auto *self = QUILLET_TOGGLE_CELL(cell);
  quillet::widgets::follow_row(self->row, cell, false);
  g_autoptr(GtkCellRenderer) renderer = quillet::widgets::renderer_of(cell);
  quillet::widgets::WorkedList *list = quillet::widgets::list_of(renderer);
  if (list == nullptr || self->row == nullptr)
    return;
  const std::string name = quillet::widgets::cell_text(list->model(), &list->seen, list->label);
  const char *now = atk_object_get_name(ATK_OBJECT(cell));
  if (now == nullptr || name != now)
    atk_object_set_name(ATK_OBJECT(cell), name.c_str());
}

static AtkStateSet *toggle_cell_ref_state_set(AtkObject *object) {
  AtkStateSet *states = ATK_OBJECT_CLASS(quillet_toggle_cell_parent_class)->ref_state_set(object);
  atk_state_set_add_state(states, ATK_STATE_CHECKABLE);
  return states;
}

static void quillet_toggle_cell_finalize(GObject *object) {
  g_clear_pointer(&QUILLET_TOGGLE_CELL(object)->row, gtk_tree_row_reference_free);
  G_OBJECT_CLASS(quillet_toggle_cell_parent_class)->finalize(object);
}

static void quillet_toggle_cell_class_init(QuilletToggleCellClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = quillet_toggle_cell_finalize;
  ATK_OBJECT_CLASS(klass)->ref_state_set = toggle_cell_ref_state_set;
  GTK_CELL_ACCESSIBLE_CLASS(klass)->update_cache = toggle_cell_update_cache;
}

static void quillet_toggle_cell_init(QuilletToggleCell *) {}

// A progress cell: its value, from 0 to 100, and what the bar says as its name.
struct _QuilletBarCell {
  GtkRendererCellAccessible parent_instance;
  int value;
};

static void bar_cell_value_and_text(AtkValue *object, gdouble *value, gchar **text) {
  *value = QUILLET_BAR_CELL(object)->value;
  if (text != nullptr)
    *text = nullptr;
}

static AtkRange *bar_cell_range(AtkValue *) {
  return atk_range_new(0, 100, nullptr);
}

static void bar_cell_current(AtkValue *object, GValue *value) {
  g_value_init(value, G_TYPE_DOUBLE);
  g_value_set_double(value, QUILLET_BAR_CELL(object)->value);
}

static void bar_cell_least(AtkValue *, GValue *value) {
  g_value_init(value, G_TYPE_DOUBLE);
  g_value_set_double(value, 0);
}

static void bar_cell_most(AtkValue *, GValue *value) {
  g_value_init(value, G_TYPE_DOUBLE);
  g_value_set_double(value, 100);
}

static void bar_cell_value_init(AtkValueIface *iface) {
  iface->get_value_and_text = bar_cell_value_and_text;
  iface->get_range = bar_cell_range;
  iface->get_current_value = bar_cell_current;
  iface->get_minimum_value = bar_cell_least;
  iface->get_maximum_value = bar_cell_most;
}

G_DEFINE_TYPE_WITH_CODE(QuilletBarCell, quillet_bar_cell, GTK_TYPE_RENDERER_CELL_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_VALUE, bar_cell_value_init))

static void bar_cell_update_cache(GtkCellAccessible *cell, gboolean emit_signal) {
  if (const auto update = GTK_CELL_ACCESSIBLE_CLASS(quillet_bar_cell_parent_class)->update_cache)
    update(cell, emit_signal);
  g_autoptr(GtkCellRenderer) renderer = quillet::widgets::renderer_of(cell);
  int value = 0;
  g_autofree char *text = nullptr;
  g_object_get(renderer, "value", &value, "text", &text, nullptr);
  auto *self = QUILLET_BAR_CELL(cell);
  const bool changed = self->value != value;
  self->value = value;
  g_autofree char *name = text != nullptr ? g_strdup(text) : g_strdup_printf("%d %%", value);
  const char *now = atk_object_get_name(ATK_OBJECT(cell));
  if (now == nullptr || !g_str_equal(now, name))
    atk_object_set_name(ATK_OBJECT(cell), name);
  if (changed && emit_signal)
    g_object_notify(G_OBJECT(cell), "accessible-value");
}

static void quillet_bar_cell_class_init(QuilletBarCellClass *klass) {
  GTK_CELL_ACCESSIBLE_CLASS(klass)->update_cache = bar_cell_update_cache;
}

static void quillet_bar_cell_init(QuilletBarCell *) {}

// A text cell: one of a column the user edits takes a text from assistive tools, as an
// edit ended with Enter does (GTK's has no way to).
struct _QuilletTextCell {
  GtkTextCellAccessible parent_instance;
  GtkTreeRowReference *row;
};

static void text_cell_set_contents(AtkEditableText *text, const gchar *contents) {
  auto *self = QUILLET_TEXT_CELL(text);
  g_autofree char *path = quillet::widgets::row_path(self->row);
  g_autoptr(GtkCellRenderer) renderer = quillet::widgets::renderer_of(self);
  if (path != nullptr && renderer != nullptr && contents != nullptr)
    g_signal_emit_by_name(renderer, "edited", path, contents);
}

static void text_cell_editable_init(AtkEditableTextIface *iface) {
  iface->set_text_contents = text_cell_set_contents;
}

G_DEFINE_TYPE_WITH_CODE(QuilletTextCell, quillet_text_cell, GTK_TYPE_TEXT_CELL_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_EDITABLE_TEXT, text_cell_editable_init))

static void text_cell_update_cache(GtkCellAccessible *cell, gboolean emit_signal) {
  if (const auto update = GTK_CELL_ACCESSIBLE_CLASS(quillet_text_cell_parent_class)->update_cache)
    update(cell, emit_signal);
  quillet::widgets::follow_row(QUILLET_TEXT_CELL(cell)->row, cell, true);
}

static AtkStateSet *text_cell_ref_state_set(AtkObject *object) {
  AtkStateSet *states = ATK_OBJECT_CLASS(quillet_text_cell_parent_class)->ref_state_set(object);
  if (QUILLET_TEXT_CELL(object)->row != nullptr)
    atk_state_set_add_state(states, ATK_STATE_EDITABLE);
  return states;
}

static void quillet_text_cell_finalize(GObject *object) {
  g_clear_pointer(&QUILLET_TEXT_CELL(object)->row, gtk_tree_row_reference_free);
  G_OBJECT_CLASS(quillet_text_cell_parent_class)->finalize(object);
}

static void quillet_text_cell_class_init(QuilletTextCellClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = quillet_text_cell_finalize;
  ATK_OBJECT_CLASS(klass)->ref_state_set = text_cell_ref_state_set;
  GTK_CELL_ACCESSIBLE_CLASS(klass)->update_cache = text_cell_update_cache;
}

static void quillet_text_cell_init(QuilletTextCell *) {}

namespace quillet::widgets {

Icons::~Icons() {
  clear();
}

void Icons::clear() {
  for (auto &[path, entry] : by_path)
    g_clear_object(&entry.pixbuf);
  by_path.clear();
}

WorkedList *worked_list(GObject *view) {
  g_return_val_if_fail(G_IS_OBJECT(view), nullptr);
  return static_cast<WorkedList *>(g_object_get_data(view, kListKey));
}

void keep_worked_list(WorkedList *list) {
  g_return_if_fail(list != nullptr && GTK_IS_TREE_VIEW(list->view));
  g_object_set_data_full(G_OBJECT(list->view), kListKey, list,
                         [](gpointer data) { delete static_cast<WorkedList *>(data); });
}

int column_of(GtkCellRenderer *renderer) {
  g_return_val_if_fail(GTK_IS_CELL_RENDERER(renderer), -1);
  return GPOINTER_TO_INT(g_object_get_data(G_OBJECT(renderer), kColumnKey)) - 1;
}

std::string cell_text(GtkTreeModel *model, GtkTreeIter *iter, int column) {
  if (column < 0 || column >= gtk_tree_model_get_n_columns(model))
    return {};
  g_autofree char *text = nullptr;
  gtk_tree_model_get(model, iter, column, &text, -1);
  return text != nullptr ? text : "";
}

void set_up_cells(WorkedList &list) {
  // Once, for every list of the dialog: GTK asks the renderer's class for it.
  static const bool accessibles = [] {
    const std::pair<GType, GType> kTypes[] = {
        {GTK_TYPE_CELL_RENDERER_TOGGLE, QUILLET_TYPE_TOGGLE_CELL},
        {GTK_TYPE_CELL_RENDERER_PROGRESS, QUILLET_TYPE_BAR_CELL},
        {GTK_TYPE_CELL_RENDERER_TEXT, QUILLET_TYPE_TEXT_CELL}};
    for (const auto &[renderer, accessible] : kTypes)
      gtk_cell_renderer_class_set_accessible_type(
          GTK_CELL_RENDERER_CLASS(g_type_class_ref(renderer)), accessible);
    return true;
  }();
  (void)accessibles;
  // Icons as high as a line of the list's text.
  g_autoptr(PangoLayout) line = gtk_widget_create_pango_layout(GTK_WIDGET(list.view), "Xg");
  pango_layout_get_pixel_size(line, nullptr, &list.icons.size);
  list.icons.size = std::clamp(list.icons.size, 16, 64);
  for (int i = 0; i < static_cast<int>(list.types.size()); i++) {
    GtkTreeViewColumn *column = gtk_tree_view_get_column(list.view, i);
    g_autoptr(GList) cells =
        column != nullptr ? gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column)) : nullptr;
    if (cells == nullptr)
      continue;
    auto *renderer = GTK_CELL_RENDERER(cells->data);
    g_object_set_data(G_OBJECT(renderer), kListKey, &list);
    g_object_set_data(G_OBJECT(renderer), kColumnKey, GINT_TO_POINTER(i + 1));
    GtkTreeCellDataFunc draw = nullptr;
    switch (list.types[static_cast<size_t>(i)]) {
    case Column::check:
    case Column::radio:
      draw = draw_toggle;
      break;
    case Column::progress:
      draw = draw_bar;
      break;
    case Column::icon:
      draw = draw_icon;
      break;
    default:
      draw = list.editable[static_cast<size_t>(i)] ? note_row : nullptr;
      break;
    }
    if (draw != nullptr)
      gtk_tree_view_column_set_cell_data_func(column, renderer, draw, &list, nullptr);
    // Measured once rather than for each of many rows: a check box or an icon is the same
    // size in every row.
    int xpad = 0, ypad = 0;
    gtk_cell_renderer_get_padding(renderer, &xpad, &ypad);
    if (draw == draw_icon) {
      gtk_cell_renderer_set_fixed_size(renderer, list.icons.size + 2 * xpad,
                                       list.icons.size + 2 * ypad);
    } else if (draw == draw_toggle) {
      GtkRequisition size;
      gtk_cell_renderer_get_preferred_size(renderer, GTK_WIDGET(list.view), &size, nullptr);
      gtk_cell_renderer_set_fixed_size(renderer, size.width, size.height);
    }
  }
}

} // namespace quillet::widgets
