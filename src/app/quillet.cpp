#include "quillet.h"

#include "transform/xml_transformer.h"

#include <cstdio>

struct _Quillet {
  GObject parent_instance;

  char *xml_program;
  XmlTransformer *transformer;
};

G_DEFINE_TYPE(Quillet, quillet, G_TYPE_OBJECT)

static void quillet_finalize(GObject *object) {
  Quillet *self = QUILLET_APP(object);
  g_clear_pointer(&self->xml_program, g_free);
  g_clear_object(&self->transformer);
  G_OBJECT_CLASS(quillet_parent_class)->finalize(object);
}

static void quillet_class_init(QuilletClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = quillet_finalize;
}

static void quillet_init(Quillet *self) {
  self->xml_program = g_strdup("");
  self->transformer = xml_transformer_new();
}

Quillet *quillet_new(void) {
  return QUILLET_APP(g_object_new(QUILLET_TYPE_APP, NULL));
}

int quillet_main(int argc, char **argv) {
  g_autoptr(Quillet) app = quillet_new();
  if (argc <= 1 || g_str_equal(argv[1], "--help") || g_str_equal(argv[1], "-h")) {
    fputs("quillet v1.0.0 - Native GTK3 Drop-In Replacement\n", stdout);
    return 0;
  }
  // Showing the dialog comes with the application driver.
  return 1;
}
