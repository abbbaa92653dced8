#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

#define XML_TYPE_PREPROCESSOR (xml_preprocessor_get_type())
G_DECLARE_FINAL_TYPE(XmlPreprocessor, xml_preprocessor, XML, PREPROCESSOR, GObject)

XmlPreprocessor *xml_preprocessor_new(void);

// Puts every tag on a line of its own, rewrites the legacy forms and replaces every
// <input> element by the items its command prints. Returns a new string.
char *xml_preprocessor_clean_legacy_syntax(XmlPreprocessor *self, const char *raw_xml);

G_END_DECLS
