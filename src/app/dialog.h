#pragma once

// Building the window once the layout is loaded: what each widget's kind needs when it
// starts (rows, paths, choosers, Enter), Escape and the default button, names for assistive
// tools, the widgets' actions, and the first field's focus.

#include "transform/layout.h"

#include <gtk/gtk.h>

namespace quillet::app {

// The loaded layout's window, with its OK and Cancel buttons where it has them.
struct Dialog {
  GtkBuilder *builder;
  GtkWidget *window;
  GtkWidget *ok;     // null without one
  GtkWidget *cancel; // null without one
};

// Starting rows and paths, choosers, decimals, Enter, Escape and double-clicked rows, names:
// what the layout cannot say. Before any handler of the driver's runs.
void dialog_set_up(const Dialog &dialog, const transform::DialogExtras &extras);

// Each widget's actions run when the user does what its kind says (a click, a change); those
// of anything else whose name says "timer", once a second. After the driver's own handlers:
// OK or an exit button ends the dialog before its actions would run.
void dialog_wire_actions(const Dialog &dialog, GHashTable *widget_actions);

// Each widget's on="change" actions run when the user changes it, its on="activate" ones on
// Enter or a double click instead of OK; changes quillet makes itself run none. A widget
// whose kind has no such event never runs them. Before the feeds start.
void dialog_wire_events(const Dialog &dialog, const transform::DialogExtras &extras);

// The first field or check box on show, on a notebook's first page rather than its tabs.
void dialog_focus_first_field(const Dialog &dialog, const transform::DialogExtras &extras);

} // namespace quillet::app
