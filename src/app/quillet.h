#pragma once

#include <gtk/gtk.h>

G_BEGIN_DECLS

#define QUILLET_TYPE_APP (quillet_get_type())
G_DECLARE_FINAL_TYPE(Quillet, quillet, QUILLET, APP, GObject)

// The application: what the command line asks for, and the dialog it shows, from start to end.
Quillet *quillet_new(void);

// Reads the command line: may print the banner and end the process, may switch debug
// output on, may set the XML program, the format and the values file. An unknown format or a
// missing value ends the process with status 2 and a message on standard error.
void quillet_parse_arguments(Quillet *self, char **argv, int argc);

// Builds and shows the dialog and runs it until it ends, then writes the answer and ends what
// it started. The status quillet ends with: 1 for a dialog that cannot be shown or an answer
// that could not be written whole.
int quillet_launch(Quillet *self);

const char *quillet_get_xml_program(Quillet *self);
// The name of the --format chosen ("bash" by default), and the --values file or NULL.
const char *quillet_get_format(Quillet *self);
const char *quillet_get_values_file(Quillet *self);
gboolean quillet_get_debug_mode(Quillet *self);

// The process entry behind main.
int quillet_main(int argc, char **argv);

G_END_DECLS
