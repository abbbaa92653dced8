// Times the transform of XML programs of growing size into layouts, against the time GTK
// takes to load those layouts. A program that prints figures: it never fails on a time.

#include "transform/xml_transformer.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Writes an XML program in memory and counts the widget elements it opens.
class ProgramWriter {
public:
  void open(std::string_view name, std::string_view attributes = {}) {
    xml_ += '<';
    xml_ += name;
    if (!attributes.empty()) {
      xml_ += ' ';
      xml_ += attributes;
    }
    xml_ += '>';
    widgets_++;
  }

  void close(std::string_view name) {
    xml_ += "</";
    xml_ += name;
    xml_ += '>';
  }

  // An auxiliary element (label, item, action): not a widget.
  void aux(std::string_view name, std::string_view text) {
    xml_ += '<';
    xml_ += name;
    xml_ += '>';
    xml_ += text;
    close(name);
  }

  // Every id must be unique or GtkBuilder rejects the layout.
  std::string variable(std::string_view prefix) {
    return "variable=\"" + std::string(prefix) + "_" + std::to_string(++variables_) + "\"";
  }

  int widgets() const { return widgets_; }
  const std::string &xml() const { return xml_; }

private:
  std::string xml_;
  int widgets_ = 0;
  int variables_ = 0;
};

constexpr std::string_view kLeafKinds[] = {
    "text",   "entry", "checkbox",    "button", "comboboxtext", "combobox", "spinbutton",
    "slider", "timer", "progressbar", "edit",   "list",         "tree",
};

// One widget without widget children, with the labels, items and actions its kind takes.
// Labels go only where the widget has a property for them, so the layout stays loadable.
void write_leaf(ProgramWriter &w, std::string_view kind, int n) {
  const std::string num = std::to_string(n);
  if (kind == "text") {
    w.open("text");
    w.aux("label", "Step " + num + ": check the values & go on");
  } else if (kind == "entry") {
    w.open("entry", w.variable("ENTRY"));
    w.aux("action", "echo \"entry " + num + " changed\"");
  } else if (kind == "checkbox") {
    w.open("checkbox", w.variable("CHECK"));
    w.aux("label", "Enable option " + num);
  } else if (kind == "button") {
    w.open("button", w.variable("BUTTON"));
    w.aux("label", "Run " + num);
    w.aux("action", "echo run " + num + " && date");
    w.aux("action", "refresh:ENTRY");
  } else if (kind == "comboboxtext" || kind == "combobox") {
    w.open(kind, w.variable("COMBO"));
    for (std::string_view colour : {"Red", "Green", "Blue", "Cyan", "Magenta"})
      w.aux("item", colour);
  } else if (kind == "spinbutton" || kind == "slider") {
    w.open(kind, w.variable("LEVEL"));
  } else if (kind == "timer") {
    w.open("timer", w.variable("TIMER"));
  } else if (kind == "progressbar") {
    w.open("progressbar", w.variable("PROGRESS"));
    w.aux("label", "Copying " + num);
  } else if (kind == "edit") {
    w.open("edit", w.variable("NOTES"));
  } else {
    w.open(kind, w.variable(kind == "list" ? "LIST" : "TREE"));
    for (int row = 1; row <= 6; row++)
      w.aux("item", "row " + std::to_string(row) + " of " + num);
  }
  w.close(kind);
}

// Twenty widgets: a titled frame holding boxes and a two-page notebook.
constexpr int kSectionWidgets = 20;

void write_section(ProgramWriter &w, int n) {
  w.open("frame", "Section " + std::to_string(n)); // the legacy title form
  w.open("hbox");
  for (std::string_view kind : {"text", "entry", "checkbox"})
    write_leaf(w, kind, n);
  w.close("hbox");
  w.open("hbox");
  for (std::string_view kind : {"comboboxtext", "combobox", "spinbutton", "slider"})
    write_leaf(w, kind, n);
  w.close("hbox");
  w.open("notebook");
  w.open("vbox");
  for (std::string_view kind : {"edit", "progressbar", "timer"})
    write_leaf(w, kind, n);
  w.close("vbox");
  w.open("vbox");
  for (std::string_view kind : {"list", "tree"})
    write_leaf(w, kind, n);
  w.close("vbox");
  w.close("notebook");
  w.open("hbox");
  write_leaf(w, "button", n);
  w.close("hbox");
  w.close("frame");
}

// A program of exactly `target` widgets: window, main box, sections, then single leaves to
// make up the rest, and the OK and Cancel buttons.
std::string make_program(int target) {
  constexpr int kFrame = 5; // window, vbox, final hbox, OK, Cancel
  ProgramWriter w;
  w.open("window");
  w.open("vbox");
  int n = 0;
  while (w.widgets() + kSectionWidgets + kFrame - 2 <= target)
    write_section(w, ++n);
  for (int k = 0; w.widgets() + kFrame - 2 < target; k++)
    write_leaf(w, kLeafKinds[k % std::size(kLeafKinds)], ++n);
  w.open("hbox");
  w.open("button", "ok");
  w.close("button");
  w.open("button", "cancel");
  w.close("button");
  w.close("hbox");
  w.close("vbox");
  w.close("window");
  g_assert_cmpint(w.widgets(), ==, target);
  return w.xml();
}

