// libFuzzer target: arbitrary bytes through the whole text pipeline, cleaning to layout.
// Input commands never reach a shell here: a stand-in answers with text made from the command.

#include "preprocess/cleaning.h"
#include "transform/xml_transformer.h"

#include <cstdint>
#include <cstdlib>
#include <string>

static std::string stand_in(const std::string &command) {
  // Echo the command back as a few lines, with the characters that need escaping.
  std::string out = command + "\n" + std::string(command.rbegin(), command.rend()) + "\n<&>\\q\n";
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  g_autoptr(XmlTransformer) transformer = xml_transformer_new();
  quillet::preprocess::set_command_runner(xml_transformer_get_preprocessor(transformer), stand_in);
  g_autofree char *layout = xml_transformer_process_and_clean_xml(transformer, text.c_str());
  // Whatever came in, GTK is handed valid UTF-8 and a complete document.
  if (layout == nullptr || !g_utf8_validate(layout, -1, nullptr) ||
      !g_str_has_suffix(layout, "</interface>\n"))
    abort();
  return 0;
}
