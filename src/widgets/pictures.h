#pragma once

// Pictures from files the markup names, read and decoded beside the main loop within bounds:
// nothing in the file keeps the window from showing or fills the memory.

#include <gtk/gtk.h>

#include <functional>
#include <string>

namespace quillet::widgets {

// Shows the picture in `path` in `image` once it is decoded: fitted to `size` pixels (its
// longer side, up or down) when that is above 0, or else at its own size up to
// kLargestPicture; never larger than the screen. A picture that cannot be shown shows GTK's
// missing image instead, with a --debug line saying why.
void load_picture(GtkImage *image, const std::string &path, int size);

// What a picture decoded beside the main loop is given to, there: null when it cannot be
// shown, with a --debug line saying why.
using Decoded = std::function<void(GdkPixbuf *pixbuf)>;

// Decodes the picture in `path` within the same bounds, fitted to `box` pixels (its longer
// side, up or down), and gives it to `done`.
void decode_picture(const std::string &path, int box, Decoded done);

// The longest side of a picture shown without a size, and the size of an icon, or of the
// missing image, without one.
constexpr int kLargestPicture = 512;
constexpr int kIconSize = 48;

// The end of the dialog: pictures not started are dropped, and those being decoded are
// waited for, which soon stop.
void pictures_stop();

} // namespace quillet::widgets
