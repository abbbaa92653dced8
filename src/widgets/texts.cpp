// Kinds that show or take text: texts, entries, edits, and buttons with their captions.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <string>

namespace quillet::widgets {

namespace {

using namespace std::string_view_literals;

struct TextState : KindState {
  bool markup = false; // its caption may be Pango markup
};

struct TextRecord : KindState {
  bool selectable = false; // its text may be selected and copied
};

struct EntryState : KindState {
  bool hidden = false; // its text shows as dots
};

struct EntryRecord : KindState {
  std::optional<std::string> hidden_text; // a hidden entry's starting text, kept out of the
                                          // layout
};

struct ButtonState : KindState {
  std::optional<size_t> caption_slot; // where the caption its template wrote waits, to give
                                      // way to a <label>
};

struct ButtonRecord : KindState {
  std::optional<std::string> exit; // the word it ends the dialog with
  bool own_caption = false;        // OK or Cancel with the caption quillet gives it
};

// Whether a feed (or, with `items`, an item) comes inside the element whose start tag came
// just before `rest`: before its end tag or the next widget element.
bool feed_follows(std::string_view rest, std::string_view name, bool items = false) {
  for (std::string_view whole : Lines(rest)) {
    const std::string_view line = strip(whole);
    if (is_start_tag(line, "feed") || (items && line.starts_with("<item>")))
      return true;
    if (is_end_tag(line, name))
      return false;
    if (line.starts_with('<') && !line.starts_with("</") &&
        kind_of(element_name(line, false)) != nullptr)
      return false;
  }
  return false;
}

// A text has no object id unless a feed, its input's output (the items cleaning wrote for
// it), a built-in command or the window hiding it at the start must find its label. One
// whose text may be selected is named in GTK's layout alone, for the window's set-up to find.
void start_text(Draft &draft, Element &element, const Tag &tag) {
  const bool fed =
      draft.extras != nullptr &&
      ((!closes_itself(tag.line) && feed_follows(tag.rest, element.kind->element, true)) ||
       (!element.id.starts_with("auto_id_") && draft.extras->commanded.contains(element.id)) ||
       starts_hidden(tag.line));
  const bool selectable =
      !fed && draft.extras != nullptr && attribute(tag.line, "selectable") == "true";
  element.object_id = fed          ? "feed_" + element.id
                      : selectable ? "selectable-text-" + std::to_string(tag.ordinal)
                                   : std::string();
  GString *sb = draft.body;
  if (selectable) {
    append(sb, "<child>\n<object class=\"GtkLabel");
    draft.append_for_gtk("\" id=\"" + element.object_id);
    append(sb, "\">\n");
  } else {
    open_child_object(sb, "GtkLabel", fed ? element.object_id.c_str() : nullptr);
  }
  append(sb, "<property name=\"wrap\">True</property>\n<property name=\"xalign\">0</property>\n");
}

bool is_markup(const char *text) {
  return pango_parse_markup(text, -1, 0, nullptr, nullptr, nullptr, nullptr);
}

void text_attributes(Draft &draft, Element &text, std::string_view tag) {
  if (attribute(tag, "markup") == "true")
    state_of<TextState>(text).markup = true;
  if (attribute(tag, "selectable") == "true" && !text.object_id.empty())
    record_of<TextRecord>(draft, text).selectable = true;
}

// GTK selects the whole text of a label that takes the focus. The window gives the focus to
// the first widget that can take it when no field does, and the text would show selected
// for nothing: the first time, it is not.
void unselect_first_time(GtkWidget *label, gpointer) {
  gtk_label_select_region(GTK_LABEL(label), 0, 0);
  g_signal_handlers_disconnect_by_func(label, reinterpret_cast<gpointer>(unselect_first_time),
                                       nullptr);
}

// Set when the window is built: the layout holds a text as the markup wrote it.
void set_up_text(GObject *label, const Setup &setup) {
  if (const auto *record = record_of<TextRecord>(setup); !record || !record->selectable)
    return;
  gtk_label_set_selectable(GTK_LABEL(label), TRUE);
  g_signal_connect_after(label, "grab-focus", G_CALLBACK(unselect_first_time), nullptr);
}

// Pango markup only where it parses: GTK would show nothing of a caption that does not, and
// the user sees it as plain text instead.
void text_captioned(Draft &draft, Element &text, std::string_view caption) {
  if (!state_of<TextState>(text).markup)
    return;
  if (const auto shown = parsed_text(caption); shown && is_markup(shown->c_str()))
    draft.append(property("use-markup", "True"));
}

// What a command prints is text, whatever the caption was: markup from a log line could
// ask for a font larger than the screen.
void feed_text(GObject *widget, const std::string &line) {
  if (GTK_IS_LABEL(widget))
    gtk_label_set_text(GTK_LABEL(widget), line.c_str());
}

void clear_text(GObject *widget) {
  feed_text(widget, "");
}

void refill_text(GObject *widget, const std::string &output) {
  feed_text(widget, printed_text(output));
}

// Hidden unless the value is one that shows it: a password must never show by a typo.
bool hides_text(std::string_view tag) {
  const auto visibility = attribute(tag, "visibility");
  return visibility && *visibility != "true";
}

// A hidden entry's starting text is given when the window is built: the layout is written
// to a file others may read.
void start_entry(Draft &draft, Element &element, const Tag &tag) {
  if (hides_text(tag.line))
    state_of<EntryState>(element).hidden = true;
  GString *sb = draft.body;
  open_child_object(sb, "GtkEntry", element.id.c_str());
  append(sb, "<property name=\"editable\">True</property>\n");
}

void entry_attributes(Draft &draft, Element &, std::string_view tag) {
  if (hides_text(tag))
    draft.append(property("visibility", "False") + property("input-purpose", "password"));
  if (const auto placeholder = attribute(tag, "placeholder"))
    draft.append(property("placeholder-text", layout_text(*placeholder)));
}

void entry_default(Draft &draft, Element &entry, const std::string &text) {
  if (!state_of<EntryState>(entry).hidden)
    draft.append(property("text", layout_text(text)));
  else if (auto shown = parsed_text(layout_text(text)))
    record_of<EntryRecord>(draft, entry).hidden_text = std::move(*shown);
}

void describe_entry(const KindState &record, std::string_view id, std::vector<Note> &notes) {
  if (const auto &text = static_cast<const EntryRecord &>(record).hidden_text)
    notes.push_back({"hidden", "hidden " + std::string(id) + " " + *text});
}

// Its <item>s are the texts typing completes; they came apart from the layout, which GTK
// would refuse with them.
void entry_item(Draft &draft, Element &entry, std::string_view text) {
  draft.add_item(entry.object_id, text);
}

void set_up_hidden_entry(GObject *widget, const Setup &setup) {
  if (const auto *record = record_of<EntryRecord>(setup); record && record->hidden_text)
    gtk_entry_set_text(GTK_ENTRY(widget), record->hidden_text->c_str());
  set_up_entry(widget, setup);
  const auto items = setup.extras.rows.find(std::string(setup.id));
  if (items == setup.extras.rows.end() || !gtk_entry_get_visibility(GTK_ENTRY(widget)))
    return;
  g_autoptr(GtkListStore) store = gtk_list_store_new(1, G_TYPE_STRING);
  for (const std::string &text : items->second)
    gtk_list_store_insert_with_values(store, nullptr, -1, 0, text.c_str(), -1);
  complete_from(widget, G_OBJECT(store), 0);
}

Value read_entry(GObject *widget) {
  return {gtk_entry_get_text(GTK_ENTRY(widget))};
}

// What a GtkEntry holds at most, in bytes; GTK drops the rest without a word.
constexpr size_t kMaxEntryBytes = 65534;

void feed_entry(GObject *widget, const std::string &line) {
  if (!GTK_IS_ENTRY(widget))
    return;
  const size_t fit = utf8_fit(line, kMaxEntryBytes);
  if (fit < line.size())
    g_debug("A line for the entry '%s' was cut to %zu bytes (an entry holds at most %zu).",
            gtk_buildable_get_name(GTK_BUILDABLE(widget)), fit, kMaxEntryBytes);
  gtk_entry_set_text(GTK_ENTRY(widget), line.substr(0, fit).c_str());
}

void clear_entry(GObject *widget) {
  feed_entry(widget, {});
}

// An entry holds one line: the first.
void refill_entry(GObject *widget, const std::string &output) {
  const std::string text = printed_text(output);
  feed_entry(widget, text.substr(0, text.find('\n')));
}

void start_edit(Draft &draft, Element &element, const Tag &) {
  GString *sb = draft.body;
  open_child_object(sb, "GtkScrolledWindow");
  open_child_object(sb, "GtkTextView", element.id.c_str());
  append(sb, "<property name=\"editable\">True</property>\n"
             "<property name=\"wrap-mode\">word</property>\n");
}

void edit_default(Draft &draft, Element &element, const std::string &text) {
  draft.declare_buffer(element.id, layout_text(text));
  draft.append(property("buffer", "buffer_" + element.id));
}

GObject *edit_buffer(GObject *widget) {
  return G_OBJECT(gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget)));
}

