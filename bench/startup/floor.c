// The floor: the least a GTK 3 program does to show a GtkBuilder layout, the window quillet
// generated for the same dialog. quillet's start-up time and memory are compared with it.
//
// Usage: startup-floor LAYOUT_FILE

#include <gtk/gtk.h>

int main(int argc, char **argv) {
  gtk_init(&argc, &argv);
  if (argc != 2) {
    g_printerr("usage: startup-floor LAYOUT_FILE\n");
    return 2;
  }
  GtkBuilder *builder = gtk_builder_new();
  GError *error = NULL;
  gchar *layout = NULL;
  gsize length = 0;
  // Loaded from a string, the way quillet hands GTK its layout.
  if (!g_file_get_contents(argv[1], &layout, &length, &error) ||
      !gtk_builder_add_from_string(builder, layout, length, &error)) {
    g_printerr("startup-floor: %s\n", error->message);
    return 1;
  }
  GObject *window = gtk_builder_get_object(builder, "main_window");
  if (!GTK_IS_WINDOW(window)) {
    g_printerr("startup-floor: the layout has no main_window\n");
    return 1;
  }
  gtk_window_set_default_size(GTK_WINDOW(window), 450, 350);
  // Closing the window ends the program, as it does quillet.
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  gtk_widget_show_all(GTK_WIDGET(window));
  gtk_main();
  return 0;
}
