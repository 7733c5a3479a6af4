// The session: each kind of input gets its analysis, only the renderings
// asked for are made, and each refusal is of the right class and points at
// the field concerned.
#include "session/session.h"

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace fourfifths {
namespace {

std::string example(const std::string& name) {
  std::ifstream in(std::string(FOURFIFTHS_SOURCE_DIR) + "/examples/" + name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The example with one line replaced (the first that starts with from).
std::string edited(const std::string& name, const std::string& from, const std::string& to) {
  std::string text = example(name);
  const std::size_t at = text.find("\n" + from) + 1;
  text.replace(at, text.find('\n', at) - at, to);
  return text;
}

TEST(Session, EachInputGetsItsAnalysisAndOnlyTheRenderingsAsked) {
  struct Case {
    const char* file;
    bool front;
    const char* kind;
  } cases[] = {{"worked.deck", false, "study"},   {"groups.toml", false, "groups"},
               {"stages.toml", false, "staged"},  {"pareto.deck", true, "front"},
               {"groups.toml", true, "group_front"}};
  for (const Case& c : cases) {
    const SessionInput input = read_input(example(c.file), c.file);
    ASSERT_TRUE(input.ok()) << c.file;
    FrontRequest front;
    front.options.points = 3;
    front.renderings = {.json = true, .csv = false, .chart = true};
    const SessionResult result =
        c.front ? run_front(input, front)
                : run_study(input, {.further_ratios = {}, .renderings = {.csv = true}, .words = {}});
    ASSERT_TRUE(result.ok()) << c.file << ": " << result.messages.front();
    EXPECT_EQ(result.kind, c.kind) << c.file;
    EXPECT_EQ(result.json.empty(), !c.front) << c.file;
    EXPECT_EQ(result.csv.empty(), c.front) << c.file;
    EXPECT_EQ(result.chart.find("</svg>") != std::string::npos, c.front) << c.file;
    // The text is made apart, from the analysis the answer carries.
    EXPECT_FALSE(session_text(result).empty()) << c.file;
  }
}

TEST(Session, RefusalsAreOfTheirClassAndPointAtTheField) {
  struct Case {
    const char* what;
    std::string text;
    bool front;
    Refusal refusal;
    const char* key;
    int line;
    const char* says;
  } cases[] = {
      {"a deck's bad count", "  2  1  1  0  1  x\n", false, Refusal::input, "", 1, "input: "},
      {"weights left to the front", edited("groups.toml", "predictors = {", "predictors = \"front\""),
       false, Refusal::input, "weights.predictors", 0, "see the front, or give weights"},
      {"a sweep that runs backwards", edited("groups.toml", "sweep =", "sweep = \"0.5:0.1:0.1\""), false,
       Refusal::input, "selection.sweep", 45, "TO is below FROM"},
      {"a staged study with ratios", edited("stages.toml", "[selection]", "[selection]\nratios = [0.2]"),
       false, Refusal::input, "", 0, "leave out the further ratios, selection.ratios"},
      {"a bad field of a study file", edited("groups.toml", "share = 15", "share = \"x\""), false,
       Refusal::input, "groups[2].share", 58, "groups[2].share"},
      {"the surface of three further groups", example("groups.toml"), true, Refusal::input, "groups", 0,
       "3 further groups: the surface takes exactly two"},
  };
  for (const Case& c : cases) {
    const SessionInput input = read_input(c.text, "input");
    FrontRequest front;
    front.surface = true;
    const SessionResult result =
        c.front ? run_front(input, front)
                : run_study(input, {.further_ratios = {}, .renderings = {.csv = true},
                                    .words = {.further_ratios = "the further ratios", .front = "see the front"}});
    ASSERT_FALSE(result.ok()) << c.what;
    EXPECT_EQ(result.refusal, c.refusal) << c.what;
    EXPECT_EQ(result.fault.key, c.key) << c.what;
    EXPECT_EQ(result.fault.line, c.line) << c.what;
    ASSERT_EQ(result.messages.size(), 1u) << c.what;
    EXPECT_NE(result.messages[0].find(c.says), std::string::npos) << c.what << ": " << result.messages[0];
    EXPECT_TRUE(result.csv.empty()) << c.what;  // nothing computed from a refused problem
  }
}

TEST(Session, OptionsTheAnalysisCannotTakeAreUsageErrors) {
  const SessionInput deck = read_input(example("worked.deck"), "worked.deck");
  const SessionInput groups = read_input(example("groups.toml"), "groups.toml");
  FrontRequest target;
  target.target_given = true;
  FrontRequest sample;
  sample.options.sample_size = 100;
  for (const auto& [input, request] : {std::pair{&deck, target}, std::pair{&groups, sample}}) {
    const SessionResult result = run_front(*input, request);
    EXPECT_EQ(result.refusal, Refusal::usage) << input->name;
  }
}

TEST(Session, ConversionsReadBackToTheSameProblem) {
  const SessionInput deck = read_input(example("worked.deck"), "worked.deck");
  const SessionResult toml = convert(deck, Conversion::toml, "from worked.deck");
  ASSERT_TRUE(toml.ok());
  EXPECT_EQ(toml.text.rfind("# from worked.deck", 0), 0u);
  const SessionResult back = convert(read_input(toml.text, "worked.toml"), Conversion::deck, "");
  ASSERT_TRUE(back.ok()) << back.messages.front();
  EXPECT_EQ(convert(read_input(back.text, "again.deck"), Conversion::json, "").text,
            convert(deck, Conversion::json, "").text);
  const SessionResult staged = convert(read_input(example("stages.toml"), "stages.toml"), Conversion::deck, "");
  EXPECT_EQ(staged.refusal, Refusal::input);
}

}  // namespace
}  // namespace fourfifths