gint64 median(std::vector<gint64> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

double ms(gint64 microseconds) {
  return static_cast<double>(microseconds) / 1000.0;
}

struct Figures {
  int widgets;
  size_t input_bytes;
  size_t layout_bytes;
  gint64 transform_us;
  gint64 load_us;
};

// A fresh transformer each run: its action table and id counter carry over between calls.
char *transform_once(const std::string &program, gint64 &elapsed_us) {
  g_autoptr(XmlTransformer) transformer = xml_transformer_new();
  const gint64 start = g_get_monotonic_time();
  char *layout = xml_transformer_process_and_clean_xml(transformer, program.c_str());
  elapsed_us = g_get_monotonic_time() - start;
  return layout;
}

// Loads the layout as the application would; a layout GTK refuses ends the run.
gint64 load_once(const char *layout) {
  g_autoptr(GtkBuilder) builder = gtk_builder_new();
  g_autoptr(GError) error = nullptr;
  const gint64 start = g_get_monotonic_time();
  const gboolean loaded = gtk_builder_add_from_string(builder, layout, -1, &error);
  const gint64 elapsed = g_get_monotonic_time() - start;
  if (!loaded) {
    g_printerr("transform-bench: GTK refused the layout: %s\n", error->message);
    exit(1);
  }
  GObject *window = gtk_builder_get_object(builder, "main_window");
  if (!GTK_IS_WIDGET(window)) {
    g_printerr("transform-bench: the layout has no main_window\n");
    exit(1);
  }
  gtk_widget_destroy(GTK_WIDGET(window));
  return elapsed;
}

Figures measure(int widgets, int repetitions) {
  const std::string program = make_program(widgets);
  gint64 elapsed = 0;
  // A first untimed round warms caches and GTK's type registrations.
  g_autofree char *layout = transform_once(program, elapsed);
  load_once(layout);

  std::vector<gint64> transform_times, load_times;
  for (int i = 0; i < repetitions; i++) {
    g_autofree char *again = transform_once(program, elapsed);
    transform_times.push_back(elapsed);
    load_times.push_back(load_once(again));
  }
  return {widgets, program.size(), strlen(layout), median(transform_times), median(load_times)};
}

} // namespace

int main(int argc, char **argv) {
  // The accessibility bridge would add D-Bus set-up and objects that are not ours to time.
  g_setenv("NO_AT_BRIDGE", "1", FALSE);
  if (!gtk_init_check(&argc, &argv)) {
    g_printerr("transform-bench: cannot open a display; run it under `xvfb-run -a` or with "
               "bench/run-transform-bench.sh\n");
    return 1;
  }

  struct Size {
    int widgets;
    int repetitions;
  };
  // Fewer repetitions for the large size keep the whole run short.
  constexpr Size kSizes[] = {{100, 101}, {1000, 21}, {10000, 5}};

  std::printf("%8s %12s %13s %14s %12s %16s\n", "widgets", "input bytes", "layout bytes",
              "transform ms", "load ms", "transform/load");
  std::vector<Figures> results;
  for (const Size &size : kSizes) {
    const Figures f = measure(size.widgets, size.repetitions);
    std::printf("%8d %12zu %13zu %14.3f %12.3f %16.3f\n", f.widgets, f.input_bytes, f.layout_bytes,
                ms(f.transform_us), ms(f.load_us),
                static_cast<double>(f.transform_us) / static_cast<double>(f.load_us));
    std::fflush(stdout);
    results.push_back(f);
  }

  const Figures &small = results.front();
  const Figures &large = results.back();
  const double widget_growth = static_cast<double>(large.widgets) / small.widgets;
  const double input_growth = static_cast<double>(large.input_bytes) / small.input_bytes;
  const double time_growth =
      static_cast<double>(large.transform_us) / std::max<gint64>(small.transform_us, 1);
  std::printf("\ntransform growth %d -> %d widgets: %.0fx widgets, %.1fx input bytes, "
              "%.1fx time (target: within 110x) -> %s\n",
              small.widgets, large.widgets, widget_growth, input_growth, time_growth,
              time_growth <= 110.0 ? "met" : "NOT met");
  const bool under_fifth = std::all_of(results.begin(), results.end(), [](const Figures &f) {
    return f.transform_us * 5 < f.load_us;
  });
  std::printf("transform under a fifth of load time at every size: %s\n",
              under_fifth ? "yes" : "NO");
  return 0;
}
