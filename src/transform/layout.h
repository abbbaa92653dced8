#pragma once

// The layout builder behind process_and_clean_xml, callable on already cleaned text.

#include "widgets/extras.h"

#include <glib.h>

#include <span>
#include <string_view>

namespace quillet::transform {

using widgets::DialogExtras;
using widgets::Feed;

// Writes the whole interface document for `clean` into `sb`: header, adjustments, list
// stores, widget objects, end. Files actions in `widget_actions` and hands out generated
// ids from `auto_id_counter`, both of which carry over between calls, and what else the
// dialog needs in `extras` when given, with the layout GTK is given when the rows go to it
// apart, and the <input> elements cleaning met (`inputs`, in the order of their offsets into
// `clean`). Mistakes in the markup are said under --debug and kept in the extras' problems,
// each with the markup line (`lines`: the markup line of each line of `clean`, 1 for the
// first; without, the lines of `clean` count). Returns how deep widget elements were nested.
size_t build_layout(GString *sb, std::string_view clean, GHashTable *widget_actions,
                    int &auto_id_counter, DialogExtras *extras = nullptr,
                    std::span<const widgets::InputAt> inputs = {}, std::span<const int> lines = {});

} // namespace quillet::transform
