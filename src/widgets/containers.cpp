// Kinds that hold other widgets: the window, boxes, notebooks, frames, expanders, panes and
// timers.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quillet::widgets {

namespace {

constexpr const char *kTitle = "Quillet";

// A window holds one child; several go into a vertical box slipped in around them.
constexpr std::string_view kWindowBoxStart = "<child>\n<object class=\"GtkBox\">\n"
                                             "<property name=\"orientation\">vertical</property>\n"
                                             "<property name=\"spacing\">6</property>\n";
constexpr std::string_view kWindowBoxEnd = "</object>\n</child>\n";

// A tab caption for the page just added: GtkNotebook gives it to its last page.
constexpr std::string_view kTabStart = "<child type=\"tab\">\n<object class=\"GtkLabel\">\n";

// Where a box goes around the window's children once there are several.
struct WindowState : KindState {
  size_t box_slot = 0;
  int children = 0;
  bool boxed = false;
};

struct NotebookState : KindState {
  std::vector<std::string> tabs; // captions for its pages, escaped
  size_t pages = 0;
};

void start_window(Draft &draft, Element &element, const Tag &tag) {
  element.object_id = "main_window";
  const std::optional<std::string_view> title = attribute(tag.line, "title");
  GString *sb = draft.body;
  append(sb, "<object class=\"GtkWindow\" id=\"main_window\">\n<property name=\"title\">");
  g_string_append(sb, title ? layout_text(*title).c_str() : kTitle);
  append(sb, "</property>\n");
  if (attribute(tag.line, "mnemonics") == "false" && draft.extras != nullptr)
    draft.extras->mnemonics = false;
}

// The longest timeout taken: a day.
constexpr double kMaxTimeout = 24 * 60 * 60;

// Where the window is put and its icon are the display's to honour: the layout asks only for
// what the markup names, and a window without them is placed as the display sees fit.
void window_manager_hints(Draft &draft, std::string_view tag) {
  if (const auto position = attribute(tag, "position"); position == "center" || position == "mouse")
    draft.append(property("window-position", *position));
  if (const auto icon = attribute(tag, "icon"); icon && !strip(*icon).empty())
    draft.append(property("icon-name", layout_text(strip(*icon))));
  if (const auto seconds = number(attribute(tag, "timeout"));
      seconds && *seconds > 0 && draft.extras != nullptr)
    draft.extras->timeout_ms = static_cast<int>(std::min(*seconds, kMaxTimeout) * 1000);
  if (attribute(tag, "timeout-bar") == "true" && draft.extras != nullptr)
    draft.extras->timeout_bar = true;
  // No property says it: it is asked for when the window is built.
  if (attribute(tag, "keep-above") == "true" && draft.extras != nullptr)
    draft.extras->keep_above = true;
}

void window_attributes(Draft &draft, Element &window, std::string_view tag) {
  for (auto [attr, prop] : {std::pair{"width", "default-width"}, {"height", "default-height"}})
    if (const auto size = count(attribute(tag, attr), 10000); size && *size > 0)
      draft.append(property(prop, std::to_string(*size)));
  window_manager_hints(draft, tag);
  // Its children come after everything its start asked for; a box may go in front of them.
  state_of<WindowState>(window).box_slot = draft.open_slot();
}

void window_child_added(Draft &draft, Element &window) {
  WindowState &state = state_of<WindowState>(window);
  if (++state.children != 2)
    return;
  draft.fill_slot(state.box_slot, std::string(kWindowBoxStart));
  state.boxed = true;
}

void end_window(Draft &draft, Element &window) {
  if (state_of<WindowState>(window).boxed)
    draft.append(kWindowBoxEnd);
  draft.append("</object>\n");
}

// GNOME's dialogs keep 12 pixels between the window's edges and what it holds; so do its
// notebook pages. Set on the window, not in the layout, which stays as the markup has it.
constexpr unsigned kBorder = 12;

void set_up_window(GObject *window, const Setup &setup) {
  gtk_container_set_border_width(GTK_CONTAINER(window), kBorder);
  if (setup.extras.keep_above)
    gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
}

void set_up_notebook(GObject *notebook, const Setup &) {
  const int pages = gtk_notebook_get_n_pages(GTK_NOTEBOOK(notebook));
  for (int i = 0; i < pages; i++) {
    GtkWidget *page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(notebook), i);
    if (!GTK_IS_CONTAINER(page)) {
      g_object_set(page, "margin", kBorder, NULL);
    } else if (gtk_container_get_border_width(GTK_CONTAINER(page)) == 0) {
      gtk_container_set_border_width(GTK_CONTAINER(page), kBorder);
    }
  }
}

