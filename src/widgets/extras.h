#pragma once

// What the walk finds out beside the layout, for the window's set-up and the feeds.

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::widgets {

struct Kind;

// What a row keeps of one of its elements: from its start tag to its end (Kind::new_state),
// or for the window (Kind::new_record). Each row has a type of its own for it, which only
// that row reads.
struct KindState {
  virtual ~KindState() = default;
};

// A line saying what a row keeps of a widget for the window, for a reader such as a test;
// `topic` names what the line tells.
struct Note {
  std::string_view topic;
  std::string line;
};

// What the rows keep of the widgets for the window, by object id: a record of each type the
// rows make (Kind::new_record). Rows that make the same type share a widget's record, and so
// do widgets given the same name.
class Records {
public:
  // The record of widget `id` of the type `kind` makes, made when there is none yet.
  KindState &of(const std::string &id, const Kind &kind);
  // The same, or null when there is none.
  const KindState *find(const std::string &id, const Kind &kind) const;
  // What the rows say of their records, the widgets in the order of their ids.
  std::vector<Note> notes() const;

private:
  struct Entry {
    const Kind *kind; // the row that made it
    std::unique_ptr<KindState> record;
  };
  std::map<std::string, std::vector<Entry>> by_id_;
};

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
// A mistake in the markup: the markup line it is on (1 for the first), or 0 for none, and
// what it is.
struct Problem {
  int line = 0;
  std::string text;
};

struct DialogExtras {
  std::vector<Problem> problems; // of the last layout made, in the order met
  // Of the last layout made, for a check: every action command, input and feed with its
  // markup line, and the markup line of each widget by its name.
  std::vector<std::pair<int, std::string>> commands;
  std::vector<std::pair<int, std::string>> scripts; // what bash runs: inputs and feeds
  std::map<std::string, int> lines;
  std::vector<std::string> order;            // every widget id, once, in document order
  std::vector<Feed> feeds;                   // in document order
  std::map<std::string, const Kind *> kinds; // the kind of each object the layout names
  Records records;                           // what their rows keep of them for the window
  bool mnemonics = true; // an underscore in a button's caption marks its Alt key

  int timeout_ms = 0;                         // until the dialog ends by itself; 0 for never
  bool timeout_bar = false;                   // a bar shows the time left
  bool keep_above = false;                    // the window asks to stay above others
  std::map<std::string, Inputs> inputs;       // by object id
  std::map<std::string, std::string> objects; // a widget's name to its object id, where the two
                                              // differ
  std::set<std::string> commanded;            // names that built-in commands act on

  // Actions that run on an event (<action on="change">, <action on="activate">): event to
  // widget id to its commands, in document order. Actions without `on` are in the widget
  // actions table, which the window wires to the signal of each widget's kind.
  std::map<std::string, std::map<std::string, std::vector<std::string>>> events;

  // Rows GTK is given directly rather than through the layout (see Draft::write).
  std::map<std::string, std::vector<std::string>> rows; // widget id to its rows' cells, row by
                                                        // row, as GTK would read them
  std::string builder_layout; // the layout GTK is given, or empty when it is the copy itself

  // The button Enter presses, when one is given default="true"; empty for OK.
  std::string default_button;

  // The object ids of the widgets that start hidden (visible="false"), in document order.
  std::vector<std::string> hidden;
};

} // namespace quillet::widgets
