#pragma once

// Building the window once the layout is loaded: what each widget's kind needs when it
// starts (rows, paths, choosers, Enter), Escape and the default button, names for assistive
// tools, the widgets' actions, and the first field's focus.

#include "actions.h"
#include "transform/layout.h"
#include "values.h"
#include "widgets/pictures.h"

#include <gtk/gtk.h>

namespace quillet::app {

// The loaded layout's window, with its OK and Cancel buttons where it has them.
struct Dialog {
  GtkBuilder *builder;
  GtkWidget *window;
  GtkWidget *ok;     // null without one
  GtkWidget *cancel; // null without one
  // Ends the dialog with an exit word, printing the answer: for a timeout, an exit button or
  // a progress bar that closes it.
  void (*end)(const char *word, gpointer data) = nullptr;
  gpointer end_data = nullptr;
  // Where the widgets' actions are queued.
  Actions *actions = nullptr;
  // Where its pictures are loaded.
  widgets::Pictures *pictures = nullptr;
};

// Starting rows and paths, choosers, decimals, exit buttons, Enter, Escape and double-clicked
// rows: what the layout cannot say. After OK's and Cancel's own handlers, before any other
// handler of the driver's runs.
void dialog_set_up(const Dialog &dialog, const transform::DialogExtras &extras);

// The starting values of an earlier answer (none without one), over those the markup gave.
// After dialog_set_up, before the actions are wired: setting a value runs none.
void dialog_set_values(const Dialog &dialog, const transform::DialogExtras &extras,
                       const Values *values);

// A window given a height opens at that height when its content fits in it at the width it
// is given, and else at the height the content needs at that width. GTK measures a window's
// least height at its content's least width, at which a wrapped text takes the most lines;
// the content is kept as wide as it needs to be to fit. Before the window is shown.
void dialog_fit_height(const Dialog &dialog);

// Each field named for assistive tools after a text just before it, on the parts of it that
// take the focus. Once the window is shown, and so a field's hidden parts are known.
void dialog_name_fields(const Dialog &dialog, const transform::DialogExtras &extras);

// Each widget's actions run when the user does what its kind says (a click, a change); those
// of a timer, and of anything else whose name says "timer", once a second. After the driver's own
// handlers: OK or an exit button ends the dialog before its actions would run.
void dialog_wire_actions(const Dialog &dialog, GHashTable *widget_actions);

// Each widget's on="change" actions run when the user changes it, its on="activate" ones on
// Enter or a double click instead of OK; changes quillet makes itself run none. A widget
// whose kind has no such event never runs them. Before the feeds start.
void dialog_wire_events(const Dialog &dialog, const transform::DialogExtras &extras);

// The first field or check box on show, on a notebook's first page rather than its tabs.
void dialog_focus_first_field(const Dialog &dialog, const transform::DialogExtras &extras);

} // namespace quillet::app
