#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

#define QUILLET_TYPE_APP (quillet_get_type())
G_DECLARE_FINAL_TYPE(Quillet, quillet, QUILLET, APP, GObject)

Quillet *quillet_new(void);

// Reads the command line: may print the banner and end the process, may switch debug
// output on, may set the XML program, the format and the values file. An unknown format or a
// missing value ends the process with status 2 and a message on standard error.
void quillet_parse_arguments(Quillet *self, char **argv, int argc);

// Builds and shows the dialog and runs it; ends the process when the window goes away.
void quillet_launch(Quillet *self);

// Queues the commands to run in turn beside the main loop, each without a shell, ignoring
// their output and failures.
void quillet_execute_bash_actions(Quillet *self, GPtrArray *commands);

const char *quillet_get_xml_program(Quillet *self);
// The name of the --format chosen ("bash" by default), and the --values file or NULL.
const char *quillet_get_format(Quillet *self);
const char *quillet_get_values_file(Quillet *self);
gboolean quillet_get_debug_mode(void);

// The process entry behind main.
int quillet_main(int argc, char **argv);

G_END_DECLS
