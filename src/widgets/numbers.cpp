// Kinds that hold a number: spin buttons and sliders over a range, and progress bars.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace quillet::widgets {

namespace {

// Object data on a slider given a number of decimals: that number plus one.
constexpr const char *kDigits = "quillet-digits";

struct RangeState : KindState {
  size_t adjustment = 0;
};

struct SliderRecord : KindState {
  std::optional<int> digits; // the decimals its value is printed with
};

struct BarRecord : KindState {
  bool auto_close = false; // it ends the dialog at 100
};

// A slider given a number of decimals is printed with exactly that many, every digit of
// the whole part included (up to 309 of them); anything else as a number that reads back
// the same.
std::string number_value(double value, int digits = -1) {
  if (digits < 0) {
    char number[G_ASCII_DTOSTR_BUF_SIZE];
    return g_ascii_dtostr(number, sizeof number, value);
  }
  std::string number(DBL_MAX_10_EXP + digits + 4, '\0'); // sign, point and NUL too
  g_autofree char *format = g_strdup_printf("%%.%df", digits);
  g_ascii_formatd(number.data(), static_cast<int>(number.size()), format, value);
  number.resize(strlen(number.c_str()));
  return number;
}

// Its adjustment, declared before the widgets: a range with its minimum above its maximum
// keeps the usual one; a step must be positive.
void start_range(Draft &draft, Element &element, std::string_view tag, std::string_view klass,
                 std::string_view form) {
  Adjustment adjustment;
  adjustment.id = element.id;
  const double lower = number(attribute(tag, "min")).value_or(0);
  const double upper = number(attribute(tag, "max")).value_or(100);
  if (lower <= upper) {
    adjustment.lower = lower;
    adjustment.upper = upper;
  }
  if (const auto step = number(attribute(tag, "step")); step && *step > 0)
    adjustment.step = *step;
  state_of<RangeState>(element).adjustment = draft.declare_adjustment(std::move(adjustment));

  GString *sb = draft.body;
  open_child_object(sb, klass, element.id.c_str());
  append(sb, form);
  append(sb, "<property name=\"adjustment\">adj_");
  append(sb, element.id);
  append(sb, "</property>\n");
}

void range_default(Draft &draft, Element &element, const std::string &text) {
  draft.adjustment(state_of<RangeState>(element).adjustment).value = number(text);
}

void start_spinbutton(Draft &draft, Element &element, const Tag &tag) {
  start_range(draft, element, tag.line, "GtkSpinButton",
              "<property name=\"numeric\">True</property>\n");
}

void spinbutton_attributes(Draft &draft, Element &, std::string_view tag) {
  if (const auto digits = count(attribute(tag, "digits"), 20))
    draft.append(property("digits", std::to_string(*digits)));
}

// What it shows, as an entry holds it.
Value read_spinbutton(GObject *widget) {
  return {gtk_entry_get_text(GTK_ENTRY(widget))};
}

// A number as it was printed, whole; clamped to the range as any value is.
std::optional<double> printed_number(const std::string &text) {
  const std::optional<double> value = whole_number(text);
  return value && std::isfinite(*value) ? value : std::nullopt;
}

// A value between its digits is taken as it is shown at once: the focus leaving it would
// round it otherwise, and run its change action for a change nobody made.
void set_spin_value(GObject *widget, double value) {
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(widget), value);
  gtk_spin_button_update(GTK_SPIN_BUTTON(widget));
}

// Its <default> too.
void set_up_spinbutton(GObject *widget, const Setup &setup) {
  set_up_entry(widget, setup);
  gtk_spin_button_update(GTK_SPIN_BUTTON(widget));
}

bool set_spinbutton(GObject *widget, const std::string &text) {
  const std::optional<double> value = printed_number(text);
  if (value)
    set_spin_value(widget, *value);
  return value.has_value();
}

void start_slider(Draft &draft, Element &element, const Tag &tag) {
  start_range(draft, element, tag.line, "GtkScale",
              "<property name=\"orientation\">horizontal</property>\n");
}

// A slider rounds to what it shows, and its value is printed with as many decimals.
void slider_attributes(Draft &draft, Element &slider, std::string_view tag) {
  const auto digits = count(attribute(tag, "digits"), 20);
  if (!digits)
    return;
  draft.append(property("digits", std::to_string(*digits)));
  draft.append(property("round-digits", std::to_string(*digits)));
  record_of<SliderRecord>(draft, slider).digits = *digits;
}

void describe_slider(const KindState &record, std::string_view id, std::vector<Note> &notes) {
  if (const auto digits = static_cast<const SliderRecord &>(record).digits)
    notes.push_back({"digits", "digits " + std::string(id) + " " + std::to_string(*digits)});
}

void set_up_slider(GObject *widget, const Setup &setup) {
  if (const auto *record = record_of<SliderRecord>(setup); record && record->digits)
    g_object_set_data(widget, kDigits, GINT_TO_POINTER(*record->digits + 1));
}

Value read_slider(GObject *object) {
  return {number_value(gtk_range_get_value(GTK_RANGE(object)),
                       GPOINTER_TO_INT(g_object_get_data(object, kDigits)) - 1)};
}

void start_progressbar(Draft &draft, Element &element, const Tag &) {
  GString *sb = draft.body;
  open_child_object(sb, "GtkProgressBar", element.id.c_str());
  append(sb, "<property name=\"show-text\">True</property>\n");
}

