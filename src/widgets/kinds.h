#pragma once

// The table of widget kinds: one row for each markup element that makes a widget, saying all
// that the rest of the program asks of that kind. The walk asks a row how the element's start
// tag, items, <default>, captions and children go into the layout; the window's set-up, the
// export and the feeds ask it how the widget is set up, read and fed. None of them names a
// kind: a new element is a new row in one of the families (containers.cpp, texts.cpp,
// choices.cpp, lists.cpp, numbers.cpp, pickers.cpp, files.cpp, shows.cpp) and its test cases.
//
// The layout side of a row is text only; the window side calls GTK.

#include "widgets/extras.h"

#include <glib-object.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

typedef struct _GtkBuilder GtkBuilder;
typedef struct _GtkWidget GtkWidget;

namespace quillet::widgets {

class Draft;
struct Kind;

// One widget element from its start tag to its end: what the walk and its kind keep about it
// meanwhile.
struct Element {
  const Kind *kind = nullptr;
  std::string id;        // its widget id: the variable, a word of its own or one made up
  std::string object_id; // the id its object carries in the layout, by which a feed and the
                         // window's set-up find it; empty when it carries none
  bool open = true;      // its end has not been written yet
  bool has_default = false;

  // What kinds keep from the start tag to the end, each field used by the kinds that say so.
  std::string form;                   // which form it takes (a chooser's action, a hidden entry)
  int store = -1;                     // the list store its items are rows of
  size_t range = 0;                   // its adjustment
  std::vector<std::string> choices;   // its items' texts, for a <default> to choose from
  std::optional<std::string> choice;  // the one its <default> chose
  std::optional<size_t> caption_slot; // where a caption its template wrote waits, to give way
                                      // to a <label>
  size_t box_slot = 0;                // where a box goes around its children once there are
  int children = 0;                   // several
  bool boxed = false;
  std::vector<std::string> tabs; // captions for its pages, escaped
  size_t pages = 0;

  // Radio buttons among its children join the group of the first of them.
  std::string radio_group;
  // Where its items are written, to be left out of the layout GTK reads.
  std::optional<size_t> items_slot;
};

// A start tag as the walk meets it.
struct Tag {
  std::string_view line;     // the whole tag, attributes and all
  std::string_view rest;     // the markup after its line, for a kind that looks ahead
  int ordinal;               // 1 for the first element of its kind, 2 for the next, ...
  Element *holder = nullptr; // the element it goes into; none for the window
};

// A widget's value, as OK prints it and actions see it.
struct Value {
  std::string text;
  bool lines = false; // may run over lines: written in the $'...' form
  bool rows = false;  // rows chosen in a list, one per line: a list where the format has lists
  std::vector<std::string> items = {}; // those rows whole, where `text` cannot hold them a line
                                       // each; empty: `text`'s lines
};

// What the window's set-up hands each widget the layout names.
struct Setup {
  std::string_view id; // its object id, under which the extras know it
  const DialogExtras &extras;
  GtkWidget *ok; // the button Enter and double clicks press: the one given default="true",
                 // or else OK; null without either

  // Ends the dialog as a button with exit word `word` would, answer and all.
  void (*end)(const char *word, gpointer data) = nullptr;
  gpointer end_data = nullptr;
};

struct Kind {
  std::string_view element;

  // --- The layout. `start` writes the fragment that opens the element; the walk then writes
  // the properties any start tag may ask for (common_properties), and `attributes` those the
  // kind reads itself. `end` closes exactly what they left open.
  void (*start)(Draft &draft, Element &element, const Tag &tag);
  void (*end)(Draft &draft, const Element &element);
  void (*attributes)(Draft &draft, Element &element, std::string_view tag) = nullptr;
  // A widget id the kind gives the element itself, or empty for the usual one.
  std::string (*own_id)(std::string_view tag) = nullptr;
  // Other widgets may go inside; a kind that holds none is ended by the next widget.
  bool holds_children = false;
  void (*child_added)(Draft &draft, Element &holder) = nullptr; // before the child's start
  void (*child_ended)(Draft &draft, Element &holder) = nullptr; // after the child's end
  // What an <item> line does while the element is the current one; without, the item is
  // copied into the layout as it is.
  void (*item)(Draft &draft, Element &current, std::string_view text) = nullptr;
  // What its <default> does (the first one only); without, it takes none.
  void (*set_default)(Draft &draft, Element &element, const std::string &text) = nullptr;
  std::string_view caption = "label"; // the property a <label> inside it sets

