#pragma once

// The table of widget kinds: one row for each markup element that makes a widget, saying all
// that the rest of the program asks of that kind. The walk asks a row how the element's start
// tag, items, <default>, captions and children go into the layout; the window's set-up, the
// export and the feeds ask it how the widget is set up, read and fed. None of them names a
// kind: a new element is a new row in one of the families (containers.cpp, texts.cpp,
// choices.cpp, lists.cpp, numbers.cpp, pickers.cpp, files.cpp, shows.cpp, or a new file
// beside them) and its test cases. What a row keeps of an element, while the walk writes it
// and for the window, is of a type of the row's own, which the walk and the window hold for
// the row without knowing it.
//
// The layout side of a row is text only; the window side calls GTK.

#include "widgets/extras.h"
#include "widgets/markup.h"
#include "widgets/tables.h"

#include <glib-object.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

typedef struct _GtkBuilder GtkBuilder;
typedef struct _GtkWidget GtkWidget;

namespace quillet::widgets {

class Draft;
class Pictures;
struct Kind;

// One widget element from its start tag to its end: what the walk keeps about it meanwhile.
struct Element {
  const Kind *kind = nullptr;
  std::string id;        // its widget id: the variable, a word of its own or one made up
  std::string object_id; // the id its object carries in the layout, by which a feed and the
                         // window's set-up find it; empty when it carries none
  bool open = true;      // its end has not been written yet
  bool has_default = false;
  int line = 0;                     // the markup line of its start tag
  bool accounted = false;           // its end tag came out of turn, or its missing end is said
  std::unique_ptr<KindState> state; // its row's own, made by Kind::new_state
  KindState *record = nullptr;      // what its row keeps of it for the window, once it keeps
                                    // something (Draft::record)
};

// A start tag as the walk meets it.
struct Tag {
  std::string_view line;     // the whole tag, attributes and all
  std::string_view rest;     // the markup after its line, for a kind that looks ahead
  int ordinal;               // 1 for the first element of its kind, 2 for the next, ...
  Element *holder = nullptr; // the element it goes into; none for the window
  // The id of the first element of its kind that went into the same holder, when that is
  // another one: radio buttons join its group.
  const std::string *leader = nullptr;
};

// A widget's value, as OK prints it and actions see it.
struct Value {
  std::string text;
  bool lines = false; // may run over lines: written in the $'...' form
  bool rows = false;  // rows chosen in a list, one per line: a list where the format has lists
  std::vector<std::string> items = {}; // those rows whole, where `text` cannot hold them a line
                                       // each; empty: `text`'s lines
  // Every row with every cell, where the format has lists of lists (a list whose cells are
  // edited); `text` holds them as table_text writes them. None for other values.
  std::optional<Table> table = std::nullopt;
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
  // What its row kept of it for the window (Kind::new_record); null when it kept nothing.
  const KindState *record = nullptr;
  // Where the dialog's pictures are loaded.
  Pictures *pictures = nullptr;
};

struct Kind {
  std::string_view element;
  // The attributes its start tag takes besides those of every widget (kEveryWidget).
  std::span<const Attribute> takes = {};

  // --- The layout. `start` writes the fragment that opens the element; the walk then writes
  // the properties any start tag may ask for (common_properties), and `attributes` those the
  // kind reads itself. `end` closes exactly what they left open.
  void (*start)(Draft &draft, Element &element, const Tag &tag);
  void (*end)(Draft &draft, Element &element);
  // What it keeps from its start tag to its end, in Element::state; without, nothing.
  std::unique_ptr<KindState> (*new_state)() = nullptr;
  void (*attributes)(Draft &draft, Element &element, std::string_view tag) = nullptr;
  // A widget id the kind gives the element itself, or empty for the usual one.
  std::string (*own_id)(std::string_view tag) = nullptr;
  // Other widgets may go inside; a kind that holds none is ended by the next widget.
  bool holds_children = false;
  bool across = false;                                          // its children stand side by side
  void (*child_added)(Draft &draft, Element &holder) = nullptr; // before the child's start
  void (*child_ended)(Draft &draft, Element &holder) = nullptr; // after the child's end
  // What an <item> line does while the element is the current one; without, the item is
  // copied into the layout as it is.
  void (*item)(Draft &draft, Element &current, std::string_view text) = nullptr;
  // What an <input>'s output does while the element is the current one, when the element
  // takes it whole rather than as items: says whether it did. Without, items.
  bool (*input)(Draft &draft, Element &current, std::string_view output) = nullptr;
  bool input_starts = false; // with `item` and `refill`: an <input> still gives it its start
  // What its <default> does (the first one only); without, it takes none.
  void (*set_default)(Draft &draft, Element &element, const std::string &text) = nullptr;
  std::string_view caption = "label"; // the property a <label> inside it sets
  // Once the walk has read the last line, for each element of the kind in document order:
  // what can only be done when the whole layout is written.
  void (*walk_ended)(Draft &draft, Element &element) = nullptr;