// An edit field reads as a field, not a label: it looks as the theme draws an entry, in the
// same state, and its text is inset as an entry's is. Its frame and background are drawn
// under the view, which shows through. Object data on the scrolled window: the entry's look.
constexpr const char *kEntryLookKey = "quillet-entry-look";

gboolean draw_entry_look(GtkWidget *scrolled, cairo_t *cr, gpointer view) {
  auto *look = static_cast<GtkStyleContext *>(g_object_get_data(G_OBJECT(scrolled), kEntryLookKey));
  auto state = GtkStateFlags(gtk_widget_get_state_flags(scrolled) &
                             (GTK_STATE_FLAG_BACKDROP | GTK_STATE_FLAG_INSENSITIVE));
  if (gtk_widget_has_focus(GTK_WIDGET(view)))
    state = GtkStateFlags(state | GTK_STATE_FLAG_FOCUSED);
  gtk_style_context_set_state(look, state);
  const int width = gtk_widget_get_allocated_width(scrolled);
  const int height = gtk_widget_get_allocated_height(scrolled);
  gtk_render_background(look, cr, 0, 0, width, height);
  gtk_render_frame(look, cr, 0, 0, width, height);
  return FALSE;
}

void redraw_parent(GObject *view, GParamSpec *, gpointer) {
  gtk_widget_queue_draw(gtk_widget_get_parent(GTK_WIDGET(view)));
}

