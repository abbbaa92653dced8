#pragma once

#include <glib-object.h>

G_BEGIN_DECLS

#define HOLLIN_TYPE_WIDGETS (hollin_widgets_get_type())
G_DECLARE_FINAL_TYPE(HollinWidgets, hollin_widgets, HOLLIN, WIDGETS, GObject)

// Appends the GtkBuilder fragment that opens element `name`; nothing for an unknown name.
void hollin_widgets_append_element_start(GString *sb, const char *name, const char *id,
                                         const char *label, const char *title);

// Appends the start of a text element whose label is found by `id`, for a feed to update.
void hollin_widgets_append_fed_text_start(GString *sb, const char *id);

// Appends the start of a file chooser with `action` open, select-folder or save; closed by
// hollin_widgets_append_chooser_end with the same action.
void hollin_widgets_append_chooser_start(GString *sb, const char *id, const char *action);
void hollin_widgets_append_chooser_end(GString *sb, const char *action);

// Appends the start of a list or tree with a column for each of `titles` (already escaped)
// and headers, or one column without when there are none; several rows may be chosen with
// `multiple`. Closed as a list is.
void hollin_widgets_append_table_start(GString *sb, const char *id, const char *const *titles,
                                       gboolean multiple);

// Appends the fragment that closes exactly what the start fragment of `name` left open.
void hollin_widgets_append_element_end(GString *sb, const char *name);

// Whether `name` is one of the twenty-two elements that have templates.
gboolean hollin_widgets_is_widget_element(const char *name);

G_END_DECLS
