#pragma once

// The layout builder behind process_and_clean_xml, callable on already cleaned text.

#include <glib.h>

#include <map>
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

// What the dialog needs beside the layout, for the driver to do after loading it.
struct DialogExtras {
  std::vector<std::string> order;           // every widget id, once, in document order
  std::map<std::string, std::string> exits; // button id to the word it ends the dialog with
  std::map<std::string, int> chosen;        // combo box, list or tree id to its starting row
  std::map<std::string, int> digits;        // slider id to the decimals its value is printed with
  std::vector<Feed> feeds;                  // in document order
  std::map<std::string, std::vector<int>> selected; // a multiple-selection list's starting rows
  std::map<std::string, std::string> paths;         // file chooser id to its starting path
  std::vector<std::string> save_choosers;           // the entries of save choosers
  std::map<std::string, std::string> hidden_texts;  // a hidden entry's starting text, kept
                                                    // out of the layout
};

// Writes the whole interface document for `clean` into `sb`: header, adjustments, list
// stores, widget objects, end. Files actions in `widget_actions` and hands out generated
// ids from `auto_id_counter`, both of which carry over between calls, and what else the
// dialog needs in `extras` when given. Returns how deep widget elements were nested.
size_t build_layout(GString *sb, std::string_view clean, GHashTable *widget_actions,
                    int &auto_id_counter, DialogExtras *extras = nullptr);

} // namespace quillet::transform