// The style of an entry where the edit stands.
GtkStyleContext *entry_look(GtkWidget *scrolled) {
  GtkWidgetPath *path = gtk_widget_path_copy(gtk_widget_get_path(scrolled));
  gtk_widget_path_append_type(path, GTK_TYPE_ENTRY);
  gtk_widget_path_iter_set_object_name(path, -1, "entry");
  GtkStyleContext *look = gtk_style_context_new();
  gtk_style_context_set_path(look, path);
  gtk_style_context_set_parent(look, gtk_widget_get_style_context(scrolled));
  gtk_widget_path_unref(path);
  return look;
}

// The lines an edit shows at least.
constexpr int kEditLines = 5;

void set_up_edit(GObject *object, const Setup &) {
  GtkWidget *view = GTK_WIDGET(object);
  GtkWidget *scrolled = gtk_widget_get_parent(view);
  if (!GTK_IS_SCROLLED_WINDOW(scrolled))
    return;
  static GtkCssProvider *const see_through = [] {
    GtkCssProvider *css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "textview, textview text { background: none; }", -1,
                                    nullptr);
    return css;
  }();
  gtk_style_context_add_provider(gtk_widget_get_style_context(view),
                                 GTK_STYLE_PROVIDER(see_through),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  GtkStyleContext *look = entry_look(scrolled);
  g_object_set_data_full(G_OBJECT(scrolled), kEntryLookKey, look, g_object_unref);
  g_signal_connect(scrolled, "draw", G_CALLBACK(draw_entry_look), view);
  g_signal_connect(view, "notify::has-focus", G_CALLBACK(redraw_parent), nullptr);
  // Inside the frame, the text as far from it as an entry's.
  GtkBorder border, padding;
  gtk_style_context_get_border(look, GTK_STATE_FLAG_NORMAL, &border);
  gtk_style_context_get_padding(look, GTK_STATE_FLAG_NORMAL, &padding);
  g_object_set(view, "margin-start", border.left, "margin-end", border.right, "margin-top",
               border.top, "margin-bottom", border.bottom, NULL);
  const int inset = std::max<int>({padding.left, padding.top, 4});
  auto *text = GTK_TEXT_VIEW(view);
  gtk_text_view_set_left_margin(text, std::max<int>(padding.left, 4));
  gtk_text_view_set_right_margin(text, std::max<int>(padding.right, 4));
  gtk_text_view_set_top_margin(text, inset / 2);
  gtk_text_view_set_bottom_margin(text, inset / 2);
  // As high as its lines of text in its font.
  g_autoptr(PangoLayout) lines =
      gtk_widget_create_pango_layout(view, std::string(kEditLines - 1, '\n').c_str());
  int height = 0;
  pango_layout_get_pixel_size(lines, nullptr, &height);
  gtk_scrolled_window_set_min_content_height(GTK_SCROLLED_WINDOW(scrolled),
                                             height + inset / 2 * 2 + border.top + border.bottom);
}

