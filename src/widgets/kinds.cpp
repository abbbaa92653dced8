#include "kinds.h"

#include "common/checks.h"

#include "family.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <vector>

namespace quillet::widgets {

namespace {

struct Registered {
  std::string_view name;
  std::span<const Kind> kinds;
};

// Made on first use: the families register from their files' start-up code.
std::vector<Registered> &families() {
  static std::vector<Registered> all;
  return all;
}

// Object data on a widget: the kind that made it.
constexpr const char *kKindKey = "quillet-kind";

} // namespace

Family::Family(std::string_view name, std::span<const Kind> kinds) {
  std::vector<Registered> &all = families();
  all.insert(std::ranges::upper_bound(all, name, {}, &Registered::name), {name, kinds});
}

const Kind *kind_of(std::string_view name) {
  for (const Registered &family : families())
    for (const Kind &kind : family.kinds)
      if (kind.element == name)
        return &kind;
  return nullptr;
}

std::string common_properties(std::string_view tag) {
  std::string out;
  if (const auto tooltip = attribute(tag, "tooltip"))
    out += property("tooltip-text", layout_text(*tooltip));
  if (attribute(tag, "sensitive") == "false")
    out += property("sensitive", "False");
  return out;
}

bool starts_hidden(std::string_view tag) {
  return attribute(tag, "visible") == "false";
}

const char *id_if(Element &element, bool keep) {
  if (!keep)
    element.object_id.clear();
  return element.object_id.empty() ? nullptr : element.object_id.c_str();
}

void open_child_object(GString *sb, std::string_view klass, const char *id) {
  append(sb, "<child>\n<object class=\"");
  append(sb, klass);
  if (id != nullptr) {
    append(sb, "\" id=\"");
    g_string_append(sb, id);
  }
  append(sb, "\">\n");
}

std::string printed_text(std::string_view output) {
  while (output.ends_with('\n') || output.ends_with('\r'))
    output.remove_suffix(1);
  return std::string(output);
}

void end_object(Draft &draft, Element &) {
  draft.append("</object>\n</child>\n");
}

void end_two_objects(Draft &draft, Element &) {
  draft.append("</object>\n</child>\n</object>\n</child>\n");
}

void describe_starting_rows(const KindState &record, std::string_view id,
                            std::vector<Note> &notes) {
  const auto &rows = static_cast<const StartingRows &>(record);
  if (!rows.selected.empty()) {
    std::string line = std::string(id) + " selects";
    for (int row : rows.selected)
      line += " " + std::to_string(row);
    notes.push_back({"selects", std::move(line)});
  }
  if (rows.chosen)
    notes.push_back({"chosen", "chosen " + std::string(id) + " " + std::to_string(*rows.chosen)});
}

KindState &Records::of(const std::string &id, const Kind &kind) {
  std::vector<Entry> &records = by_id_[id];
  for (Entry &entry : records)
    if (entry.kind->new_record == kind.new_record)
      return *entry.record;
  return *records.emplace_back(Entry{&kind, kind.new_record()}).record;
}

const KindState *Records::find(const std::string &id, const Kind &kind) const {
  const auto records = by_id_.find(id);
  if (records != by_id_.end() && kind.new_record != nullptr)
    for (const Entry &entry : records->second)
      if (entry.kind->new_record == kind.new_record)
        return entry.record.get();
  return nullptr;
}

std::vector<Note> Records::notes() const {
  std::vector<Note> notes;
  for (const auto &[id, records] : by_id_)
    for (const Entry &entry : records)
      if (entry.kind->describe != nullptr)
        entry.kind->describe(*entry.record, id, notes);
  return notes;
}

void mark(GObject *widget, const Kind *kind) {
  g_return_if_fail(G_IS_OBJECT(widget));
  g_object_set_data(widget, kKindKey, const_cast<Kind *>(kind));
}

const Kind *kind_of_widget(GObject *widget) {
  g_return_val_if_fail(G_IS_OBJECT(widget), nullptr);
  if (const auto *kind = static_cast<const Kind *>(g_object_get_data(widget, kKindKey)))
    return kind;
  for (GType type = G_OBJECT_TYPE(widget); type != 0; type = g_type_parent(type))
    for (const Registered &family : families())
      for (const Kind &kind : family.kinds)
        if (kind.type != nullptr && kind.type() == type)
          return &kind;
  return nullptr;
}

bool is_button(GObject *widget) {
  g_return_val_if_fail(G_IS_OBJECT(widget), false);
  const Kind *kind = kind_of_widget(widget);
  return kind != nullptr && kind->button;
}

GtkWidget *slot_of(GtkWidget *widget) {
  g_return_val_if_fail(GTK_IS_WIDGET(widget), nullptr);
  const Kind *kind = kind_of_widget(G_OBJECT(widget));
  if (kind != nullptr && kind->slot != nullptr)
    return kind->slot(widget);
  GtkWidget *parent = gtk_widget_get_parent(widget);
  return GTK_IS_SCROLLED_WINDOW(parent) ? parent : widget;
}

namespace {

// The objects in `widget` that take the focus: the widget itself when it can, or else its
// shown parts that can, internal ones included. A scrolled window passes the focus on to what
// it shows.
void add_focus_parts(GtkWidget *widget, gpointer parts) {
  if (gtk_widget_get_can_focus(widget) && !GTK_IS_SCROLLED_WINDOW(widget)) {
    g_ptr_array_add(static_cast<GPtrArray *>(parts), widget);
  } else if (GTK_IS_CONTAINER(widget)) {
    gtk_container_forall(
        GTK_CONTAINER(widget),
        [](GtkWidget *child, gpointer found) {
          if (gtk_widget_get_visible(child))
            add_focus_parts(child, found);
        },
        parts);
  }
}

void label_by(AtkObject *part, AtkObject *text) {
  atk_object_add_relationship(part, ATK_RELATION_LABELLED_BY, text);
  atk_object_add_relationship(text, ATK_RELATION_LABEL_FOR, part);
}

} // namespace

void name_by_text_before(GtkWidget *field) {
  g_return_if_fail(GTK_IS_WIDGET(field));
  const Kind *kind = kind_of_widget(G_OBJECT(field));
  GtkWidget *slot = slot_of(field);
  GtkWidget *box = gtk_widget_get_parent(slot);
  if (!GTK_IS_BOX(box))
    return;
  g_autoptr(GList) children = gtk_container_get_children(GTK_CONTAINER(box));
  const GList *at = g_list_find(children, slot);
  GtkWidget *text = at != nullptr && at->prev != nullptr ? GTK_WIDGET(at->prev->data) : nullptr;
  if (!GTK_IS_LABEL(text))
    return;
  // What stands for the field is labelled by its mnemonic text; GTK would label a hidden
  // part of it too after a mnemonic on the whole.
  if (kind != nullptr && kind->focus_part != nullptr)
    field = kind->focus_part(field);
  gtk_label_set_mnemonic_widget(GTK_LABEL(text), field);
  const char *name = gtk_label_get_text(GTK_LABEL(text));
  atk_object_set_name(gtk_widget_get_accessible(field), name);
  g_autoptr(GPtrArray) parts = g_ptr_array_new();
  add_focus_parts(slot, parts);
  for (guint i = 0; i < parts->len; i++) {
    auto *part = GTK_WIDGET(g_ptr_array_index(parts, i));
    if (part == field)
      continue;
    AtkObject *accessible = gtk_widget_get_accessible(part);
    label_by(accessible, gtk_widget_get_accessible(text));
    if (gtk_widget_is_ancestor(part, field))
      atk_object_set_name(accessible, name);
  }
}

} // namespace quillet::widgets