// A box carries an id only when the markup names it, for show:, hide:, enable: and disable:
// to find it, or hides it, for the window to hide it as it is built.
const char *box_id(Element &element, const Tag &tag) {
  return id_if(element, !element.id.starts_with("auto_id_") || starts_hidden(tag.line));
}

void start_box(Draft &draft, Element &element, const Tag &tag, std::string_view orientation) {
  GString *sb = draft.body;
  open_child_object(sb, "GtkBox", box_id(element, tag));
  append(sb, orientation);
  append(sb, "<property name=\"spacing\">6</property>\n");
}

void start_vbox(Draft &draft, Element &element, const Tag &tag) {
  start_box(draft, element, tag, "<property name=\"orientation\">vertical</property>\n");
}

void start_hbox(Draft &draft, Element &element, const Tag &tag) {
  start_box(draft, element, tag, "<property name=\"orientation\">horizontal</property>\n");
}

void start_notebook(Draft &draft, Element &element, const Tag &tag) {
  // Object ids must be unique for GtkBuilder to accept the layout.
  element.object_id =
      tag.ordinal == 1 ? "notebook_main" : "notebook_main_" + std::to_string(tag.ordinal);
  GString *sb = draft.body;
  open_child_object(sb, "GtkNotebook", element.object_id.c_str());
  append(sb, "<property name=\"scrollable\">True</property>\n");
}

void notebook_attributes(Draft &, Element &notebook, std::string_view tag) {
  if (const auto tabs = attribute(tag, "tabs")) {
    g_auto(GStrv) captions = g_strsplit(std::string(*tabs).c_str(), "|", -1);
    for (char **caption = captions; *caption != nullptr; caption++)
      state_of<NotebookState>(notebook).tabs.push_back(layout_text(strip(*caption)));
  }
}

// Ends a notebook page: it gets the next caption when there is one.
void page_ended(Draft &draft, Element &notebook) {
  NotebookState &state = state_of<NotebookState>(notebook);
  if (state.pages < state.tabs.size()) {
    draft.append(kTabStart);
    draft.append(property("label", state.tabs[state.pages]));
    draft.append("</object>\n</child>\n");
  }
  state.pages++;
}

// The value of frame_label="..." anywhere in the tag, stripped; a value left empty counts
// for nothing.
std::string frame_label(std::string_view tag) {
  constexpr std::string_view kName = "frame_label=\"";
  for (size_t at = tag.find(kName); at != std::string_view::npos; at = tag.find(kName, at + 1)) {
    const size_t start = at + kName.size();
    const size_t quote = tag.find('"', start);
    if (quote == std::string_view::npos)
      return {};
    if (quote > start)
      return std::string(strip(tag.substr(start, quote - start)));
  }
  return {};
}

void start_frame(Draft &draft, Element &element, const Tag &tag) {
  GString *sb = draft.body;
  open_child_object(sb, "GtkFrame", box_id(element, tag));
  append(sb, "<property name=\"label\">");
  append(sb, frame_label(tag.line));
  append(sb, "</property>\n");
  open_child_object(sb, "GtkBox");
  append(sb, "<property name=\"orientation\">vertical</property>\n"
             "<property name=\"spacing\">6</property>\n"
             "<property name=\"margin\">8</property>\n");
}

// The box an expander or a pane stacks its children in, opened before the first of them: the
// start tag's properties (a tooltip, insensitive) are the whole widget's.
constexpr std::string_view kStackStart = "<child>\n<object class=\"GtkBox\">\n"
                                         "<property name=\"orientation\">vertical</property>\n"
                                         "<property name=\"spacing\">6</property>\n";
constexpr std::string_view kStackEnd = "</object>\n</child>\n";

struct StackState : KindState {
  int children = 0;
};

void stack_child_added(Draft &draft, Element &holder) {
  if (state_of<StackState>(holder).children++ == 0)
    draft.append(kStackStart);
}

void end_stack(Draft &draft, Element &holder) {
  if (state_of<StackState>(holder).children > 0)
    draft.append(kStackEnd);
  end_object(draft, holder);
}

void start_expander(Draft &draft, Element &element, const Tag &tag) {
  open_child_object(draft.body, "GtkExpander", box_id(element, tag));
  if (const auto label = attribute(tag.line, "label"))
    draft.append(property("label", layout_text(strip(*label))));
  const std::optional<std::string_view> expanded = attribute(tag.line, "expanded");
  if (expanded == "true")
    draft.append(property("expanded", "True"));
}

// The widest divider position taken, in pixels.
constexpr int kMaxPosition = 10000;