Value read_edit(GObject *widget) {
  GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget));
  GtkTextIter start, end;
  gtk_text_buffer_get_bounds(buffer, &start, &end);
  g_autofree char *text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
  return {text, true};
}

bool set_edit(GObject *widget, const std::string &text) {
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
    return false;
  GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget));
  gtk_text_buffer_set_text(buffer, text.data(), static_cast<int>(text.size()));
  return true;
}

void refill_edit(GObject *widget, const std::string &output) {
  const std::string text = printed_text(output);
  gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(widget)), text.c_str(),
                           static_cast<int>(text.size()));
}

void clear_edit(GObject *widget) {
  refill_edit(widget, {});
}

// The start tag without the value of `name`, so that words in it mean nothing.
std::string without_value(std::string_view line, std::string_view name) {
  const std::optional<std::string_view> value = attribute(line, name);
  if (!value)
    return std::string(line);
  const size_t at = static_cast<size_t>(value->data() - line.data());
  return std::string(line.substr(0, at)) + std::string(line.substr(at + value->size()));
}

// Whole words only: a variable such as "token" or "booking" names no OK button. Nor does a
// word in a tooltip.
std::string button_id(std::string_view line) {
  const std::string tag = without_value(line, "tooltip");
  if (has_word(tag, "ok") || has_word(tag, "btn_ok"))
    return "btn_ok";
  if (has_word(tag, "cancel") || has_word(tag, "btn_cancel"))
    return "btn_cancel";
  return {};
}

// OK and Cancel have a caption of their own until a <label> gives them another: it waits in a
// slot of its own, to be dropped then, as GTK would keep the first of two.
void start_button(Draft &draft, Element &element, const Tag &) {
  GString *sb = draft.body;
  const std::string_view id = element.id;
  open_child_object(sb, "GtkButton", element.id.c_str());
  const std::string_view text = id == "btn_ok"sv       ? "OK"sv
                                : id == "btn_cancel"sv ? "Cancel"sv
                                                       : ""sv;
  if (text.empty())
    return;
  const size_t at = sb->len;
  append(sb, "<property name=\"label\">");
  append(sb, text);
  append(sb, "</property>\n");
  state_of<ButtonState>(element).caption_slot = draft.set_aside(at);
  record_of<ButtonRecord>(draft, element).own_caption = true;
}

void button_captioned(Draft &draft, Element &button, std::string_view) {
  if (const auto slot = state_of<ButtonState>(button).caption_slot) {
    draft.fill_slot(*slot, {});
    record_of<ButtonRecord>(draft, button).own_caption = false;
  }
}

struct Ending {
  void (*end)(const char *word, gpointer data);
  gpointer data;
  std::string word;
};

void on_exit_clicked(GtkButton *, gpointer data) {
  const auto *ending = static_cast<const Ending *>(data);
  ending->end(ending->word.c_str(), ending->data);
}

// A button given an exit word ends the dialog with it, as OK does with its own; OK and Cancel
// keep their own words.
void wire_exit(GObject *button, const Setup &setup) {
  const auto *record = record_of<ButtonRecord>(setup);
  if (record == nullptr || !record->exit || setup.end == nullptr || setup.id == "btn_ok" ||
      setup.id == "btn_cancel")
    return;
  g_signal_connect_data(
      button, "clicked", G_CALLBACK(on_exit_clicked),
      new Ending{setup.end, setup.end_data, *record->exit},
      [](gpointer data, GClosure *) { delete static_cast<Ending *>(data); }, GConnectFlags(0));
}

