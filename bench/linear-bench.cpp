// Checks that no input makes the text pipeline super-linear: each family of hostile inputs
// is transformed at sizes n, 2n, 4n and 8n, and the time per input byte is compared.
// Input commands are answered by a stand-in, so the figures are the pipeline's alone.

#include "preprocess/cleaning.h"
#include "transform/xml_transformer.h"

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string repeat(const std::string &piece, size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (size_t i = 0; i < times; i++)
    out += piece;
  return out;
}

struct Family {
  const char *name;
  std::function<std::string(size_t)> make; // an input of about n units
};

const Family kFamilies[] = {
    {"typical dialog",
     [](size_t n) {
       return "<window><vbox>" +
              repeat("<entry variable=\"E\"><action>echo a</action></entry><text><label>x & y"
                     "</label></text><list variable=\"L\"><item>a</item></list>",
                     n) +
              "</vbox></window>";
     }},
    {"windows with two children",
     [](size_t n) { return repeat("<window><entry></entry><entry></entry></window>", n); }},
    {"unclosed action tags", [](size_t n) { return repeat("<action x", n); }},
    {"unclosed input elements", [](size_t n) { return repeat("<input>echo a ", n); }},
    {"input elements", [](size_t n) { return repeat("<list><input>x</input></list>", n); }},
    {"one long line of tags", [](size_t n) { return "<text>" + repeat("a<b", n); }},
    {"unterminated attributes", [](size_t n) { return "<entry " + repeat("id=\"variable=\"", n); }},
    {"frames without end", [](size_t n) { return repeat("<frame a b c ", n); }},
    {"ampersands", [](size_t n) { return repeat("&&#;&#x&amp;&", n); }},
    {"label lines", [](size_t n) { return "<window><text><label>" + repeat("line\n", n); }},
    {"deep nesting", [](size_t n) { return repeat("<vbox>", n) + repeat("</vbox>", n); }},
    {"closing tags", [](size_t n) { return "<window>" + repeat("</vbox></item>", n); }},
};

std::string stand_in(const std::string &command) {
  return command + "\n";
}

double transform_ms(const std::string &program) {
  std::vector<double> runs;
  for (int i = 0; i < 7; i++) {
    g_autoptr(XmlTransformer) transformer = xml_transformer_new();
    quillet::preprocess::set_command_runner(xml_transformer_get_preprocessor(transformer),
                                            stand_in);
    const gint64 start = g_get_monotonic_time();
    g_autofree char *layout = xml_transformer_process_and_clean_xml(transformer, program.c_str());
    runs.push_back((g_get_monotonic_time() - start) / 1000.0);
  }
  std::sort(runs.begin(), runs.end());
  return runs.front(); // the least disturbed run
}

} // namespace

int main() {
  // Keep freed memory in the process, and fill it once with the largest input of a family
  // before measuring: otherwise the larger sizes also pay the kernel for fresh pages, which
  // the smaller ones reuse, and that is the machine's cost, not the pipeline's.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  constexpr size_t kBase = 4000;
  printf("%-28s %10s %10s %10s %10s  %s\n", "input family", "n ms", "2n ms", "4n ms", "8n ms",
         "8n / (8 x n)");
  double worst = 0;
  for (const Family &family : kFamilies) {
    transform_ms(family.make(kBase << 3));
    double ms[4];
    double per_byte[4];
    for (int k = 0; k < 4; k++) {
      const std::string program = family.make(kBase << k);
      ms[k] = transform_ms(program);
      per_byte[k] = ms[k] / program.size();
    }
    const double ratio = per_byte[3] / per_byte[0];
    worst = std::max(worst, ratio);
    printf("%-28s %10.2f %10.2f %10.2f %10.2f  %.2f\n", family.name, ms[0], ms[1], ms[2], ms[3],
           ratio);
  }
  printf("\nworst time per byte at 8n against n: %.2f (linear is 1.00; target within 1.2)\n",
         worst);
  return 0;
}
