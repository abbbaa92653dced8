#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

#define QUILLET_TYPE_APP (quillet_get_type())
G_DECLARE_FINAL_TYPE(Quillet, quillet, QUILLET, APP, GObject)

Quillet *quillet_new(void);

// The process entry behind main.
int quillet_main(int argc, char **argv);

G_END_DECLS
