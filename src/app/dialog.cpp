#include "dialog.h"

#include "common/checks.h"

#include "widgets/kinds.h"

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

} // namespace

void dialog_set_up(const Dialog &dialog, const transform::DialogExtras &extras) {
  g_return_if_fail(dialog.builder != NULL);
  g_return_if_fail(dialog.window != NULL);

  for (const auto &[id, kind] : extras.kinds) {
    GObject *object = gtk_builder_get_object(dialog.builder, id.c_str());
    if (object == nullptr)
      continue;
    widgets::mark(object, kind);
    if (kind->set_up != nullptr)
      kind->set_up(object, widgets::Setup{id, extras, dialog.ok});
  }

  g_signal_connect(dialog.window, "key-press-event", G_CALLBACK(on_key_press), dialog.cancel);
  if (dialog.ok != nullptr) {
    gtk_widget_set_can_default(dialog.ok, TRUE);
    gtk_window_set_default(GTK_WINDOW(dialog.window), dialog.ok);
  }

  // Once every widget has its start: a field may take its name from what it shows.
  for (const auto &[id, kind] : extras.kinds)
    if (kind->named)
      if (GObject *object = gtk_builder_get_object(dialog.builder, id.c_str()))
        widgets::name_by_text_before(GTK_WIDGET(object));
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
