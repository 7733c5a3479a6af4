// End-to-end runs over the decks in tests/decks: each NAME.deck has its exact
// standard output in NAME.out, its standard error in NAME.err (empty when
// absent) and its ending in NAME.status ("0", "1" or "abort"; 0 when absent).
// Every deck runs through the fourfifths binary and in-process, through the
// same library calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "report/report.h"
#include "support/process.h"

namespace fourfifths {
namespace {

namespace fs = std::filesystem;
using testing::read_file;

struct Expected {
  std::string out;
  std::string err;
  std::string ending;  // "0", "1" or "abort"
};

std::string read_if_present(const fs::path& path) {
  return fs::exists(path) ? read_file(path.string()) : std::string();
}

Expected expected_for(const std::string& name) {
  const fs::path base = fs::path(FOURFIFTHS_DECK_DIR) / name;
  Expected e;
  e.out = read_file(base.string() + ".out");
  e.err = read_if_present(base.string() + ".err");
  e.ending = read_if_present(base.string() + ".status");
  while (!e.ending.empty() && (e.ending.back() == '\n' || e.ending.back() == ' '))
    e.ending.pop_back();
  if (e.ending.empty()) e.ending = "0";
  return e;
}

std::vector<std::string> deck_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(FOURFIFTHS_DECK_DIR))
    if (entry.path().extension() == ".deck") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class EndToEnd : public ::testing::TestWithParam<std::string> {};

TEST_P(EndToEnd, BinaryMatchesExpectedOutput) {
  const Expected e = expected_for(GetParam());
  const auto deck = (fs::path(FOURFIFTHS_DECK_DIR) / (GetParam() + ".deck")).string();
  const auto r = testing::spawn({.program = FOURFIFTHS_BINARY, .input_path = deck});
  EXPECT_EQ(r.out, e.out);
  EXPECT_EQ(r.err, e.err);
  if (e.ending == "abort") {
    EXPECT_FALSE(r.exited);
    EXPECT_EQ(r.signal, SIGABRT);
  } else {
    EXPECT_TRUE(r.exited);
    EXPECT_EQ(std::to_string(r.status), e.ending);
  }
}

TEST_P(EndToEnd, InProcessMatchesExpectedOutput) {
  const Expected e = expected_for(GetParam());
  const auto deck = (fs::path(FOURFIFTHS_DECK_DIR) / (GetParam() + ".deck")).string();
  const ClassicOutcome r = run_classic(read_file(deck));
  EXPECT_EQ(r.out, e.out);
  EXPECT_EQ(r.err, e.err);
  EXPECT_EQ(r.aborted, e.ending == "abort");
}

INSTANTIATE_TEST_SUITE_P(Decks, EndToEnd, ::testing::ValuesIn(deck_names()), [](const auto& info) {
  std::string n = info.param;
  std::replace(n.begin(), n.end(), '-', '_');
  return n;
});

// The program takes no arguments: any given change nothing.
TEST(EndToEndArguments, AreIgnored) {
  const auto deck = (fs::path(FOURFIFTHS_DECK_DIR) / "worked.deck").string();
  const auto plain = testing::spawn({.program = FOURFIFTHS_BINARY, .input_path = deck});
  const auto with_args = testing::spawn(
      {.program = FOURFIFTHS_BINARY, .args = {"-h", "--version", "x"}, .input_path = deck});
  EXPECT_EQ(with_args.out, plain.out);
  EXPECT_EQ(with_args.err, plain.err);
  EXPECT_TRUE(with_args.exited);
  EXPECT_EQ(with_args.status, 0);
}

}  // namespace
}  // namespace fourfifths