void start_paned(Draft &draft, Element &element, const Tag &tag) {
  open_child_object(draft.body, "GtkPaned", box_id(element, tag));
  const std::optional<std::string_view> orientation = attribute(tag.line, "orientation");
  const bool vertical = orientation == "vertical";
  draft.append(property("orientation", vertical ? "vertical" : "horizontal"));
  const std::optional<std::string_view> position = attribute(tag.line, "position");
  if (const auto pixels = count(position, kMaxPosition)) {
    draft.append(property("position", std::to_string(*pixels)));
    draft.append(property("position-set", "True"));
  }
}

// The first child is the first pane; the second and any after it, stacked, the second pane.
void pane_child_added(Draft &draft, Element &paned) {
  StackState &state = state_of<StackState>(paned);
  if (state.children == 1)
    draft.append(kStackEnd);
  if (state.children == 2)
    draft.say("<paned> of line " + std::to_string(paned.line) +
              " has more than two children: the third and those after it go below the second, "
              "in its pane.");
  if (state.children++ <= 1)
    draft.append(kStackStart);
}

// A timer's actions run every second; it shows nothing, nor what it holds.
void start_timer(Draft &draft, Element &element, const Tag &) {
  GString *sb = draft.body;
  open_child_object(sb, "GtkBox", element.id.c_str());
  append(sb, "<property name=\"visible\">False</property>\n");
}

constexpr Attribute kWindowTakes[] = {
    {"title"},
    {"width", Takes::count, {}, 1, 10000},
    {"height", Takes::count, {}, 1, 10000},
    {"position", Takes::words, "center|mouse", 0, 0, "the display places the window"},
    {"icon"},
    {"timeout", Takes::positive, {}, 0, 86400, "the dialog waits for the user"},
    {"keep-above", Takes::words, "true|false"},
    {"mnemonics", Takes::words, "true|false"},
    {"timeout-bar", Takes::words, "true|false", 0, 0, "no bar shows the time left"},
};
constexpr Attribute kExpanderTakes[] = {
    {"label"},
    {"expanded", Takes::words, "true|false", 0, 0, "it starts closed"},
};
constexpr Attribute kPanedTakes[] = {
    {"orientation", Takes::words, "horizontal|vertical", 0, 0, "its panes stand side by side"},
    {"position", Takes::count, {}, 0, kMaxPosition, "the divider goes where the panes ask"},
};
constexpr Attribute kNotebookTakes[] = {{"tabs"}};
constexpr Attribute kFrameTakes[] = {{"frame_label"}};

constexpr Kind kKinds[] = {
    {.element = "window",
     .takes = kWindowTakes,
     .start = start_window,
     .end = end_window,
     .new_state = make<WindowState>,
     .attributes = window_attributes,
     .holds_children = true,
     .child_added = window_child_added,
     .type = gtk_window_get_type,
     .set_up = set_up_window},
    {.element = "vbox",
     .start = start_vbox,
     .end = end_object,
     .holds_children = true,
     .type = gtk_box_get_type},
    {.element = "hbox",
     .start = start_hbox,
     .end = end_object,
     .holds_children = true,
     .across = true,
     .type = gtk_box_get_type},
    {.element = "notebook",
     .takes = kNotebookTakes,
     .start = start_notebook,
     .end = end_object,
     .new_state = make<NotebookState>,
     .attributes = notebook_attributes,
     .holds_children = true,
     .child_ended = page_ended,
     .type = gtk_notebook_get_type,
     .set_up = set_up_notebook},
    {.element = "frame",
     .takes = kFrameTakes,
     .start = start_frame,
     .end = end_two_objects,
     .holds_children = true,
     .type = gtk_frame_get_type},
    {.element = "expander",
     .takes = kExpanderTakes,
     .start = start_expander,
     .end = end_stack,
     .new_state = make<StackState>,
     .holds_children = true,
     .child_added = stack_child_added,
     .type = gtk_expander_get_type},
    {.element = "paned",
     .takes = kPanedTakes,
     .start = start_paned,
     .end = end_stack,
     .new_state = make<StackState>,
     .holds_children = true,
     .child_added = pane_child_added,
     .type = gtk_paned_get_type},
    {.element = "timer",
     .start = start_timer,
     .end = end_object,
     .holds_children = true,
     .type = gtk_box_get_type,
     .ticks = true},
};

const Family kFamily("containers", kKinds);

} // namespace

GtkWidget *window_of(GtkBuilder *builder) {
  g_return_val_if_fail(builder != NULL, NULL);
  GObject *window = gtk_builder_get_object(builder, "main_window");
  return GTK_IS_WINDOW(window) ? GTK_WIDGET(window) : nullptr;
}

} // namespace quillet::widgets
