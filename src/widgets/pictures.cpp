#include "pictures.h"

#include <glib/gstdio.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet::widgets {

struct Picture {
  std::string path;
  int box;      // the longest side shown
  bool fit;     // scaled up to the box too, when a size was asked for
  Decoded done; // called, and let go, on the main thread only
  GdkPixbuf *pixbuf = nullptr;
  std::string why = {}; // why it is not shown
};

namespace {

// A larger file is not read.
constexpr goffset kMaxFileBytes = 32 << 20;
// A raster picture is decoded at its own size before it is scaled, 4 bytes a pixel: 128 MiB
// at most. A vector picture is drawn at the size shown, whatever size it declares.
constexpr gint64 kMaxPixels = 1 << 25;
// One picture decoded at a time, in the order of the markup.
constexpr int kThreads = 1;

void free_picture(gpointer data) {
  auto *picture = static_cast<Picture *>(data);
  g_clear_object(&picture->pixbuf);
  delete picture;
}

// What the loader learns from the picture's header, before it decodes the pixels.
struct Sizing {
  const Picture &picture;
  bool refused = false;
  int width = 0, height = 0;
};

// A size of 0 tells the loader to stop before it takes the memory for the pixels.
void on_size_prepared(GdkPixbufLoader *loader, int width, int height, gpointer data) {
  auto &sizing = *static_cast<Sizing *>(data);
  sizing.width = width;
  sizing.height = height;
  GdkPixbufFormat *format = gdk_pixbuf_loader_get_format(loader);
  const bool scalable = format != nullptr && gdk_pixbuf_format_is_scalable(format);
  if (width <= 0 || height <= 0 || (!scalable && gint64{width} * height > kMaxPixels)) {
    sizing.refused = true;
    gdk_pixbuf_loader_set_size(loader, 0, 0);
    return;
  }
  const int box = sizing.picture.box;
  double scale = std::min(static_cast<double>(box) / width, static_cast<double>(box) / height);
  if (!sizing.picture.fit)
    scale = std::min(scale, 1.0);
  gdk_pixbuf_loader_set_size(loader, std::max(1, static_cast<int>(std::lround(width * scale))),
                             std::max(1, static_cast<int>(std::lround(height * scale))));
}

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0)
      close(fd);
  }
};

// Reads the picture into the loader; why it cannot be shown, or empty. A FIFO or a device
// could be read without end: opened without waiting for a writer, it is refused.
std::string decode(Picture &picture, GdkPixbufLoader *loader, Sizing &sizing,
                   const std::atomic<bool> &stopping) {
  const Descriptor file{
      g_open(picture.path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0)};
  struct stat st;
  if (file.fd < 0 || fstat(file.fd, &st) != 0)
    return g_strerror(errno);
  if (!S_ISREG(st.st_mode))
    return "it is not a regular file";
  std::vector<char> buffer(65536);
  goffset total = 0;
  for (;;) {
    if (stopping)
      return "the dialog has ended";
    const ssize_t got = read(file.fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return g_strerror(errno);
    if (got == 0)
      return {};
    total += got;
    if (total > kMaxFileBytes)
      return "it is larger than 32 MiB";
    g_autoptr(GError) error = nullptr;
    if (!gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar *>(buffer.data()),
                                 static_cast<gsize>(got), &error))
      return sizing.refused ? std::string() : error->message;
  }
}

// On the main loop, when the picture is decoded or refused.
gboolean show(gpointer data) {
  const auto &picture = *static_cast<const Picture *>(data);
  if (picture.pixbuf == nullptr)
    g_debug("The picture '%s' is not shown: %s.", picture.path.c_str(), picture.why.c_str());
  picture.done(picture.pixbuf);
  return G_SOURCE_REMOVE;
}

// On the thread of the pool, which tells it whether the dialog has ended; the picture goes
// back to the main loop, to be shown and let go.
void load_on_thread(gpointer data, gpointer stopping) {
  auto *picture = static_cast<Picture *>(data);
  g_autoptr(GdkPixbufLoader) loader = gdk_pixbuf_loader_new();
  Sizing sizing{*picture};
  g_signal_connect(loader, "size-prepared", G_CALLBACK(on_size_prepared), &sizing);
  picture->why = decode(*picture, loader, sizing, *static_cast<std::atomic<bool> *>(stopping));
  g_autoptr(GError) error = nullptr;
  const bool closed = gdk_pixbuf_loader_close(loader, &error);
  if (sizing.refused)
    picture->why = std::to_string(sizing.width) + "x" + std::to_string(sizing.height) +
                   " pixels are more than a picture may have";
  else if (picture->why.empty() && !closed)
    picture->why = error->message;
  else if (picture->why.empty() && gdk_pixbuf_loader_get_pixbuf(loader) == nullptr)
    picture->why = "it holds no picture";
  if (picture->why.empty())
    picture->pixbuf = GDK_PIXBUF(g_object_ref(gdk_pixbuf_loader_get_pixbuf(loader)));
  g_idle_add_full(G_PRIORITY_DEFAULT, show, picture, free_picture);
}

// The shorter side of the screen's work area, where it is known.
int screen_side() {
  GdkDisplay *display = gdk_display_get_default();
  if (display == nullptr || gdk_display_get_n_monitors(display) == 0)
    return INT_MAX;
  GdkMonitor *monitor = gdk_display_get_primary_monitor(display);
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor != nullptr ? monitor : gdk_display_get_monitor(display, 0),
                           &area);
  return area.width > 0 && area.height > 0 ? std::min(area.width, area.height) : INT_MAX;
}

} // namespace

Pictures::~Pictures() {
  stop();
}

void Pictures::decode(const std::string &path, int box, Decoded done) {
  g_return_if_fail(box > 0);
  push(new Picture{path, box, true, std::move(done)});
}

void Pictures::load(GtkImage *image, const std::string &path, int size) {
  g_return_if_fail(GTK_IS_IMAGE(image));
  const int box = std::min(size > 0 ? size : kLargestPicture, screen_side());
  // The room a picture of that size takes, kept while it is decoded.
  if (size > 0)
    gtk_widget_set_size_request(GTK_WIDGET(image), box, box);
  // Held until the picture is shown or dropped, on the main thread.
  std::shared_ptr<GtkImage> held(GTK_IMAGE(g_object_ref(image)),
                                 [](GtkImage *image) { g_object_unref(image); });
  const int missing_size = size > 0 ? box : kIconSize;
  auto shown = [held, missing_size](GdkPixbuf *pixbuf) {
    gtk_widget_set_size_request(GTK_WIDGET(held.get()), -1, -1);
    if (pixbuf != nullptr) {
      gtk_image_set_from_pixbuf(held.get(), pixbuf);
      return;
    }
    gtk_image_set_from_icon_name(held.get(), "image-missing", GTK_ICON_SIZE_DIALOG);
    gtk_image_set_pixel_size(held.get(), missing_size);
  };
  push(new Picture{path, box, size > 0, std::move(shown)});
}

void Pictures::push(Picture *picture) {
  if (pool_ == nullptr)
    pool_ =
        g_thread_pool_new_full(load_on_thread, &stopping_, free_picture, kThreads, FALSE, nullptr);
  g_thread_pool_push(pool_, picture, nullptr);
}

void Pictures::stop() {
  if (pool_ == nullptr)
    return;
  stopping_ = true;
  g_thread_pool_free(std::exchange(pool_, nullptr), TRUE, TRUE);
}

} // namespace quillet::widgets
