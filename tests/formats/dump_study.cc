// Prints the library's own numbers for a deck, exactly, for the format tests
// to compare with what fourfifths-study writes: the composite statistics and
// then one line per row (kind, status, and sr and the row's values as C99
// hexadecimal floating-point, "nan" where a value does not exist); or the
// points of the deck's front, one line each (kind, values, weights).
// Usage: dump_study DECK [RATIO...]   (the ratios become sweep rows)
//        dump_study --front DECK SR POINTS nonnegative|free
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "fourfifths/deck.h"
#include "fourfifths/pareto.h"

namespace {

void put(double v) {
  if (std::isnan(v)) {
    std::printf(" nan");
  } else {
    std::printf(" %a", v);
  }
}

}  // namespace

fourfifths::DeckReading read(const char* path) {
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return fourfifths::read_deck(text);
}

int front(int argc, char** argv) {
  if (argc != 6) return 2;
  const fourfifths::DeckReading deck = read(argv[2]);
  if (!deck.ok()) return 1;
  const fourfifths::Front f = fourfifths::pareto_front(
      deck.problem, {.sr = std::strtod(argv[3], nullptr),
                     .points = std::atoi(argv[4]),
                     .nonnegative = std::string(argv[5]) == "nonnegative"});
  if (!f.messages.empty()) return 1;
  for (const fourfifths::FrontPoint& p : f.points) {
    std::printf("%s", fourfifths::name_of(p.kind));
    for (double v : {p.ai, p.validity, p.composite_d, p.cutoff, p.sra, p.sri, p.quality,
                     p.quality_majority, p.quality_minority})
      put(v);
    for (double w : p.weights) put(w);
    std::printf("\n");
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (std::string(argv[1]) == "--front") return front(argc, argv);
  const fourfifths::DeckReading deck = read(argv[1]);
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
