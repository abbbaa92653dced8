#pragma once

// Pictures from files the markup names, read and decoded beside the main loop within bounds:
// nothing in the file keeps the window from showing or fills the memory.

#include <gtk/gtk.h>

#include <atomic>
#include <functional>
#include <string>

namespace quillet::widgets {

// The longest side of a picture shown without a size, and the size of an icon, or of the
// missing image, without one.
constexpr int kLargestPicture = 512;
constexpr int kIconSize = 48;

// What a picture decoded beside the main loop is given to, there: null when it cannot be
// shown, with a --debug line saying why.
using Decoded = std::function<void(GdkPixbuf *pixbuf)>;

struct Picture;

// The pictures one dialog loads: one decoded at a time, on a thread of their own, in the
// order they were asked for.
class Pictures {
public:
  Pictures() = default;
  // Stops.
  ~Pictures();
  Pictures(const Pictures &) = delete;
  Pictures &operator=(const Pictures &) = delete;

  // Shows the picture in `path` in `image` once it is decoded: fitted to `size` pixels (its
  // longer side, up or down) when that is above 0, or else at its own size up to
  // kLargestPicture; never larger than the screen. A picture that cannot be shown shows GTK's
  // missing image instead, with a --debug line saying why.
  void load(GtkImage *image, const std::string &path, int size);

  // Decodes the picture in `path` within the same bounds, fitted to `box` pixels (its longer
  // side, up or down), and gives it to `done`.
  void decode(const std::string &path, int box, Decoded done);

  // The end of the dialog: pictures not started are dropped, and the one being decoded is
  // waited for, which soon stops.
  void stop();

private:
  void push(Picture *picture);

  GThreadPool *pool_ = nullptr;
  std::atomic<bool> stopping_ = false; // read by the thread
};

} // namespace quillet::widgets