  // --- The window.
  GType (*type)(void) = nullptr; // the class of the object the layout names
  const char *signal = nullptr;  // what the user does to it that runs its actions
  bool named = false;            // a field, named after a text just before it
  bool focused = false;          // may take the focus when the window shows
  // Its start when the window is built: starting rows, choosers, Enter and the like.
  void (*set_up)(GObject *widget, const Setup &setup) = nullptr;
  // Its value; with `explain` (debug mode) it may say on standard error how it read it.
  // Without, it has no value.
  Value (*read)(GObject *widget, const char *name, bool explain) = nullptr;
  // What one line of a feed does to it; without, it takes no feed.
  void (*feed)(GObject *widget, const std::string &line) = nullptr;

  // --- Events: what the user does that runs its on="change" actions (`change_signal` on the
  // object `change_source` gives, such as a view's selection or buffer, or else on the widget;
  // where the signal has alternatives, "a|b", the first the object has) and its
  // on="activate" actions; without, it has no such event. `fills` takes the window's spare
  // height.
  const char *change_signal = nullptr;
  GObject *(*change_source)(GObject *widget) = nullptr;
  const char *activate_signal = nullptr;
  bool fills = false;

  // --- Empties it: its rows, items or text; a progress bar goes to 0.
  void (*clear)(GObject *widget) = nullptr;

  // --- Captions that ask for more than their property: called once a <label> inside it is
  // written, with the text as the layout holds it.
  void (*captioned)(Draft &draft, Element &element, std::string_view text) = nullptr;

  // --- A starting value from an earlier answer: sets it to `text` as `read` gives it, exactly,
  // and says whether it could; a text `read` never gives (no such item, no number, no UTF-8)
  // leaves it as it was. Without, it takes none.
  bool (*set_value)(GObject *widget, const std::string &text) = nullptr;
  // A list given whole (JSON's arrays), its strings as `read` gives them as items; without,
  // `set_value` takes them joined by newlines.
  bool (*set_items)(GObject *widget, const std::vector<std::string> &items) = nullptr;

  // --- Names: what stands in its box for a named widget that the kind wraps in a box of its
  // own; without, the widget itself (or the scrolled window around a view).
  GtkWidget *(*slot)(GtkWidget *widget) = nullptr;
  // The part of it that stands for it when it takes the focus, and so takes the text's
  // mnemonic; without, the widget itself.
  GtkWidget *(*focus_part)(GtkWidget *widget) = nullptr;

  // Gives it what its <input> commands printed (valid UTF-8, no NUL), at the start and on a
  // refresh: rows or items in place of its own, a text, a caption, a value. Without, an
  // <input> gives it nothing but items in the layout, as it always has. Under a Quiet.
  void (*refill)(GObject *widget, const std::string &output) = nullptr;
};

// The row of element `name` (lower case), or null for markup that makes no widget.
const Kind *kind_of(std::string_view name);

// The properties any widget's start tag may ask for: a tooltip, insensitive.
std::string common_properties(std::string_view tag);

// --- Widgets in the window.

// Marks `widget` as made by `kind`: more than one kind may make objects of one class.
void mark(GObject *widget, const Kind *kind);

// The kind `widget` was marked with, or else the first kind whose class is nearest its own;
// null for a widget no kind makes.
const Kind *kind_of_widget(GObject *widget);

// Whether the user clicks `widget`: only such a widget can be OK, Cancel or an exit button.
bool is_clicked(GObject *widget);

// Names `field` for assistive tools (and as the text's mnemonic widget) after a text just
// before it in the same box. The name goes on the field and on the parts of it that take the
// focus (a chooser's visible button, a combo box's toggle), each labelled by the text; other
// parts its kind puts beside it (a save chooser's button) keep their captions and are
// labelled by the text too. Once the window is shown: which parts show is known only then.
void name_by_text_before(GtkWidget *field);

// The dialog's window, and its OK and Cancel buttons, as the layout names them; null where
// there is none.
GtkWidget *window_of(GtkBuilder *builder);
GtkWidget *ok_button(GtkBuilder *builder);
GtkWidget *cancel_button(GtkBuilder *builder);

} // namespace quillet::widgets
