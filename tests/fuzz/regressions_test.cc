// Every input the fuzzers ever turned up (kept in fuzz/regressions, named
// after the fuzzer that found it: deck-*, study-*, options-*) runs again
// through the checks that fuzzer makes (fuzz/checks.h): no crash, no
// sanitizer report under ./dev sanitize, no failed check. And the checks
// themselves catch what they look for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "checks.h"

int fourfifths_study_main(int argc, char** argv);

namespace fourfifths::testing {
namespace {

namespace fs = std::filesystem;
using fuzz::Faults;

// The kept inputs of one fuzzer, by the prefix of their names.
std::vector<fs::path> regression_inputs(const std::string& prefix) {
  std::vector<fs::path> paths;
  for (const auto& entry : fs::directory_iterator(FOURFIFTHS_FUZZ_REGRESSIONS))
    if (entry.is_regular_file() && entry.path().filename().string().rfind(prefix, 0) == 0)
      paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string lines(const Faults& faults) {
  std::string text;
  for (const std::string& f : faults) text += "\n  " + f;
  return text;
}

struct Fuzzer {
  const char* prefix;
  Faults (*check)(std::string_view);
};

Faults check_options(std::string_view bytes) {
  return fuzz::check_options(bytes, fourfifths_study_main);
}

const Fuzzer fuzzers[] = {
    {"deck-", fuzz::check_deck},
    {"study-", fuzz::check_study},
    {"options-", check_options},
};

TEST(FuzzRegressions, EveryKeptInputPassesItsFuzzersChecks) {
  for (const Fuzzer& fuzzer : fuzzers)
    for (const fs::path& path : regression_inputs(fuzzer.prefix)) {
      const Faults faults = fuzzer.check(contents(path));
      EXPECT_TRUE(faults.empty()) << path.filename() << lines(faults);
    }
}

TEST(FuzzRegressions, EveryKeptInputNamesItsFuzzer) {
  for (const auto& entry : fs::directory_iterator(FOURFIFTHS_FUZZ_REGRESSIONS)) {
    const std::string name = entry.path().filename().string();
    if (name == "README") continue;
    EXPECT_TRUE(std::any_of(std::begin(fuzzers), std::end(fuzzers),
                            [&](const Fuzzer& f) { return name.rfind(f.prefix, 0) == 0; }))
        << name << ": not named deck-*, study-* or options-*: it would never be replayed";
  }
}

// The seeds of the fuzzers pass: the checks do not fault what is right.
TEST(FuzzChecks, PassTheExamplesAndTheProgramsOwnCommands) {
  for (const char* deck : {"worked.deck", "pareto.deck", "worked-majority.deck", "battery.deck"})
    EXPECT_TRUE(fuzz::check_study(contents(fs::path(FOURFIFTHS_FUZZ_REGRESSIONS) / ".." / ".." /
                                           "examples" / deck))
                    .empty())
        << deck;
  for (const auto& entry :
       fs::directory_iterator(fs::path(FOURFIFTHS_FUZZ_REGRESSIONS) / ".." / "seeds" / "options")) {
    const Faults faults = check_options(contents(entry.path()));
    EXPECT_TRUE(faults.empty()) << entry.path().filename() << lines(faults);
  }
}

TEST(FuzzChecks, CsvRecordsFaultWhatIsNotCsvOfOneWidth) {
  const struct {
    const char* text;
    std::size_t faults;
    std::size_t records;
  } cases[] = {
      {"a,b\n1,2\n", 0, 2},
      {"a,b\n\"1,5\",\"say \"\"x\"\"\"\n", 0, 2},  // quoted separators and quotes
      {"a,b\n,\n", 0, 2},                            // empty fields are fields
      {"a,b\n1\n", 1, 2},                            // a field short
      {"a,b\n1,2,3\n", 1, 2},                        // a field over
      {"a,b\n1,2", 1, 1},                            // no line feed at the end
      {"a,b\n\"1,2\n", 2, 1},                        // a quote never closed
      {"", 1, 0},                                    // no header
  };
  for (const auto& c : cases) {
    Faults faults;
    const auto records = fuzz::csv_records(c.text, faults, "csv");
    EXPECT_EQ(faults.size(), c.faults) << c.text << lines(faults);
    EXPECT_EQ(records.size(), c.records) << c.text;
  }
}

TEST(FuzzChecks, SvgFaultsNumbersThatAreNotAndUnfinishedDocuments) {
  const struct {
    const char* svg;
    bool ok;
  } cases[] = {
      {"<svg width=\"860\"><path d=\"M96 10.5L612 -3.25\"/></svg>\n", true},
      {"<svg><text x=\"1\">information: inf nan</text></svg>\n", true},  // words in text
      {"<svg data-x08=\"0.12345678901234\"><g fill=\"#e0007a\"/></svg>\n", true},
      {"<svg><line x1=\"nan\"/></svg>\n", false},
      {"<svg><path d=\"M1 2L-inf 3\"/></svg>\n", false},
      {"<svg><circle cx=\"NaN\"/></svg>\n", false},
      {"<svg><line x1=\"123456789012.5\"/></svg>\n", false},
      {"<svg><line x1=\"1\"/>\n", false},  // cut short
      {"", false},
  };
  for (const auto& c : cases) {
    Faults faults;
    fuzz::check_svg(c.svg, faults, "svg");
    EXPECT_EQ(faults.empty(), c.ok) << c.svg << lines(faults);
  }
}

}  // namespace
}  // namespace fourfifths::testing
