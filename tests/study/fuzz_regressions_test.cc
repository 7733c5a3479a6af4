// Every input the deck fuzzer ever turned up (kept in fuzz/regressions) runs
// in-process again: the run must end as a run of this program ends, either
// normally with status 0 and nothing on standard error, or with the
// diagnostic of an unreadable deck and the abnormal end; never a crash, a
// sanitizer report or a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "report/report.h"

namespace fourfifths::testing {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> regression_inputs() {
  std::vector<fs::path> paths;
  if (!fs::is_directory(FOURFIFTHS_FUZZ_REGRESSIONS)) return paths;
  for (const auto& entry : fs::directory_iterator(FOURFIFTHS_FUZZ_REGRESSIONS))
    if (entry.is_regular_file() && entry.path().filename() != "README")
      paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(FuzzRegressions, EveryFoundInputEndsAsARunEnds) {
  const auto inputs = regression_inputs();
  if (inputs.empty()) GTEST_SKIP() << "no fuzzer findings kept in " << FOURFIFTHS_FUZZ_REGRESSIONS;
  for (const fs::path& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    const std::string deck{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const ClassicOutcome run = run_classic(deck);
    if (run.aborted) {
      EXPECT_NE(run.err, "") << path.filename() << ": abnormal end without a diagnostic";
    } else {
      EXPECT_EQ(run.err, "") << path.filename();
    }
  }
}

}  // namespace
}  // namespace fourfifths::testing
