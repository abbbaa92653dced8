// Kinds that pick something of their own: dates, colours and fonts.

#include "family.h"

#include "common/checks.h"
#include "common/strings.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cmath>
#include <string>
#include <tuple>

namespace quillet::widgets {

namespace {

void start_calendar(Draft &draft, Element &element, const Tag &) {
  open_child_object(draft.body, "GtkCalendar", element.id.c_str());
}

// The year, month (from 1) and day of a YYYY-MM-DD date; nothing for anything else.
std::optional<std::array<int, 3>> date(const std::string &text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-')
    return std::nullopt;
  std::array<int, 3> parts{0, 0, 0};
  for (auto [part, from, to] : {std::tuple{0, 0, 4}, {1, 5, 7}, {2, 8, 10}})
    for (int i = from; i < to; i++) {
      if (!g_ascii_isdigit(text[i]))
        return std::nullopt;
      parts[part] = parts[part] * 10 + (text[i] - '0');
    }
  if (!g_date_valid_dmy(static_cast<GDateDay>(parts[2]), static_cast<GDateMonth>(parts[1]),
                        static_cast<GDateYear>(parts[0])))
    return std::nullopt;
  return parts;
}

// GTK counts months from 0.
void calendar_default(Draft &draft, Element &, const std::string &text) {
  if (const auto parts = date(text))
    draft.append(property("year", std::to_string((*parts)[0])) +
                 property("month", std::to_string((*parts)[1] - 1)) +
                 property("day", std::to_string((*parts)[2])));
}

bool set_calendar(GObject *widget, const std::string &text) {
  const auto parts = date(text);
  if (!parts)
    return false;
  auto *calendar = GTK_CALENDAR(widget);
  gtk_calendar_select_month(calendar, static_cast<guint>((*parts)[1] - 1),
                            static_cast<guint>((*parts)[0]));
  gtk_calendar_select_day(calendar, static_cast<guint>((*parts)[2]));
  return true;
}

// What a key does in the calendar, as GTK has it do.
void press(GtkWidget *calendar, const GdkEventKey *event, guint keyval) {
  auto *klass = GTK_WIDGET_CLASS(g_type_class_peek(GTK_TYPE_CALENDAR));
  g_autoptr(GdkEvent) key = gdk_event_copy(reinterpret_cast<const GdkEvent *>(event));
  key->key.keyval = keyval;
  key->key.state = 0;
  klass->key_press_event(calendar, &key->key);
}

GDate chosen_day(GtkCalendar *calendar) {
  guint year = 0, month = 0, day = 0;
  gtk_calendar_get_date(calendar, &year, &month, &day);
  GDate date;
  g_date_clear(&date, 1);
  g_date_set_dmy(&date, static_cast<GDateDay>(day), static_cast<GDateMonth>(month + 1),
                 static_cast<GDateYear>(year));
  return date;
}

// The day the arrow keys move to is the chosen day, so that Enter then gives it. GTK's
// arrows move a box that only Space chooses the day in, and the box is not on the chosen day
// at the start nor after Ctrl+arrows changed the month: it is chosen and moved (Left and
// Right, a day at a time) until the day is the one the arrow meant. With Ctrl, the arrows
// change the month or year as GTK has them.
gboolean on_calendar_key(GtkWidget *widget, GdkEventKey *event, gpointer) {
  const bool rtl = gtk_widget_get_direction(widget) == GTK_TEXT_DIR_RTL;
  const guint forward = rtl ? GDK_KEY_Left : GDK_KEY_Right;
  const guint back = rtl ? GDK_KEY_Right : GDK_KEY_Left;
  int days = 0;
  const guint key = event->keyval;
  if (key == GDK_KEY_Up || key == GDK_KEY_KP_Up || key == GDK_KEY_Down || key == GDK_KEY_KP_Down)
    days = key == GDK_KEY_Up || key == GDK_KEY_KP_Up ? -7 : 7;
  else if (key == GDK_KEY_Left || key == GDK_KEY_KP_Left)
    days = rtl ? 1 : -1;
  else if (key == GDK_KEY_Right || key == GDK_KEY_KP_Right)
    days = rtl ? -1 : 1;
  if (days == 0 || (event->state & gtk_accelerator_get_default_mod_mask()) != 0)
    return FALSE;
  auto *calendar = GTK_CALENDAR(widget);
  GDate target = chosen_day(calendar);
  if (days > 0)
    g_date_add_days(&target, days);
  else if (g_date_get_julian(&target) > static_cast<guint32>(-days))
    g_date_subtract_days(&target, -days);
  press(widget, event, GDK_KEY_space);
  // A round or two: once the box is on the chosen day, the steps land on the target.
  for (int round = 0; round < 3; round++) {
    GDate now = chosen_day(calendar);
    const int left = g_date_days_between(&now, &target);
    if (left == 0)
      break;
    for (int step = 0; step < std::abs(left); step++)
      press(widget, event, left > 0 ? forward : back);
    press(widget, event, GDK_KEY_space);
  }
  return TRUE;
}

// At its own width: stretched, its day columns stand far apart.
void set_up_calendar(GObject *widget, const Setup &) {
  gtk_widget_set_halign(GTK_WIDGET(widget), GTK_ALIGN_START);
  g_signal_connect(widget, "key-press-event", G_CALLBACK(on_calendar_key), nullptr);
}

Value read_calendar(GObject *widget) {
  guint year = 0, month = 0, day = 0;
  gtk_calendar_get_date(GTK_CALENDAR(widget), &year, &month, &day);
  g_autofree char *text = g_strdup_printf("%04u-%02u-%02u", year, month + 1, day);
  return {text};
}

void start_colorbutton(Draft &draft, Element &element, const Tag &) {
  open_child_object(draft.body, "GtkColorButton", element.id.c_str());
}

// A colour GDK can read; anything else is ignored. The parser needs no display.
void colorbutton_default(Draft &draft, Element &, const std::string &text) {
  GdkRGBA colour;
  if (gdk_rgba_parse(&colour, plain_text(text).c_str()))
    draft.append(property("rgba", layout_text(text)));
}

Value read_colorbutton(GObject *widget) {
  GdkRGBA colour;
  gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(widget), &colour);
  const auto byte = [](double part) {
    return static_cast<unsigned>(std::lround(std::clamp(part, 0.0, 1.0) * 255));
  };
  g_autofree char *text =
      g_strdup_printf("#%02x%02x%02x", byte(colour.red), byte(colour.green), byte(colour.blue));
  return {text};
}

bool set_colorbutton(GObject *widget, const std::string &text) {
  GdkRGBA colour;
  if (!gdk_rgba_parse(&colour, text.c_str()))
    return false;
  gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(widget), &colour);
  return true;
}