void progressbar_attributes(Draft &draft, Element &bar, std::string_view tag) {
  if (attribute(tag, "auto-close") == "true")
    record_of<BarRecord>(draft, bar).auto_close = true;
}

void describe_progressbar(const KindState &record, std::string_view id, std::vector<Note> &notes) {
  if (static_cast<const BarRecord &>(record).auto_close)
    notes.push_back({"closes", std::string(id) + " closes the dialog at 100"});
}

struct Closer {
  void (*end)(const char *word, gpointer data);
  gpointer data;
};

// Reaching 100 ends the dialog as OK does; a bar that starts there waits for its feed.
void on_fraction(GObject *bar, GParamSpec *, gpointer data) {
  if (gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(bar)) < 1.0)
    return;
  const Closer closer = *static_cast<const Closer *>(data);
  g_signal_handlers_disconnect_by_data(bar, data);
  closer.end("OK", closer.data);
}

void set_up_progressbar(GObject *bar, const Setup &setup) {
  const auto *record = record_of<BarRecord>(setup);
  if (setup.end == nullptr || record == nullptr || !record->auto_close)
    return;
  auto *closer = g_new(Closer, 1);
  *closer = {setup.end, setup.end_data};
  g_signal_connect_data(
      bar, "notify::fraction", G_CALLBACK(on_fraction), closer,
      [](gpointer data, GClosure *) { g_free(data); }, GConnectFlags(0));
}

// A percentage, clamped; anything else is ignored.
void progressbar_default(Draft &draft, Element &, const std::string &text) {
  if (const auto percent = number(text))
    draft.append(property("fraction", number_text(std::clamp(*percent, 0.0, 100.0) / 100)));
}

bool set_slider(GObject *widget, const std::string &text) {
  const std::optional<double> value = printed_number(text);
  if (value)
    gtk_range_set_value(GTK_RANGE(widget), *value);
  return value.has_value();
}

Value read_progressbar(GObject *widget) {
  return {number_value(gtk_progress_bar_get_fraction(GTK_PROGRESS_BAR(widget)))};
}

// A percentage moves the bar, a line after '#' becomes its caption.
void feed_progressbar(GObject *widget, const std::string &line) {
  if (!GTK_IS_PROGRESS_BAR(widget))
    return;
  auto *bar = GTK_PROGRESS_BAR(widget);
  if (line.starts_with('#')) {
    gtk_progress_bar_set_text(bar, std::string(strip(std::string_view(line).substr(1))).c_str());
    return;
  }
  const std::optional<double> percent = whole_number(strip(line));
  if (!percent || std::isnan(*percent))
    return; // not a number: ignored
  gtk_progress_bar_set_fraction(bar, std::clamp(*percent, 0.0, 100.0) / 100.0);
}

void clear_progressbar(GObject *widget) {
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(widget), 0);
}

// Lines as a feed's.
void refill_progressbar(GObject *widget, const std::string &output) {
  for (std::string_view line : Lines(output))
    feed_progressbar(widget, std::string(line));
}

// The number printed, within the range; anything else is ignored.
void refill_range(GObject *widget, const std::string &output) {
  if (const auto value = number(output))
    gtk_adjustment_set_value(gtk_range_get_adjustment(GTK_RANGE(widget)), *value);
}

void refill_spinbutton(GObject *widget, const std::string &output) {
  if (const auto value = number(output))
    set_spin_value(widget, *value);
}

constexpr Attribute kRangeTakes[] = {
    {"min", Takes::number},
    {"max", Takes::number},
    {"step", Takes::positive},
    {"digits", Takes::count, {}, 0, 20},
};
constexpr Attribute kProgressTakes[] = {{"auto-close", Takes::words, "true|false"}};

constexpr Kind kKinds[] = {
    {.element = "spinbutton",
     .takes = kRangeTakes,
     .start = start_spinbutton,
     .end = end_object,
     .new_state = make<RangeState>,
     .attributes = spinbutton_attributes,
     .set_default = range_default,
     .type = gtk_spin_button_get_type,
     .named = true,
     .focused = true,
     .set_up = set_up_spinbutton,
     .read = read_spinbutton,
     .change_signal = "value-changed",
     .activate_signal = "activate",
     .set_value = set_spinbutton,
     .refill = refill_spinbutton},
    {.element = "slider",
     .takes = kRangeTakes,
     .start = start_slider,
     .end = end_object,
     .new_state = make<RangeState>,
     .attributes = slider_attributes,
     .set_default = range_default,
     .type = gtk_scale_get_type,
     .named = true,
     .focused = true,
     .new_record = make<SliderRecord>,
     .describe = describe_slider,
     .set_up = set_up_slider,
     .read = read_slider,
     .change_signal = "value-changed",
     .set_value = set_slider,
     .refill = refill_range},
    {.element = "progressbar",
     .takes = kProgressTakes,
     .start = start_progressbar,
     .end = end_object,
     .attributes = progressbar_attributes,
     .set_default = progressbar_default,
     .caption = "text",
     .type = gtk_progress_bar_get_type,
     .named = true,
     .new_record = make<BarRecord>,
     .describe = describe_progressbar,
     .set_up = set_up_progressbar,
     .read = read_progressbar,
     .feed = feed_progressbar,
     .clear = clear_progressbar,
     .refill = refill_progressbar},
};

const Family kFamily("numbers", kKinds);

} // namespace

} // namespace quillet::widgets
