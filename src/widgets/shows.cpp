// Kinds that only show something: images and separators.

#include "family.h"
#include "pictures.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <optional>
#include <string>

namespace quillet::widgets {

namespace {

// Larger sizes are clamped: an image is not a way to take over the screen.
constexpr int kLargestImage = 1024;

struct ImageRecord : KindState {
  std::optional<std::string> picture; // the file it shows, read as the window is built
};

// An icon of the theme by name, or a picture from a file; GtkImage shows its "missing image"
// for a name it cannot find, and the dialog still opens. A file's path stays out of the
// layout, from which GtkBuilder would read the file whole at once, whatever it is: the window
// reads it beside the main loop, within bounds. Its accessible object is opened here so that
// a <label> inside gives the image its name.
void start_image(Draft &draft, Element &element, const Tag &tag) {
  GString *sb = draft.body;
  open_child_object(sb, "GtkImage", element.id.c_str());
  const auto size = count(attribute(tag.line, "size"), kLargestImage);
  if (const auto icon = attribute(tag.line, "icon")) {
    append(sb, property("icon-name", layout_text(*icon)));
    append(sb, property("pixel-size", std::to_string(size && *size > 0 ? *size : kIconSize)));
  } else if (const auto file = attribute(tag.line, "file")) {
    if (auto path = parsed_text(layout_text(*file)))
      record_of<ImageRecord>(draft, element).picture = std::move(*path);
    if (size && *size > 0)
      append(sb, property("pixel-size", std::to_string(*size)));
  }
}

void image_attributes(Draft &draft, Element &element, std::string_view) {
  GString *sb = draft.body;
  append(sb, "<child internal-child=\"accessible\">\n<object class=\"AtkObject\" id=\"");
  append(sb, element.id);
  append(sb, "-accessible\">\n");
}

void set_up_image(GObject *widget, const Setup &setup) {
  const auto *record = record_of<ImageRecord>(setup);
  if (record != nullptr && record->picture && setup.pictures != nullptr)
    setup.pictures->load(GTK_IMAGE(widget), *record->picture,
                         gtk_image_get_pixel_size(GTK_IMAGE(widget)));
}

void end_image(Draft &draft, Element &element) {
  end_object(draft, element);
  end_object(draft, element);
}

// A line across a vertical box (or the window, a frame, a page), down a horizontal one.
void start_separator(Draft &draft, Element &element, const Tag &tag) {
  const bool across = tag.holder == nullptr || !tag.holder->kind->across;
  open_child_object(draft.body, "GtkSeparator", id_if(element, starts_hidden(tag.line)));
  draft.append(property("orientation", across ? "horizontal" : "vertical"));
}

constexpr Kind kKinds[] = {
    {.element = "image",
     .start = start_image,
     .end = end_image,
     .attributes = image_attributes,
     .caption = "accessible-name",
     .type = gtk_image_get_type,
     .new_record = make<ImageRecord>,
     .set_up = set_up_image},
    {.element = "separator", .start = start_separator, .end = end_object},
};

const Family kFamily("shows", kKinds);

} // namespace

} // namespace quillet::widgets
