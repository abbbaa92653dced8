#include "xml_transformer.h"

#include "common/checks.h"

#include "layout.h"
#include "preprocess/cleaning.h"
#include "preprocess/xml_preprocessor.h"

#include <algorithm>
#include <new>
#include <vector>

// The C++ members, constructed in _init and destroyed in finalize.
struct XmlTransformerPrivate {
  int auto_id_counter = 0;
  size_t nesting_depth = 0;
  quillet::transform::DialogExtras extras;
  quillet::preprocess::Origins origins;
};

struct _XmlTransformer {
  GObject parent_instance;

  GHashTable *widget_actions;
  XmlPreprocessor *preprocessor;
};

G_DEFINE_TYPE_WITH_PRIVATE(XmlTransformer, xml_transformer, G_TYPE_OBJECT)

static XmlTransformerPrivate &priv(XmlTransformer *self) {
  return *static_cast<XmlTransformerPrivate *>(xml_transformer_get_instance_private(self));
}

static void xml_transformer_finalize(GObject *object) {
  XmlTransformer *self = XML_TRANSFORMER(object);
  g_clear_pointer(&self->widget_actions, g_hash_table_unref);
  g_clear_object(&self->preprocessor);
  priv(self).~XmlTransformerPrivate();
  G_OBJECT_CLASS(xml_transformer_parent_class)->finalize(object);
}

static void xml_transformer_class_init(XmlTransformerClass *klass) {
  G_OBJECT_CLASS(klass)->finalize = xml_transformer_finalize;
}

static void xml_transformer_init(XmlTransformer *self) {
  new (&priv(self)) XmlTransformerPrivate();
  self->widget_actions = g_hash_table_new_full(g_str_hash, g_str_equal, g_free,
                                               reinterpret_cast<GDestroyNotify>(g_ptr_array_unref));
  self->preprocessor = xml_preprocessor_new();
}

XmlTransformer *xml_transformer_new(void) {
  return XML_TRANSFORMER(g_object_new(XML_TYPE_TRANSFORMER, NULL));
}

XmlPreprocessor *xml_transformer_get_preprocessor(XmlTransformer *self) {
  g_return_val_if_fail(self != NULL, NULL);
  return self->preprocessor;
}

GHashTable *xml_transformer_get_widget_actions(XmlTransformer *self) {
  g_return_val_if_fail(self != NULL, NULL);
  return self->widget_actions;
}

const quillet::transform::DialogExtras *xml_transformer_get_extras(XmlTransformer *self) {
  g_return_val_if_fail(self != NULL, NULL);
  return &priv(self).extras;
}

size_t xml_transformer_get_nesting_depth(XmlTransformer *self) {
  g_return_val_if_fail(self != NULL, 0);
  return priv(self).nesting_depth;
}

// The markup line of each line of the cleaned text, 1 for the first.
static std::vector<int> markup_lines(const quillet::preprocess::Origins &origins) {
  std::vector<int> lines;
  lines.reserve(origins.line_starts.size());
  const std::string_view markup = origins.markup;
  size_t counted = 0;
  int line = 1;
  for (size_t start : origins.line_starts) {
    start = std::min(start, markup.size());
    if (start < counted) { // not in order: counted afresh
      counted = 0;
      line = 1;
    }
    line += static_cast<int>(std::count(markup.begin() + static_cast<long>(counted),
                                        markup.begin() + static_cast<long>(start), '\n'));
    counted = start;
    lines.push_back(line);
  }
  return lines;
}

char *xml_transformer_process_and_clean_xml(XmlTransformer *self, const char *raw_xml) {
  g_return_val_if_fail(self != NULL, NULL);
  g_return_val_if_fail(raw_xml != NULL, NULL);

  XmlTransformerPrivate &p = priv(self);
  g_autofree char *clean =
      quillet::preprocess::clean_markup(self->preprocessor, raw_xml, &p.origins);
  g_autoptr(GString) sb = g_string_new(nullptr);
  p.extras.feeds.clear();
  p.extras.rows.clear();
  p.extras.builder_layout.clear();
  p.extras.inputs.clear();
  p.extras.problems.clear();
  p.extras.commands.clear();
  p.extras.scripts.clear();
  p.extras.lines.clear();
  p.nesting_depth =
      quillet::transform::build_layout(sb, clean, self->widget_actions, p.auto_id_counter,
                                       &p.extras, p.origins.inputs, markup_lines(p.origins));
  // What the inputs printed is in the layout or the extras now; a large list's need not stay.
  for (quillet::widgets::InputAt &input : p.origins.inputs)
    std::string().swap(input.output);
  return g_string_free(g_steal_pointer(&sb), FALSE);
}

std::string xml_transformer_origin(XmlTransformer *self,
                                   const std::function<bool(const char *layout)> &rejected) {
  g_return_val_if_fail(self != NULL, std::string());
  const XmlTransformerPrivate &p = priv(self);

  // The fewest first lines of the cleaned text whose layout is rejected: the last of them
  // brought the fault in. Each try is walked afresh, as the whole text was.
  const std::string_view clean = p.origins.clean;
  std::vector<size_t> ends;
  for (size_t at = clean.find('\n'); at != std::string_view::npos; at = clean.find('\n', at + 1))
    ends.push_back(at);
  ends.push_back(clean.size());
  const auto rejects = [&](size_t lines) {
    g_autoptr(GHashTable) actions = g_hash_table_new_full(
        g_str_hash, g_str_equal, g_free, reinterpret_cast<GDestroyNotify>(g_ptr_array_unref));
    g_autoptr(GString) sb = g_string_new(nullptr);
    int counter = 0;
    quillet::transform::DialogExtras extras;
    quillet::transform::build_layout(sb, clean.substr(0, ends[lines - 1]), actions, counter,
                                     &extras, p.origins.inputs);
    return rejected(sb->str);
  };
  size_t low = 1, high = ends.size();
  if (high > p.origins.line_starts.size() || !rejects(high))
    return {};
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (rejects(middle))
      high = middle;
    else
      low = middle + 1;
  }

  const std::string_view markup = p.origins.markup;
  const size_t at = p.origins.line_starts[low - 1];
  // No line break before it (npos) makes the line start 0.
  const size_t line_start = at == 0 ? 0 : markup.rfind('\n', at - 1) + 1;
  // The start tag there, or the text up to the end of its line; no more than fits a line.
  std::string_view shown = markup.substr(at, 120);
  const size_t gt = shown.find('>');
  shown = shown.substr(0, std::min(shown.find('\n'), gt == std::string_view::npos ? gt : gt + 1));
  while (!shown.empty() &&
         !g_utf8_validate(shown.data(), static_cast<gssize>(shown.size()), nullptr))
    shown.remove_suffix(1);
  g_autofree char *where = g_strdup_printf(
      "line %zu, column %ld: ",
      static_cast<size_t>(std::count(markup.begin(), markup.begin() + at, '\n')) + 1,
      g_utf8_strlen(markup.data() + line_start, static_cast<gssize>(at - line_start)) + 1);
  return where + std::string(shown);
}