// GTK shows a button pressed for a quarter of a second before the click a key makes: a
// button that ends the dialog ends it on the key itself, as on a click. The click GTK makes
// later finds the dialog ended.
void click_at_once(GtkButton *button, gpointer) {
  gtk_button_clicked(button);
}

// A row of nothing but buttons sits at the window's right edge, as a dialog's buttons do on
// every desktop, and a little apart from what comes before it: GNOME's dialogs keep 12
// pixels between a form and its buttons, where boxes keep 6 between their widgets.
void set_up_button(GObject *button, const Setup &setup) {
  set_up_caption(button, setup);
  wire_exit(button, setup);
  const auto *record = record_of<ButtonRecord>(setup);
  if (record != nullptr && record->own_caption) {
    const std::string caption =
        gtk_caption(setup.id == "btn_ok" ? "_OK" : "_Cancel", setup.extras.mnemonics);
    gtk_button_set_label(GTK_BUTTON(button), caption.c_str());
    gtk_button_set_use_underline(GTK_BUTTON(button), setup.extras.mnemonics);
  }
  if (setup.id == "btn_ok" || setup.id == "btn_cancel" ||
      (record != nullptr && record->exit && setup.end != nullptr))
    g_signal_connect(button, "activate", G_CALLBACK(click_at_once), nullptr);
  GtkWidget *row = gtk_widget_get_parent(GTK_WIDGET(button));
  if (gtk_widget_get_halign(row) == GTK_ALIGN_END || !is_button_row(row))
    return;
  gtk_widget_set_halign(row, GTK_ALIGN_END);
  GtkWidget *above = gtk_widget_get_parent(row);
  if (GTK_IS_BOX(above) &&
      gtk_orientable_get_orientation(GTK_ORIENTABLE(above)) == GTK_ORIENTATION_VERTICAL) {
    g_autoptr(GList) rows = gtk_container_get_children(GTK_CONTAINER(above));
    if (rows != nullptr && rows->data != row)
      gtk_widget_set_margin_top(row, gtk_box_get_spacing(GTK_BOX(above)));
  }
}

void button_attributes(Draft &draft, Element &button, std::string_view tag) {
  const std::optional<std::string_view> exit = attribute(tag, "exit");
  if (exit && is_word(*exit))
    record_of<ButtonRecord>(draft, button).exit = std::string(*exit);
  if (attribute(tag, "default") != "true" || draft.extras == nullptr)
    return;
  if (draft.extras->default_button.empty())
    draft.extras->default_button = button.id;
  else
    draft.say("<button default=\"true\">: a second button is given it; it is ignored, Enter "
              "presses the first.");
}

void describe_button(const KindState &record, std::string_view id, std::vector<Note> &notes) {
  if (const auto &word = static_cast<const ButtonRecord &>(record).exit)
    notes.push_back({"exit", "exit " + std::string(id) + " " + *word});
}

} // namespace

// A button's or check box's caption.
void refill_caption(GObject *widget, const std::string &output) {
  gtk_button_set_label(GTK_BUTTON(widget), printed_text(output).c_str());
}

