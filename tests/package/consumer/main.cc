// Reads a deck, analyses it and prints the four-fifths boundary and the first
// lines of the classic report; then the deck as a study file of two groups,
// read back and analysed, and its pool's boundary: every public header in use.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <fourfifths/deck.h>
#include <fourfifths/groups.h>
#include <fourfifths/report.h>
#include <fourfifths/study.h>
#include <fourfifths/studyfile.h>

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
  fourfifths::StudyFile file;
  std::string error;
  if (!fourfifths::study_file_of(deck.problem, file, error)) return 1;
  const fourfifths::StudyFileReading back =
      fourfifths::read_study_file(fourfifths::write_study_toml(file), "worked.toml");
  if (back.error) return 1;
  const fourfifths::GroupStudy groups = fourfifths::analyse(back.study.problem);
  std::printf("pool boundary %.3f\n", groups.pool_boundary.sr);
  return 0;
}
