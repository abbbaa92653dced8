#pragma once

#include "preprocess/xml_preprocessor.h"

#include <glib-object.h>

G_BEGIN_DECLS

#define XML_TYPE_TRANSFORMER (xml_transformer_get_type())
G_DECLARE_FINAL_TYPE(XmlTransformer, xml_transformer, XML, TRANSFORMER, GObject)

XmlTransformer *xml_transformer_new(void);

// Cleans the XML program and turns it into a GtkBuilder interface document (a new string),
// filing every widget's action commands in the widget actions table on the way.
char *xml_transformer_process_and_clean_xml(XmlTransformer *self, const char *raw_xml);

// The preprocessor that cleans the XML program, its input commands and all.
XmlPreprocessor *xml_transformer_get_preprocessor(XmlTransformer *self);

// The widget actions table: widget id (char *) to its commands in document order
// (GPtrArray of char *). Owned by the transformer.
GHashTable *xml_transformer_get_widget_actions(XmlTransformer *self);

// How deep widget elements were nested in the last layout made.
size_t xml_transformer_get_nesting_depth(XmlTransformer *self);

G_END_DECLS

#include "transform/layout.h"

#include <functional>
#include <string>

// What the dialog needs beside the layout: widget ids in document order, exit buttons,
// starting rows, feeds. Owned by the transformer; carries over between calls as the table
// does, but for the feeds, which are those of the last layout made.
const quillet::transform::DialogExtras *xml_transformer_get_extras(XmlTransformer *self);

// Where in the markup the fault lies that makes `rejected` say yes to the last layout made:
// "line L, column C: " and the start tag (or the line) where the fault came in; empty when
// it cannot be told. `rejected` is asked about the layouts of ever fewer lines of the markup.
std::string xml_transformer_origin(XmlTransformer *self,
                                   const std::function<bool(const char *layout)> &rejected);
