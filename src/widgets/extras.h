#pragma once

// What the walk finds out beside the layout, for the window's set-up and the feeds.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quillet::widgets {

struct Kind;

// A command whose output lines update a widget while the dialog runs. `kind` is the element
// it came in (progressbar, text, entry, list or tree); `object_id` finds the widget in the
// layout.
struct Feed {
  std::string object_id;
  std::string kind;
  std::string command;
};

// An <input> element, met while cleaning: its command, what it printed, and where its items
// stand in the cleaned text (from the line break before them to the end of the last).
struct InputAt {
  size_t start = 0;
  size_t end = 0;
  std::string command;
  std::string output;
};

// What a widget's <input> elements give it: their commands, run again on a refresh, and the
// output it starts with when its kind takes that itself rather than as items of the layout.
struct Inputs {
  std::vector<std::string> commands;
  std::optional<std::string> start;
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
  std::map<std::string, std::string> hidden_texts;  // a hidden entry's starting text, kept
                                                    // out of the layout
  std::map<std::string, std::string> pictures;      // image id to the file it shows, read
                                                    // when the window is built
  std::map<std::string, const Kind *> kinds;        // the kind of each object the layout names
  std::map<std::string, std::string> filters;       // file chooser id to its filter="..."
  bool mnemonics = true; // an underscore in a button's caption marks its Alt key

  // The window's and the progress bars' ends.
  int timeout_ms = 0;                         // until the dialog ends by itself; 0 for never
  std::set<std::string> auto_closes;          // progress bars that end the dialog at 100
  bool keep_above = false;                    // the window asks to stay above others
  std::map<std::string, Inputs> inputs;       // by object id
  std::map<std::string, std::string> objects; // a widget's name to its object id, where the two
                                              // differ
  std::set<std::string> commanded;            // names that built-in commands act on

  // Actions that run on an event (<action on="change">, <action on="activate">): event to
  // widget id to its commands, in document order. Actions without `on` are in the widget
  // actions table, as they have always been.
  std::map<std::string, std::map<std::string, std::vector<std::string>>> events;

  // Rows GTK is given directly rather than through the layout (see Draft::write).
  std::map<std::string, std::vector<std::string>> rows; // widget id to its rows' cells, row by
                                                        // row, as GTK would read them
  std::string builder_layout; // the layout GTK is given, or empty when it is the copy itself

  // The button Enter presses, when one is given default="true"; empty for OK.
  std::string default_button;
};

} // namespace quillet::widgets
