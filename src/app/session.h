#pragma once

// One dialog on the screen and what it starts, from its showing to its end. Signal handlers
// only say how the dialog ended (an exit word, or the window closed) and ask the main loop
// to quit; the answer is written once it has, while the widgets are still there.

#include "actions.h"
#include "builtins.h"
#include "feeds.h"
#include "formats.h"
#include "values.h"
#include "widgets/pictures.h"

#include <gtk/gtk.h>

#include <optional>
#include <string>
#include <vector>

namespace quillet::app {

class Session {
public:
  // `builder` holds `window`; `extras` and `widget_actions` (the transformer's) outlive the
  // session.
  Session(GtkBuilder *builder, GtkWidget *window, const transform::DialogExtras &extras,
          GHashTable *widget_actions, Format format, bool debug);
  ~Session();
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  // Sets the window up with `values` (none without), shows it and runs the main loop until the
  // dialog ends; then writes the answer and ends what the dialog started. `fit_height` when
  // the markup gave the window a height. The status quillet ends with.
  int run(const Values *values, bool fit_height);

private:
  // How the dialog ended: with an exit word, and the widgets' values unless it is Cancel's.
  struct Ending {
    std::string word;
    bool values;
  };

  static void end_by(const char *word, gpointer data);
  static void on_ok(GtkButton *, gpointer data);
  static void on_cancel(GtkButton *, gpointer data);
  static gboolean on_delete(GtkWidget *, GdkEvent *, gpointer data);
  static void on_destroy(GtkWidget *, gpointer data);

  void set_up(const Values *values, bool fit_height);
  // With no ending: the window was closed.
  void end(std::optional<Ending> ending);
  std::vector<WidgetState> states(bool explain);
  int finish();

  GtkWidget *window_;
  GtkWidget *ok_;     // null without one
  GtkWidget *cancel_; // null without one
  const transform::DialogExtras &extras_;
  GHashTable *widget_actions_;
  Format format_;
  bool debug_;
  // Refused names are explained once, whichever comes first: the answer or an action.
  bool refusals_said_ = false;
  std::optional<Ending> ending_;
  bool closed_ = false;
  bool window_gone_ = false; // destroyed, by another than quillet
  Actions actions_;
  Feeds feeds_;
  Builtins builtins_;
  widgets::Pictures pictures_;
  GtkBuilder *builder_;
};

} // namespace quillet::app
