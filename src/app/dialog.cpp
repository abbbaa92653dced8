#include "dialog.h"

#include "common/checks.h"

#include "actions.h"
#include "quiet.h"
#include "widgets/kinds.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace quillet::app {

namespace {

// Escape presses Cancel, or closes the window when there is none, as the window manager would;
// in a cell being edited it gives up the edit.
gboolean on_key_press(GtkWidget *window, GdkEventKey *event, gpointer cancel) {
  GtkWidget *focus = gtk_window_get_focus(GTK_WINDOW(window));
  if (event->keyval != GDK_KEY_Escape ||
      (focus != nullptr && GTK_IS_TREE_VIEW(gtk_widget_get_parent(focus))))
    return FALSE;
  if (cancel != nullptr)
    gtk_button_clicked(GTK_BUTTON(cancel));
  else
    gtk_window_close(GTK_WINDOW(window));
  return TRUE;
}

// One per wired widget; its address also tells the action queue which widget a list came from.
struct ActionBinding {
  GPtrArray *commands; // owned by the widget actions table, which outlives the dialog
  Actions *actions;
};

// A click or change quillet makes itself runs nothing.
void on_action(GObject *, gpointer data) {
  auto *binding = static_cast<ActionBinding *>(data);
  if (binding->actions->quiet().active())
    return;
  binding->actions->enqueue(binding->commands, binding);
}

// A tick that falls due while the timer's list still runs or waits is skipped: a timer
// never overlaps itself, nor piles up behind a slow command.
gboolean on_action_timer(gpointer data) {
  if (!static_cast<ActionBinding *>(data)->actions->pending(data))
    on_action(nullptr, data);
  return G_SOURCE_CONTINUE;
}

void free_binding(gpointer binding, GClosure *) {
  g_free(binding);
}

// A widget acts on what its kind says the user does to it (a click, a change), or once a
// second when its kind ticks; anything else whose name says "timer" acts once a second too.
void wire_actions(GtkBuilder *builder, const char *name, GPtrArray *commands, Actions *actions) {
  GObject *object = gtk_builder_get_object(builder, name);
  const widgets::Kind *kind = object != nullptr ? widgets::kind_of_widget(object) : nullptr;
  const char *signal = kind != nullptr ? kind->signal : nullptr;
  const bool ticks =
      (kind != nullptr && kind->ticks) || (signal == nullptr && strstr(name, "timer") != nullptr);
  if (signal == nullptr && !ticks)
    return;
  auto *binding = g_new(ActionBinding, 1);
  *binding = {commands, actions};
  if (signal != nullptr)
    g_signal_connect_data(object, signal, G_CALLBACK(on_action), binding, free_binding,
                          GConnectFlags(0));
  else
    g_timeout_add_seconds_full(G_PRIORITY_DEFAULT, 1, on_action_timer, binding, g_free);
}

// A widget's on="change", on="activate", on="checked" or on="unchecked" actions, wired to the
// signal its kind gives the event; the list is its own.
struct EventBinding {
  GPtrArray *commands;
  GObject *instance;
  const char *signal;
  Actions *actions;
  bool (*checked)(GObject *widget); // for on="checked" and on="unchecked": whether it is ticked
  bool when;                        // ticked, for on="checked"
};

void free_event_binding(gpointer data, GClosure *) {
  auto *binding = static_cast<EventBinding *>(data);
  g_ptr_array_unref(binding->commands);
  g_free(binding);
}

// Connected swapped: the binding comes first whatever else the signal passes. While the
// widget's list waits to start, a change queues nothing more: the list sees the values of
// the moment it starts, so a burst of changes runs it a few times, the last with the last.
void on_change(gpointer data) {
  auto *binding = static_cast<EventBinding *>(data);
  if (binding->actions->quiet().active())
    return;
  if (!binding->actions->waiting(binding))
    binding->actions->enqueue(binding->commands, binding);
}

// Instead of what the widget does on Enter or a double click (press OK): the signal goes
// no further.
void on_activate(gpointer data) {
  auto *binding = static_cast<EventBinding *>(data);
  g_signal_stop_emission_by_name(binding->instance, binding->signal);
  if (!binding->actions->quiet().active())
    binding->actions->enqueue(binding->commands, binding);
}

// Each change to the state runs the list, none coalesced: the last to run is for the state
// the widget is in.
void on_state(gpointer data) {
  auto *binding = static_cast<EventBinding *>(data);
  if (!binding->actions->quiet().active() && binding->checked(binding->instance) == binding->when)
    binding->actions->enqueue(binding->commands, binding);
}

// The first of the signal's alternatives ("a|b") that `object` has, or null.
const char *signal_of(GObject *object, const char *alternatives) {
  if (alternatives == nullptr)
    return nullptr;
  g_auto(GStrv) each = g_strsplit(alternatives, "|", -1);
  for (char **name = each; *name != nullptr; name++)
    if (g_signal_lookup(*name, G_OBJECT_TYPE(object)) != 0)
      return g_intern_string(*name);
  return nullptr;
}

void wire_event(GtkBuilder *builder, const std::string &event, const std::string &name,
                const std::vector<std::string> &commands, Actions *actions) {
  GObject *object = gtk_builder_get_object(builder, name.c_str());
  const widgets::Kind *kind = object != nullptr ? widgets::kind_of_widget(object) : nullptr;
  if (kind == nullptr)
    return;
  // A state event (a box ticked or cleared) comes with the widget's change.
  const bool state = event == "checked" || event == "unchecked";
  const bool change = event == "change" || state;
  GObject *instance =
      change && kind->change_source != nullptr ? kind->change_source(object) : object;
  const char *signal =
      state && kind->checked == nullptr
          ? nullptr
          : signal_of(instance, change ? kind->change_signal : kind->activate_signal);
  if (signal == nullptr) {
    g_debug("A <%.*s> has no on=\"%s\" event: the action of '%s' never runs.",
            static_cast<int>(kind->element.size()), kind->element.data(), event.c_str(),
            name.c_str());
    return;
  }
  GPtrArray *list = g_ptr_array_new_with_free_func(g_free);
  for (const std::string &command : commands)
    g_ptr_array_add(list, g_strdup(command.c_str()));
  auto *binding = g_new(EventBinding, 1);
  *binding = {list, instance, signal, actions, kind->checked, event == "checked"};
  const GCallback handler = state    ? G_CALLBACK(on_state)
                            : change ? G_CALLBACK(on_change)
                                     : G_CALLBACK(on_activate);
  g_signal_connect_data(instance, signal, handler, binding, free_event_binding, G_CONNECT_SWAPPED);
}

struct Ending {
  void (*end)(const char *word, gpointer data);
  gpointer data;
};

// The time is up: the dialog ends as an exit button would, answer and all.
gboolean on_timeout(gpointer data) {
  const auto *ending = static_cast<const Ending *>(data);
  ending->end("TIMEOUT", ending->data);
  return G_SOURCE_REMOVE;
}

// The button Enter presses: the one given default="true", or else OK.
GtkWidget *default_button(const Dialog &dialog, const transform::DialogExtras &extras) {
  if (extras.default_button.empty())
    return dialog.ok;
  GObject *button = gtk_builder_get_object(dialog.builder, extras.default_button.c_str());
  return button != nullptr && widgets::is_button(button) ? GTK_WIDGET(button) : dialog.ok;
}

// A dialog's buttons stand at the bottom of its window: the row of buttons that ends the
// window's box is packed at the box's end, the height the window has to spare above it
// when nothing else takes it.
void keep_buttons_at_bottom(GtkWidget *window) {
  GtkWidget *box = gtk_bin_get_child(GTK_BIN(window));
  if (!GTK_IS_BOX(box) ||
      gtk_orientable_get_orientation(GTK_ORIENTABLE(box)) != GTK_ORIENTATION_VERTICAL)
    return;
  g_autoptr(GList) rows = gtk_container_get_children(GTK_CONTAINER(box));
  const GList *last = g_list_last(rows);
  if (last != nullptr && widgets::is_button_row(GTK_WIDGET(last->data)))
    gtk_container_child_set(GTK_CONTAINER(box), GTK_WIDGET(last->data), "pack-type", GTK_PACK_END,
                            NULL);
}

// The time a bar shows left: from its start to the end, in monotonic microseconds.
struct Countdown {
  GtkProgressBar *bar;
  gint64 start, end;
};

gboolean on_countdown(gpointer data) {
  const auto *countdown = static_cast<const Countdown *>(data);
  const double left = static_cast<double>(countdown->end - g_get_monotonic_time()) /
                      static_cast<double>(countdown->end - countdown->start);
  gtk_progress_bar_set_fraction(countdown->bar, std::clamp(left, 0.0, 1.0));
  return G_SOURCE_CONTINUE;
}

// A thin bar across the top of the window, full at the start and empty at the end of the
// time. It goes above what the window holds, which keeps its distance from the edges as a
// margin: the bar runs from edge to edge.
void add_timeout_bar(GtkWidget *window, int timeout_ms) {
  GtkWidget *content = gtk_bin_get_child(GTK_BIN(window));
  if (content == nullptr)
    return;
  const int border = static_cast<int>(gtk_container_get_border_width(GTK_CONTAINER(window)));
  GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget *bar = gtk_progress_bar_new();
  gtk_style_context_add_class(gtk_widget_get_style_context(bar), GTK_STYLE_CLASS_OSD);
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(bar), 1.0);
  gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
  g_object_ref(content);
  gtk_container_remove(GTK_CONTAINER(window), content);
  gtk_widget_set_margin_start(content, gtk_widget_get_margin_start(content) + border);
  gtk_widget_set_margin_end(content, gtk_widget_get_margin_end(content) + border);
  gtk_widget_set_margin_top(content, gtk_widget_get_margin_top(content) + border);
  gtk_widget_set_margin_bottom(content, gtk_widget_get_margin_bottom(content) + border);
  gtk_box_pack_start(GTK_BOX(box), content, TRUE, TRUE, 0);
  g_object_unref(content);
  gtk_container_set_border_width(GTK_CONTAINER(window), 0);
  gtk_container_add(GTK_CONTAINER(window), box);
  const gint64 now = g_get_monotonic_time();
  auto *countdown = g_new(Countdown, 1);
  *countdown = {GTK_PROGRESS_BAR(bar), now, now + gint64{timeout_ms} * 1000};
  g_timeout_add_full(G_PRIORITY_DEFAULT, 50, on_countdown, countdown, g_free);
}

} // namespace