void start_fontbutton(Draft &draft, Element &element, const Tag &) {
  open_child_object(draft.body, "GtkFontButton", element.id.c_str());
}

void fontbutton_default(Draft &draft, Element &, const std::string &text) {
  draft.append(property("font", layout_text(text)));
}

Value read_fontbutton(GObject *widget) {
  g_autofree char *font = gtk_font_chooser_get_font(GTK_FONT_CHOOSER(widget));
  return {font != nullptr ? font : ""};
}

bool set_fontbutton(GObject *widget, const std::string &text) {
  if (text.empty() || !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
    return false;
  gtk_font_chooser_set_font(GTK_FONT_CHOOSER(widget), text.c_str());
  return true;
}

constexpr Kind kKinds[] = {
    {.element = "calendar",
     .start = start_calendar,
     .end = end_object,
     .set_default = calendar_default,
     .type = gtk_calendar_get_type,
     .named = true,
     .focused = true,
     .set_up = set_up_calendar,
     .read = read_calendar,
     .change_signal = "day-selected",
     .set_value = set_calendar},
    {.element = "colorbutton",
     .start = start_colorbutton,
     .end = end_object,
     .set_default = colorbutton_default,
     .type = gtk_color_button_get_type,
     .named = true,
     .focused = true,
     .read = read_colorbutton,
     .change_signal = "color-set",
     .set_value = set_colorbutton},
    {.element = "fontbutton",
     .start = start_fontbutton,
     .end = end_object,
     .set_default = fontbutton_default,
     .type = gtk_font_button_get_type,
     .named = true,
     .focused = true,
     .read = read_fontbutton,
     .change_signal = "font-set",
     .set_value = set_fontbutton},
};

const Family kFamily("pickers", kKinds);

} // namespace

} // namespace quillet::widgets
