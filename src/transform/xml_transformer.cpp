#include "xml_transformer.h"

#include "common/checks.h"

#include "layout.h"
#include "preprocess/xml_preprocessor.h"

struct _XmlTransformer {
  GObject parent_instance;

  GHashTable *widget_actions;
  int auto_id_counter;
  XmlPreprocessor *preprocessor;
  size_t nesting_depth;
  quillet::transform::DialogExtras *extras;
};

G_DEFINE_TYPE(XmlTransformer, xml_transformer, G_TYPE_OBJECT)

static void xml_transformer_finalize(GObject *object) {
  XmlTransformer *self = XML_TRANSFORMER(object);
  g_clear_pointer(&self->widget_actions, g_hash_table_unref);
  g_clear_object(&self->preprocessor);
  delete self->extras;
  G_OBJECT_CLASS(xml_transformer_parent_class)->finalize(object);
}

static void xml_transformer_class_init(XmlTransformerClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = xml_transformer_finalize;
}

static void xml_transformer_init(XmlTransformer *self) {
  self->widget_actions = g_hash_table_new_full(g_str_hash, g_str_equal, g_free,
                                               reinterpret_cast<GDestroyNotify>(g_ptr_array_unref));
  self->auto_id_counter = 0;
  self->preprocessor = xml_preprocessor_new();
  self->extras = new quillet::transform::DialogExtras();
}

XmlTransformer *xml_transformer_new(void) {
  return XML_TRANSFORMER(g_object_new(XML_TYPE_TRANSFORMER, NULL));
}

GHashTable *xml_transformer_get_widget_actions(XmlTransformer *self) {
  g_return_val_if_fail(self != NULL, NULL);
  return self->widget_actions;
}

const quillet::transform::DialogExtras *xml_transformer_get_extras(XmlTransformer *self) {
  g_return_val_if_fail(self != NULL, NULL);
  return self->extras;
}

size_t xml_transformer_get_nesting_depth(XmlTransformer *self) {
  g_return_val_if_fail(self != NULL, 0);
  return self->nesting_depth;
}

char *xml_transformer_process_and_clean_xml(XmlTransformer *self, const char *raw_xml) {
  g_return_val_if_fail(self != NULL, NULL);
  g_return_val_if_fail(raw_xml != NULL, NULL);

  g_autofree char *clean = xml_preprocessor_clean_legacy_syntax(self->preprocessor, raw_xml);
  g_autoptr(GString) sb = g_string_new(nullptr);
  self->extras->feeds.clear();
  self->nesting_depth = quillet::transform::build_layout(sb, clean, self->widget_actions,
                                                         self->auto_id_counter, self->extras);
  return g_string_free(g_steal_pointer(&sb), FALSE);
}