  // --- The window.
  GType (*type)(void) = nullptr; // the class of the object the layout names
  const char *signal = nullptr;  // what the user does to it that runs its actions
  bool ticks = false;            // its actions run once a second instead
  bool button = false;           // a push button: only such a widget can be OK, Cancel or an
                                 // exit button, and a row of them stands at the right edge
  bool named = false;            // a field, named after a text just before it
  bool focused = false;          // may take the focus when the window shows
  // What it keeps of a widget for the window (Setup::record), made by Draft::record when it
  // first keeps something; without, nothing. Rows that make the same type share a widget's.
  std::unique_ptr<KindState> (*new_record)() = nullptr;
  // Says what such a record holds, a note for each thing it keeps, for the tests to print.
  void (*describe)(const KindState &record, std::string_view id,
                   std::vector<Note> &notes) = nullptr;
  // Its start when the window is built: starting rows, choosers, Enter and the like.
  void (*set_up)(GObject *widget, const Setup &setup) = nullptr;
  // Its value; without, it has no value.
  Value (*read)(GObject *widget) = nullptr;
  // Under --debug, before `read`: says on standard error how it reads the widget named
  // `name`.
  void (*explain)(GObject *widget, const char *name) = nullptr;
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
  // Whether it is ticked: its on="checked" and on="unchecked" actions run on `change_signal`
  // as it becomes so; without, it has no such events.
  bool (*checked)(GObject *widget) = nullptr;
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

  // --- What stands for it on screen, in its box, where the kind puts it in a box of its own
  // (slot_of); without, the widget itself, or the scrolled window that holds it.
  GtkWidget *(*slot)(GtkWidget *widget) = nullptr;
  // The part of it that stands for it when it takes the focus, and so takes the text's
  // mnemonic; without, the widget itself.
  GtkWidget *(*focus_part)(GtkWidget *widget) = nullptr;

  // Gives it what its <input> commands printed (valid UTF-8, no NUL), at the start and on a
  // refresh: rows or items in place of its own, a text, a caption, a value. Without, an
  // <input> gives it items in the layout, which GTK reads as the window is built. Under a
  // Quiet.
  void (*refill)(GObject *widget, const std::string &output) = nullptr;
};

// The row of element `name` (lower case), or null for markup that makes no widget.
const Kind *kind_of(std::string_view name);

// The attributes every widget's start tag takes: its name, a tooltip, insensitive, hidden.
extern const std::span<const Attribute> kEveryWidget;

// The properties any widget's start tag may ask for: a tooltip, insensitive.
std::string common_properties(std::string_view tag);

// Whether the start tag asks for its widget to start hidden (visible="false"), which the
// window does as it is built: a kind whose objects carry no id otherwise gives it one then.
bool starts_hidden(std::string_view tag);

// --- Widgets in the window.

// Marks `widget` as made by `kind`: more than one kind may make objects of one class.
void mark(GObject *widget, const Kind *kind);

// The kind `widget` was marked with, or else the first kind whose class is nearest its own;
// null for a widget no kind makes.
const Kind *kind_of_widget(GObject *widget);

// Whether `widget` is a push button (Kind::button).
bool is_button(GObject *widget);

// GTK's own caption `caption` (such as "_Cancel") in the user's language, as GTK's dialogs
// show it; with an underscore that marks its Alt key, left out without `alt_keys`.
std::string gtk_caption(const char *caption, bool alt_keys = true);

// Whether `row` is a row of buttons: a box across that holds buttons and nothing else.
bool is_button_row(GtkWidget *row);

// What stands for `widget` on screen (Kind::slot): names look for a text just before it, and
// show:, hide:, enable: and disable: act on it as a whole.
GtkWidget *slot_of(GtkWidget *widget);

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
