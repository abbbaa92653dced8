// Kinds that hold other widgets: the window, boxes, notebooks, frames and timers.

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
  if (const auto bar = attribute(tag, "timeout-bar"); bar == "true" && draft.extras != nullptr)
    draft.extras->timeout_bar = true;
  else if (bar && bar != "false")
    g_debug("timeout-bar=\"%.*s\" is neither true nor false: no bar shows the time left.",
            static_cast<int>(bar->size()), bar->data());
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

void start_box(Draft &draft, Element &element, std::string_view orientation) {
  element.object_id.clear();
  GString *sb = draft.body;
  open_child_object(sb, "GtkBox");
  append(sb, orientation);
  append(sb, "<property name=\"spacing\">6</property>\n");
}

void start_vbox(Draft &draft, Element &element, const Tag &) {
  start_box(draft, element, "<property name=\"orientation\">vertical</property>\n");
}

void start_hbox(Draft &draft, Element &element, const Tag &) {
  start_box(draft, element, "<property name=\"orientation\">horizontal</property>\n");
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
  element.object_id.clear();
  GString *sb = draft.body;
  open_child_object(sb, "GtkFrame");
  append(sb, "<property name=\"label\">");
  append(sb, frame_label(tag.line));
  append(sb, "</property>\n");
  open_child_object(sb, "GtkBox");
  append(sb, "<property name=\"orientation\">vertical</property>\n"
             "<property name=\"spacing\">6</property>\n"
             "<property name=\"margin\">8</property>\n");
}

// A timer's actions run every second; it shows nothing, nor what it holds.
void start_timer(Draft &draft, Element &element, const Tag &) {
  GString *sb = draft.body;
  open_child_object(sb, "GtkBox", element.id.c_str());
  append(sb, "<property name=\"visible\">False</property>\n");
}

constexpr Kind kKinds[] = {
    {.element = "window",
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
     .start = start_notebook,
     .end = end_object,
     .new_state = make<NotebookState>,
     .attributes = notebook_attributes,
     .holds_children = true,
     .child_ended = page_ended,
     .type = gtk_notebook_get_type,
     .set_up = set_up_notebook},
    {.element = "frame",
     .start = start_frame,
     .end = end_two_objects,
     .holds_children = true,
     .type = gtk_frame_get_type},
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