void dialog_set_up(const Dialog &dialog, const transform::DialogExtras &extras) {
  g_return_if_fail(dialog.builder != NULL);
  g_return_if_fail(dialog.window != NULL);
  g_return_if_fail(dialog.actions != NULL);

  // Starting values are no change of the user's.
  Quiet quiet(dialog.actions->quiet());
  for (const auto &[id, kind] : extras.kinds)
    if (GObject *object = gtk_builder_get_object(dialog.builder, id.c_str()))
      widgets::mark(object, kind);
  GtkWidget *enter = default_button(dialog, extras);
  for (const auto &[id, kind] : extras.kinds) {
    GObject *object = gtk_builder_get_object(dialog.builder, id.c_str());
    if (object == nullptr)
      continue;
    if (kind->set_up != nullptr)
      kind->set_up(object, widgets::Setup{id, extras, enter, dialog.end, dialog.end_data,
                                          extras.records.find(id, *kind), dialog.pictures});
    // What its <input> printed, where the kind takes that itself.
    if (const auto inputs = extras.inputs.find(id);
        inputs != extras.inputs.end() && inputs->second.start && kind->refill != nullptr) {
      Quiet quiet(dialog.actions->quiet());
      kind->refill(object, *inputs->second.start);
    }
    // Rows and text take the height the window has to spare, the buttons below staying at
    // its bottom; set here, for the layout to stay as the markup has it.
    if (kind->fills && GTK_IS_WIDGET(object))
      gtk_widget_set_vexpand(GTK_WIDGET(object), TRUE);
  }
  // visible="false": what it holds is shown already, for show: to show it whole; showing the
  // window passes it by.
  for (const std::string &id : extras.hidden)
    if (GObject *object = gtk_builder_get_object(dialog.builder, id.c_str());
        GTK_IS_WIDGET(object)) {
      GtkWidget *slot = widgets::slot_of(GTK_WIDGET(object));
      gtk_widget_show_all(slot);
      gtk_widget_hide(slot);
      gtk_widget_set_no_show_all(slot, TRUE);
    }
  keep_buttons_at_bottom(dialog.window);
  if (extras.timeout_bar && extras.timeout_ms > 0)
    add_timeout_bar(dialog.window, extras.timeout_ms);
  if (extras.timeout_ms > 0 && dialog.end != nullptr) {
    auto *ending = g_new(Ending, 1);
    *ending = {dialog.end, dialog.end_data};
    g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(extras.timeout_ms), on_timeout,
                       ending, g_free);
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

void dialog_set_values(const Dialog &dialog, const transform::DialogExtras &extras,
                       const Values *values) {
  g_return_if_fail(dialog.builder != NULL);
  if (values == nullptr)
    return;
  for (const auto &[id, kind] : extras.kinds) {
    const Values::Value *value = values->find(id);
    // Made-up ids name nothing an answer holds.
    if (value == nullptr || kind->set_value == nullptr || id.starts_with("auto_id_"))
      continue;
    GObject *object = gtk_builder_get_object(dialog.builder, id.c_str());
    if (object == nullptr)
      continue;
    const bool whole = !value->items.empty() && kind->set_items != nullptr;
    if (!(whole ? kind->set_items(object, value->items) : kind->set_value(object, value->text)))
      g_debug("Widget '%s' keeps its own starting value: it cannot take the one given for it.",
              id.c_str());
  }
}

void dialog_fit_height(const Dialog &dialog) {
  g_return_if_fail(GTK_IS_WINDOW(dialog.window));

  int width = 0, height = 0;
  gtk_window_get_default_size(GTK_WINDOW(dialog.window), &width, &height);
  GtkWidget *content = gtk_bin_get_child(GTK_BIN(dialog.window));
  // The content has the window's size less the border around it.
  const int border =
      2 * static_cast<int>(gtk_container_get_border_width(GTK_CONTAINER(dialog.window)));
  width -= border;
  height -= border;
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
  g_return_if_fail(dialog.actions != NULL);
  g_return_if_fail(widget_actions != NULL);

  GHashTableIter iter;
  gpointer name, commands;
  g_hash_table_iter_init(&iter, widget_actions);
  while (g_hash_table_iter_next(&iter, &name, &commands))
    wire_actions(dialog.builder, static_cast<const char *>(name),
                 static_cast<GPtrArray *>(commands), dialog.actions);
}

void dialog_wire_events(const Dialog &dialog, const transform::DialogExtras &extras) {
  g_return_if_fail(dialog.builder != NULL);
  g_return_if_fail(dialog.actions != NULL);

  for (const auto &[event, widgets] : extras.events)
    for (const auto &[name, commands] : widgets)
      wire_event(dialog.builder, event, name, commands, dialog.actions);
}

void dialog_focus_first_field(const Dialog &dialog, const transform::DialogExtras &extras) {
  g_return_if_fail(dialog.builder != NULL);
  g_return_if_fail(dialog.window != NULL);
  g_return_if_fail(dialog.actions != NULL);

  // A list given the focus chooses its first row: no change of the user's.
  Quiet quiet(dialog.actions->quiet());
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
