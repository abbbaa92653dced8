// What a tick, a radio tick and an edit cost in a list of many rows, at its first row and at
// its last, in a window on screen; and reading the list's value. A program that prints
// figures: it never fails on a time.
//
// Usage: list-ticks [ROWS] [TIMES]   (defaults: 100000 rows, each change made 2000 times)

#include "app/actions.h"
#include "app/dialog.h"
#include "transform/xml_transformer.h"
#include "widgets/kinds.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// The list of `rows` rows named `id`, with `types` columns, in a window of its own.
struct Shown {
  GtkBuilder *builder;
  GtkTreeView *view;
  std::shared_ptr<quillet::app::Actions> actions; // where its change actions would be queued
};

Shown show(const char *id, const char *types, const char *editable, int rows) {
  std::string program = "<window><vbox><list variable=\"" + std::string(id) +
                        "\" columns=\"Pick|Icon|Name|Size\" column-types=\"" + types +
                        "\" editable=\"" + editable + "\">";
  for (int row = 1; row <= rows; row++)
    program += "<item>false|folder|/home/user/photos/IMG_" + std::to_string(row) + ".jpg|" +
               std::to_string(row) + "</item>\n";
  program += "</list><button ok></button></vbox></window>";
  g_autoptr(XmlTransformer) transformer = xml_transformer_new();
  g_autofree char *layout = xml_transformer_process_and_clean_xml(transformer, program.c_str());
  const quillet::transform::DialogExtras &extras = *xml_transformer_get_extras(transformer);
  const std::string &for_gtk = extras.builder_layout.empty() ? layout : extras.builder_layout;
  GtkBuilder *builder = gtk_builder_new_from_string(for_gtk.c_str(), -1);
  GtkWidget *window = GTK_WIDGET(gtk_builder_get_object(builder, "main_window"));
  auto actions = std::make_shared<quillet::app::Actions>(window, [] { return g_get_environ(); });
  quillet::app::Dialog dialog{builder, window, nullptr, nullptr};
  dialog.actions = actions.get();
  quillet::app::dialog_set_up(dialog, extras);
  gtk_window_set_default_size(GTK_WINDOW(window), 450, 350);
  gtk_widget_show_all(window);
  while (gtk_events_pending())
    gtk_main_iteration();
  return {builder, GTK_TREE_VIEW(gtk_builder_get_object(builder, id)), actions};
}

GtkCellRenderer *renderer(GtkTreeView *view, int column) {
  g_autoptr(GList) cells =
      gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(gtk_tree_view_get_column(view, column)));
  return GTK_CELL_RENDERER(cells->data);
}

// Microseconds per change at row `row` (from 0), scrolled into view as the user has it, the
// view brought up to date after each change as it is before the next event.
double per_change(GtkTreeView *view, int column, const char *signal, int row, int times) {
  const std::string path = std::to_string(row);
  g_autoptr(GtkTreePath) shown = gtk_tree_path_new_from_indices(row, -1);
  gtk_tree_view_scroll_to_cell(view, shown, nullptr, FALSE, 0, 0);
  while (gtk_events_pending())
    gtk_main_iteration();
  GtkCellRenderer *cell = renderer(view, column);
  const gint64 start = g_get_monotonic_time();
  // A radio box ticked stays so: two rows take turns.
  const std::string other = std::to_string(row > 0 ? row - 1 : row + 1);
  for (int i = 0; i < times; i++) {
    if (g_str_equal(signal, "toggled"))
      g_signal_emit_by_name(cell, "toggled", (i % 2 ? other : path).c_str());
    else
      g_signal_emit_by_name(cell, "edited", path.c_str(), i % 2 ? "a" : "b");
    while (gtk_events_pending())
      gtk_main_iteration();
  }
  return static_cast<double>(g_get_monotonic_time() - start) / times;
}

double read_ms(GtkTreeView *view) {
  const quillet::widgets::Kind *kind = quillet::widgets::kind_of_widget(G_OBJECT(view));
  const gint64 start = g_get_monotonic_time();
  const quillet::widgets::Value value = kind->read(G_OBJECT(view));
  (void)value;
  return static_cast<double>(g_get_monotonic_time() - start) / 1000;
}

} // namespace

int main(int argc, char **argv) {
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "list-ticks: no display (run it under xvfb-run)\n");
    return 1;
  }
  const int rows = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
  const int times = argc > 2 ? std::max(1, atoi(argv[2])) : 2000;
  printf("A list of %d rows on screen: microseconds per change, each made %d times\n", rows, times);
  printf("  %-34s %12s %12s %14s\n", "change", "first row", "last row", "read value ms");
  struct Case {
    const char *what, *id, *types, *editable, *signal;
    int column;
  };
  const Case kCases[] = {
      {"tick a check box", "CHECK", "check|icon|text|number", "false", "toggled", 0},
      {"tick a radio box", "RADIO", "radio|icon|text|number", "false", "toggled", 0},
      {"edit a cell", "EDIT", "check|icon|text|number", "3", "edited", 2},
  };
  for (const Case &c : kCases) {
    const Shown shown = show(c.id, c.types, c.editable, rows);
    per_change(shown.view, c.column, c.signal, rows / 2, times / 10 + 1); // warms up
    const double first = per_change(shown.view, c.column, c.signal, 0, times);
    const double last = per_change(shown.view, c.column, c.signal, rows - 1, times);
    printf("  %-34s %12.1f %12.1f %14.1f\n", c.what, first, last, read_ms(shown.view));
    gtk_widget_destroy(GTK_WIDGET(gtk_builder_get_object(shown.builder, "main_window")));
    g_object_unref(shown.builder);
  }
  return 0;
}
