#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

#define QUILLET_TYPE_APP (quillet_get_type())
G_DECLARE_FINAL_TYPE(Quillet, quillet, QUILLET, APP, GObject)

Quillet *quillet_new(void);

// Reads the command line: may print the banner and end the process, may switch debug
// output on, may set the XML program.
void quillet_parse_arguments(Quillet *self, char **argv, int argc);

// Builds and shows the dialog and runs it; ends the process when the window goes away.
void quillet_launch(Quillet *self);

// Writes one shell assignment per named widget to standard output.
void quillet_export_all_states(Quillet *self, GtkBuilder *builder);

// Runs each command in turn, without a shell, in environment `env` (NULL: quillet's own),
// ignoring its output and failures.
void quillet_execute_bash_actions(Quillet *self, GPtrArray *commands, char **env);

const char *quillet_get_xml_program(Quillet *self);
gboolean quillet_get_debug_mode(void);

// The process entry behind main.
int quillet_main(int argc, char **argv);

G_END_DECLS
