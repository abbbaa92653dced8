#pragma once

// What the families of widget kinds share: their rows, and the pieces their templates are
// written with.

#include "widgets/draft.h"
#include "widgets/kinds.h"
#include "widgets/markup.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillet::widgets {

// Puts a family's rows into the table of kinds as the program starts: each family file holds
// one, `const Family kFamily("texts", kKinds);`, and the build links every file of
// src/widgets whole, so that a new family is a new file and nothing else. The table keeps
// the families in the order of their names, whatever order their files start in.
class Family {
public:
  Family(std::string_view name, std::span<const Kind> kinds);
};

// Makes a row's own state or record: Kind::new_state and Kind::new_record.
template <typename T> std::unique_ptr<KindState> make() {
  return std::make_unique<T>();
}

// The row's own state of `element` (Kind::new_state).
template <typename T> T &state_of(Element &element) {
  return static_cast<T &>(*element.state);
}

// What the row keeps of `element` for the window (Kind::new_record), made on first use.
template <typename T> T &record_of(Draft &draft, Element &element) {
  return static_cast<T &>(draft.record(element));
}

// The same as the window is set up: null when the row kept nothing of the widget.
template <typename T> const T *record_of(const Setup &setup) {
  return static_cast<const T *>(setup.record);
}

// The rows a combo box or a list starts on, for the window: one record for the two kinds,
// as the name of a widget stands for one widget.
struct StartingRows : KindState {
  std::optional<int> chosen; // the one row
  std::vector<int> selected; // where several may be chosen
};
void describe_starting_rows(const KindState &record, std::string_view id, std::vector<Note> &notes);

// A row like `kind` for another element name.
constexpr Kind renamed(Kind kind, std::string_view element) {
  kind.element = element;
  return kind;
}

// The object id of `element` when `keep`, as for a box that the markup names or hides; else
// none (null), and the element carries none.
const char *id_if(Element &element, bool keep);

// Opens `<child>` and an object of `klass`, carrying `id` when one is given.
void open_child_object(GString *sb, std::string_view klass, const char *id = nullptr);

// The end of a kind whose start left one object open, or two (a box in a frame, a view in a
// scrolled window).
void end_object(Draft &draft, Element &element);
void end_two_objects(Draft &draft, Element &element);

// What a command printed as one text, as the shell's $(...) gives it: without the line breaks
// at its end.
std::string printed_text(std::string_view output);

// Gives a button or check box the caption a command printed.
void refill_caption(GObject *widget, const std::string &output);

// Enter in an entry (of any kind) presses OK.
void set_up_entry(GObject *widget, const Setup &setup);
// Typing in `entry` offers the texts of `model`'s `column` that begin as the text does.
void complete_from(GObject *entry, GObject *model, int column);

// An underscore in a button's caption marks its Alt key, unless the window says otherwise.
void set_up_caption(GObject *widget, const Setup &setup);
// Sets an entry's text as it is, when it is UTF-8.
bool set_entry_text(GObject *widget, const std::string &text);

} // namespace quillet::widgets
