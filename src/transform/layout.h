#pragma once

// The layout builder behind process_and_clean_xml, callable on already cleaned text.

#include <glib.h>

#include <string>
#include <string_view>
#include <vector>

namespace quillet::transform {

// A command whose output lines update a widget while the dialog runs. `kind` is the element
// (progressbar, text, entry, list or tree); `object_id` finds the widget in the layout.
struct Feed {
  std::string object_id;
  std::string kind;
  std::string command;
};

// Writes the whole interface document for `clean` into `sb`: header, adjustments, list
// stores, widget objects, end. Files actions in `widget_actions` and hands out generated
// ids from `auto_id_counter`, both of which carry over between calls, and appends feeds to
// `feeds` when given. Returns how deep widget elements were nested.
size_t build_layout(GString *sb, std::string_view clean, GHashTable *widget_actions,
                    int &auto_id_counter, std::vector<Feed> *feeds = nullptr);

} // namespace quillet::transform
