// Kinds that only show something: images and separators.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <string>

namespace quillet::widgets {

namespace {

// Larger sizes are clamped: an image is not a way to take over the screen.
constexpr int kLargestImage = 1024;
constexpr int kIconSize = 48;

// An icon of the theme by name, or a picture from a file; GtkImage shows its "missing image"
// for a name or file it cannot find, and the dialog still opens. Its accessible object is
// opened here so that a <label> inside gives the image its name.
void start_image(Draft &draft, Element &element, const Tag &tag) {
  GString *sb = draft.body;
  open_child_object(sb, "GtkImage", element.id.c_str());
  const auto size = count(attribute(tag.line, "size"), kLargestImage);
  if (const auto icon = attribute(tag.line, "icon")) {
    append(sb, property("icon-name", layout_text(*icon)));
    append(sb, property("pixel-size", std::to_string(size && *size > 0 ? *size : kIconSize)));
  } else if (const auto file = attribute(tag.line, "file")) {
    append(sb, property("file", layout_text(*file)));
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

// A picture from a file is scaled to the size asked for, its shape kept.
void set_up_image(GObject *widget, const Setup &) {
  auto *image = GTK_IMAGE(widget);
  const int size = gtk_image_get_pixel_size(image);
  g_autofree char *file = nullptr;
  g_object_get(widget, "file", &file, nullptr);
  if (size <= 0 || file == nullptr || gtk_image_get_storage_type(image) != GTK_IMAGE_PIXBUF)
    return;
  g_autoptr(GdkPixbuf) picture = gdk_pixbuf_new_from_file_at_size(file, size, size, nullptr);
  if (picture != nullptr)
    gtk_image_set_from_pixbuf(image, picture);
}

void end_image(Draft &draft, const Element &element) {
  end_object(draft, element);
  end_object(draft, element);
}

// A line across a vertical box (or the window, a frame, a page), down a horizontal one.
void start_separator(Draft &draft, Element &element, const Tag &tag) {
  element.object_id.clear();
  const bool across = tag.holder == nullptr || tag.holder->form != "horizontal";
  open_child_object(draft.body, "GtkSeparator");
  draft.append(property("orientation", across ? "horizontal" : "vertical"));
}

constexpr Kind kKinds[] = {
    {.element = "image",
     .start = start_image,
     .end = end_image,
     .attributes = image_attributes,
     .caption = "accessible-name",
     .type = gtk_image_get_type,
     .set_up = set_up_image},
    {.element = "separator", .start = start_separator, .end = end_object},
};

} // namespace

std::span<const Kind> show_kinds() {
  return kKinds;
}

} // namespace quillet::widgets
