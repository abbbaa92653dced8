#include "dialog.h"

#include "common/checks.h"

#include "actions.h"
#include "widgets/kinds.h"

#include <algorithm>
#include <cstring>

namespace quillet::app {

namespace {

// Escape presses Cancel, or closes the window when there is none.
gboolean on_key_press(GtkWidget *window, GdkEventKey *event, gpointer cancel) {
  if (event->keyval != GDK_KEY_Escape)
    return FALSE;
  if (cancel != nullptr)
    gtk_button_clicked(GTK_BUTTON(cancel));
  else
    gtk_widget_destroy(window);
  return TRUE;
}

// One per wired widget; its address also tells the action queue which widget a list came from.
struct ActionBinding {
  GPtrArray *commands; // owned by the widget actions table, which outlives the dialog
};

void on_action(GObject *, gpointer data) {
  auto *binding = static_cast<ActionBinding *>(data);
  actions_enqueue(binding->commands, binding);
}

// A tick that falls due while the timer's list still runs or waits is skipped: a timer
// never overlaps itself, nor piles up behind a slow command.
gboolean on_action_timer(gpointer data) {
  if (!actions_pending(data))
    on_action(nullptr, data);
  return G_SOURCE_CONTINUE;
}

void free_binding(gpointer binding, GClosure *) {
  g_free(binding);
}

// A widget acts on what its kind says the user does to it (a click, a change); anything else
// whose name says "timer" acts once a second.
void wire_actions(GtkBuilder *builder, const char *name, GPtrArray *commands) {
  GObject *object = gtk_builder_get_object(builder, name);
  const widgets::Kind *kind = object != nullptr ? widgets::kind_of_widget(object) : nullptr;
  const char *signal = kind != nullptr ? kind->signal : nullptr;
  if (signal == nullptr && strstr(name, "timer") == nullptr)
    return;
  auto *binding = g_new(ActionBinding, 1);
  *binding = {commands};
  if (signal != nullptr)
    g_signal_connect_data(object, signal, G_CALLBACK(on_action), binding, free_binding,
                          GConnectFlags(0));
  else
    g_timeout_add_seconds_full(G_PRIORITY_DEFAULT, 1, on_action_timer, binding, g_free);
}

// The button Enter presses: the one given default="true", or else OK.
GtkWidget *default_button(const Dialog &dialog, const transform::DialogExtras &extras) {
  if (extras.default_button.empty())
    return dialog.ok;
  GObject *button = gtk_builder_get_object(dialog.builder, extras.default_button.c_str());
  return button != nullptr && widgets::is_clicked(button) ? GTK_WIDGET(button) : dialog.ok;
}

} // namespace

void dialog_set_up(const Dialog &dialog, const transform::DialogExtras &extras) {
  g_return_if_fail(dialog.builder != NULL);
  g_return_if_fail(dialog.window != NULL);

  for (const auto &[id, kind] : extras.kinds)
    if (GObject *object = gtk_builder_get_object(dialog.builder, id.c_str()))
      widgets::mark(object, kind);
  GtkWidget *enter = default_button(dialog, extras);
  for (const auto &[id, kind] : extras.kinds) {
    GObject *object = gtk_builder_get_object(dialog.builder, id.c_str());
    if (object != nullptr && kind->set_up != nullptr)
      kind->set_up(object, widgets::Setup{id, extras, enter});
  }

  g_signal_connect(dialog.window, "key-press-event", G_CALLBACK(on_key_press), dialog.cancel);
  if (enter != nullptr) {
    gtk_widget_set_can_default(enter, TRUE);
    gtk_window_set_default(GTK_WINDOW(dialog.window), enter);
  }
}

void dialog_name_fields(const Dialog &dialog, const transform::DialogExtras &extras) {
  g_return_if_fail(dialog.builder != NULL);

  for (const auto &[id, kind] : extras.kinds)
    if (kind->named)
      if (GObject *object = gtk_builder_get_object(dialog.builder, id.c_str()))
        widgets::name_by_text_before(GTK_WIDGET(object));
}

void dialog_fit_height(const Dialog &dialog) {
  g_return_if_fail(GTK_IS_WINDOW(dialog.window));

  int width = 0, height = 0;
  gtk_window_get_default_size(GTK_WINDOW(dialog.window), &width, &height);
  GtkWidget *content = gtk_bin_get_child(GTK_BIN(dialog.window));
  if (content == nullptr || width <= 0 || height <= 0)
    return;
  // What is not shown takes no room.
  gtk_widget_show_all(content);
  const auto needed = [content](int at) {
    int least = 0;
    gtk_widget_get_preferred_height_for_width(content, at, &least, nullptr);
    return least;
  };
  // Content taller than asked at that width takes the height it needs there.
  const int goal = std::max(height, needed(width));
  const auto fits = [&](int at) { return needed(at) <= goal; };
  int narrowest = 0;
  gtk_widget_get_preferred_width(content, &narrowest, nullptr);
  if (narrowest >= width || fits(narrowest))
    return;
  // The narrowest width at which it still fits: the window may be made that narrow.
  while (width - narrowest > 1) {
    const int middle = narrowest + (width - narrowest) / 2;
    (fits(middle) ? width : narrowest) = middle;
  }
  gtk_widget_set_size_request(content, width, -1);
}

void dialog_wire_actions(const Dialog &dialog, GHashTable *widget_actions) {
  g_return_if_fail(dialog.builder != NULL);
  g_return_if_fail(widget_actions != NULL);

  GHashTableIter iter;
  gpointer name, commands;
  g_hash_table_iter_init(&iter, widget_actions);
  while (g_hash_table_iter_next(&iter, &name, &commands))
    wire_actions(dialog.builder, static_cast<const char *>(name),
                 static_cast<GPtrArray *>(commands));
}

void dialog_focus_first_field(const Dialog &dialog, const transform::DialogExtras &extras) {
  g_return_if_fail(dialog.builder != NULL);
  g_return_if_fail(dialog.window != NULL);

  for (const std::string &id : extras.order) {
    GObject *object = gtk_builder_get_object(dialog.builder, id.c_str());
    if (!GTK_IS_WIDGET(object))
      continue;
    const widgets::Kind *kind = widgets::kind_of_widget(object);
    if (kind == nullptr || !kind->focused)
      continue;
    auto *widget = GTK_WIDGET(object);
    if (!gtk_widget_get_mapped(widget) || !gtk_widget_is_sensitive(widget))
      continue;
    gtk_widget_grab_focus(widget);
    GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(dialog.window));
    if (focus == widget || (focus != nullptr && gtk_widget_is_ancestor(focus, widget)))
      return;
  }
}

} // namespace quillet::app
