// Prints the library's own numbers for a deck, exactly, for the format tests
// to compare with what fourfifths-study writes: the composite statistics and
// then one line per row (kind, status, and sr and the row's values as C99
// hexadecimal floating-point, "nan" where a value does not exist).
// Usage: dump_study DECK [RATIO...]   (the ratios become sweep rows)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "fourfifths/deck.h"

namespace {

void put(double v) {
  if (std::isnan(v)) {
    std::printf(" nan");
  } else {
    std::printf(" %a", v);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const fourfifths::DeckReading deck = fourfifths::read_deck(text);
  if (!deck.ok()) return 1;
  fourfifths::StudyOptions options;
  for (int k = 2; k < argc; ++k) options.sweep.push_back(std::strtod(argv[k], nullptr));
  const fourfifths::Study s = fourfifths::analyse(deck.problem, options);
  if (s.rejected()) return 1;
  const fourfifths::Composites& c = s.composites;
  std::printf("composites");
  for (double v : {c.sxx, c.syy, c.sxy, c.rxy, c.dx, c.dy}) put(v);
  std::printf("\n");
  for (const fourfifths::Row& r : s.rows) {
    std::printf("%s %s", fourfifths::name_of(r.kind), fourfifths::name_of(r.status));
    for (double v : {r.sr, r.cutoff, r.sra, r.sri, r.ai, r.m, r.ma, r.mi, r.dif, r.sm, r.sma, r.smi,
                     r.sdif})
      put(v);
    std::printf("\n");
  }
  return 0;
}