namespace {

constexpr Attribute kTextTakes[] = {
    {"markup", Takes::words, "true|false"},
    {"selectable", Takes::words, "true|false", 0, 0, "the text cannot be selected"},
};
constexpr Attribute kEntryTakes[] = {
    {"visibility", Takes::words, "true|false", 0, 0, "the text is hidden"},
    {"placeholder"},
};
constexpr Attribute kButtonTakes[] = {
    {"exit", Takes::word, {}, 0, 0, "the button does not end the dialog"},
    {"default", Takes::words, "true|false"},
    {"label"},
};

constexpr Kind kKinds[] = {
    {.element = "text",
     .takes = kTextTakes,
     .start = start_text,
     .end = end_object,
     .new_state = make<TextState>,
     .attributes = text_attributes,
     .type = gtk_label_get_type,
     .new_record = make<TextRecord>,
     .set_up = set_up_text,
     .feed = feed_text,
     .clear = clear_text,
     .captioned = text_captioned,
     .refill = refill_text},
    {.element = "entry",
     .takes = kEntryTakes,
     .start = start_entry,
     .end = end_object,
     .new_state = make<EntryState>,
     .attributes = entry_attributes,
     .item = entry_item,
     .input_starts = true,
     .set_default = entry_default,
     .type = gtk_entry_get_type,
     .named = true,
     .focused = true,
     .new_record = make<EntryRecord>,
     .describe = describe_entry,
     .set_up = set_up_hidden_entry,
     .read = read_entry,
     .feed = feed_entry,
     .change_signal = "changed",
     .activate_signal = "activate",
     .clear = clear_entry,
     .set_value = set_entry_text,
     .refill = refill_entry},
    {.element = "edit",
     .start = start_edit,
     .end = end_two_objects,
     .set_default = edit_default,
     .type = gtk_text_view_get_type,
     .named = true,
     .focused = true,
     .set_up = set_up_edit,
     .read = read_edit,
     .change_signal = "changed",
     .change_source = edit_buffer,
     .fills = true,
     .clear = clear_edit,
     .set_value = set_edit,
     .refill = refill_edit},
    {.element = "button",
     .takes = kButtonTakes,
     .start = start_button,
     .end = end_object,
     .new_state = make<ButtonState>,
     .attributes = button_attributes,
     .own_id = button_id,
     .type = gtk_button_get_type,
     .signal = "clicked",
     .button = true,
     .new_record = make<ButtonRecord>,
     .describe = describe_button,
     .set_up = set_up_button,
     .captioned = button_captioned,
     .refill = refill_caption},
};

const Family kFamily("texts", kKinds);

} // namespace

void set_up_entry(GObject *widget, const Setup &setup) {
  if (setup.ok != nullptr)
    gtk_entry_set_activates_default(GTK_ENTRY(widget), TRUE);
}

void complete_from(GObject *entry, GObject *model, int column) {
  g_return_if_fail(GTK_IS_ENTRY(entry) && GTK_IS_TREE_MODEL(model));
  g_autoptr(GtkEntryCompletion) completion = gtk_entry_completion_new();
  gtk_entry_completion_set_model(completion, GTK_TREE_MODEL(model));
  gtk_entry_completion_set_text_column(completion, column);
  gtk_entry_set_completion(GTK_ENTRY(entry), completion);
}

bool set_entry_text(GObject *widget, const std::string &text) {
  if (!GTK_IS_ENTRY(widget) ||
      !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
    return false;
  gtk_entry_set_text(GTK_ENTRY(widget), text.c_str());
  return true;
}

// Set when the window is built: the layout holds the caption as the markup wrote it, whether
// or not the window marks Alt keys.
void set_up_caption(GObject *widget, const Setup &setup) {
  if (setup.extras.mnemonics && GTK_IS_BUTTON(widget))
    gtk_button_set_use_underline(GTK_BUTTON(widget), TRUE);
}

std::string gtk_caption(const char *caption, bool alt_keys) {
  g_return_val_if_fail(caption != NULL, std::string());
  std::string text = g_dgettext("gtk30", caption);
  if (!alt_keys)
    std::erase(text, '_');
  return text;
}

bool is_button_row(GtkWidget *row) {
  g_return_val_if_fail(GTK_IS_WIDGET(row), false);
  if (!GTK_IS_BOX(row) ||
      gtk_orientable_get_orientation(GTK_ORIENTABLE(row)) != GTK_ORIENTATION_HORIZONTAL)
    return false;
  g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(row));
  for (GList *child = children; child != nullptr; child = child->next)
    if (!is_button(G_OBJECT(child->data)))
      return false;
  return children != nullptr;
}

static GtkWidget *button_named(GtkBuilder *builder, const char *id) {
  GObject *button = gtk_builder_get_object(builder, id);
  return button != nullptr && is_button(button) ? GTK_WIDGET(button) : nullptr;
}

GtkWidget *ok_button(GtkBuilder *builder) {
  g_return_val_if_fail(builder != NULL, NULL);
  return button_named(builder, "btn_ok");
}

GtkWidget *cancel_button(GtkBuilder *builder) {
  g_return_val_if_fail(builder != NULL, NULL);
  return button_named(builder, "btn_cancel");
}

} // namespace quillet::widgets
