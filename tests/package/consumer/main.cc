// Reads a deck, analyses it and prints the four-fifths boundary and the first
// lines of the classic report: every public header in use.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <fourfifths/deck.h>
#include <fourfifths/report.h>
#include <fourfifths/study.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::ifstream in(argv[1]);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const fourfifths::DeckReading deck = fourfifths::read_deck(text);
  if (!deck.ok()) return 1;
  const fourfifths::Study study = fourfifths::analyse(deck.problem);
  std::printf("boundary %.3f\n", study.boundary.sr);
  const std::string report = fourfifths::report(study);
  std::fwrite(report.data(), 1, report.size(), stdout);
  return 0;
}
