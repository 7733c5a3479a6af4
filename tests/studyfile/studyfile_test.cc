// Study files: every deck of the tests converted to TOML and to JSON reads
// back as the same problem; the two matrix forms agree; the annotated example
// reads and analyses; and each kind of fault is named with its file, line,
// column and key.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fourfifths/deck.h"
#include "fourfifths/studyfile.h"

namespace fourfifths {
namespace {

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void expect_same_problem(const Problem& a, const Problem& b, const std::string& what) {
  EXPECT_EQ(a.predictors, b.predictors) << what;
  EXPECT_EQ(a.criteria, b.criteria) << what;
  EXPECT_EQ(a.basis, b.basis) << what;
  if (a.basis == Basis::overall) {
    EXPECT_EQ(a.applicant_ratio, b.applicant_ratio) << what;
  }
  EXPECT_EQ(a.regression_weights, b.regression_weights) << what;
  EXPECT_EQ(a.quality, b.quality) << what;
  if (!a.regression_weights) {
    EXPECT_EQ(a.predictor_weights, b.predictor_weights) << what;
  }
  EXPECT_EQ(a.criterion_weights, b.criterion_weights) << what;
  EXPECT_EQ(a.correlations, b.correlations) << what;
  EXPECT_EQ(a.predictor_effects, b.predictor_effects) << what;
  EXPECT_EQ(a.criterion_effects, b.criterion_effects) << what;
  EXPECT_EQ(a.requested_ratios, b.requested_ratios) << what;
}

// Every deck that reads, as a study file in either form, reads back as the
// same problem, and neither form is taken for a deck.
TEST(StudyFile, DecksRoundTrip) {
  int converted = 0;
  for (const auto& entry : std::filesystem::directory_iterator(FOURFIFTHS_DECK_DIR)) {
    if (entry.path().extension() != ".deck") continue;
    const std::string text = slurp(entry.path());
    EXPECT_FALSE(is_study_file(text)) << entry.path();
    const DeckReading deck = read_deck(text);
    if (!deck.ok()) continue;
    StudyFile study;
    std::string error;
    if (!study_file_of(deck.problem, study, error)) {
      EXPECT_NE(error.find("not a finite number"), std::string::npos) << entry.path() << error;
      continue;
    }
    ++converted;
    for (const std::string& form :
         {write_study_toml(study, "converted from a deck"), write_study_json(study)}) {
      EXPECT_TRUE(is_study_file(form));
      const StudyFileReading back = read_study_file(form, "converted");
      ASSERT_FALSE(back.error) << entry.path() << ": " << back.error->describe() << "\n" << form;
      expect_same_problem(as_problem(back.study.problem), deck.problem, entry.path().string());
      EXPECT_EQ(back.study.problem.groups[0].name, "majority");
    }
  }
  EXPECT_GT(converted, 20);
}

// An asymmetric deck matrix has no study file: the message says why.
TEST(StudyFile, AsymmetricDeckIsRefused) {
  Problem p;
  p.predictors = 2;
  p.predictor_weights = {1, 1};
  p.correlations = {1, 0.3, 0.4, 1};
  p.predictor_effects = {-1, 0};
  StudyFile study;
  std::string error;
  EXPECT_FALSE(study_file_of(p, study, error));
  EXPECT_EQ(
      error,
      "the correlation matrix is not symmetric (row 2, column 1 differs from row 1, column 2): "
      "a study file holds one symmetric matrix");
}

const char* const minimal = R"(predictors = ["a", "b"]
criteria = ["y"]
correlations = [[1], [0.3, 1], [0.5, 0.4, 1]]
[weights]
predictors = { a = 1, b = 0.5 }
criteria = { y = 1 }
[[groups]]
name = "ref"
share = 4
[[groups]]
name = "other"
share = 1
effects = { a = -1, b = -0.2, y = -0.5 }
)";

// The annotated example reads, and the full matrix equals the lower triangle.
TEST(StudyFile, ExampleAndMatrixForms) {
  const StudyFileReading example =
      read_study_file(slurp(FOURFIFTHS_SOURCE_DIR "/examples/groups.toml"), "groups.toml");
  ASSERT_FALSE(example.error) << example.error->describe();
  const GroupProblem& p = example.study.problem;
  ASSERT_EQ(p.groups.size(), 4u);
  EXPECT_EQ(p.groups[3].name, "Asian");
  EXPECT_EQ(p.groups[1].criterion_effects, std::vector<double>{-0.38});
  EXPECT_EQ(example.study.sweep, "0.02:0.98:0.02");
  EXPECT_FALSE(analyse(p).rejected());

  std::string full = minimal;
  full.replace(full.find("[[1], [0.3, 1], [0.5, 0.4, 1]]"), 30,
               "[[1, 0.3, 0.5], [0.3, 1, 0.4], [0.5, 0.4, 1]]");
  const StudyFileReading a = read_study_file(minimal, "a.toml");
  const StudyFileReading b = read_study_file(full, "b.toml");
  ASSERT_FALSE(a.error);
  ASSERT_FALSE(b.error) << b.error->describe();
  EXPECT_EQ(a.study.problem.correlations, b.study.problem.correlations);
  EXPECT_EQ(a.study.problem.correlations,
            (std::vector<double>{1, 0.3, 0.5, 0.3, 1, 0.4, 0.5, 0.4, 1}));
  EXPECT_EQ(as_problem(a.study.problem).applicant_ratio, 4.0);
}

// Each fault: the text changed, and the whole message.
TEST(StudyFile, Faults) {
  struct Case {
    std::string from;  // replaced in the minimal file (empty: appended)
    std::string to;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"share = 4", "share = 4\nshar = 5",
       "f.toml:10:1: key 'groups[1].shar': unknown key (expected one of: name, share, count, "
       "effects)"},
      {"b = -0.2, ", "", "f.toml:13:11: key 'groups[2].effects.b': missing"},
      {"y = -0.5", "y = -0.5, z = 1", "f.toml:13:41: key 'groups[2].effects.z': no such variable"},
      {"[0.3, 1]", "[0.3, 1, 2]",
       "f.toml:3:22: key 'correlations[2]': expected 2 values (the lower triangle, up to the "
       "diagonal), got 3"},
      {"[[1], [0.3, 1], [0.5, 0.4, 1]]", "[[1, 0.3, 0.5], [0.35, 1, 0.4], [0.5, 0.4, 1]]",
       "f.toml:3:21: key 'correlations[1][2]': differs from the entry at row 2, column 1: the "
       "matrix must be symmetric"},
      {"name = \"other\"", "name = \"ref\"",
       "f.toml:11:8: key 'groups[2].name': \"ref\" names two groups"},
      {"share = 1\n", "share = 0\n",
       "f.toml:12:9: key 'groups[2].share': must be positive: a group without applicants has no "
       "selection ratio"},
      {"share = 1\n", "share = 1\ncount = 2\n",
       "f.toml:13:9: key 'groups[2].count': give the group's share or its count, not both"},
      {"criteria = { y = 1 }\n", "", "f.toml:4:1: key 'weights.criteria': missing"},
      {"predictors = { a = 1, b = 0.5 }", "predictors = \"regresion\"",
       "f.toml:5:14: key 'weights.predictors': expected one of \"regression\", \"front\", not "
       "\"regresion\""},
      {"criteria = [\"y\"]", "criteria = [\"a\"]",
       "f.toml:2:13: key 'criteria[1]': \"a\" names two variables: every predictor and criterion "
       "needs its own name"},
      {"", "[selection]\nbasis = \"majority\"\n",
       "f.toml:15:9: key 'selection.basis': expected one of \"overall\", \"reference\", not "
       "\"majority\""},
      {"", "[selection]\nratios = [0.1, \"x\"]\n",
       "f.toml:15:16: key 'selection.ratios[2]': expected a number"},
      {"share = 4\n", "share = 4\neffects = { a = 0.1, b = 0, y = 0 }\n",
       "f.toml:10:11: key 'groups[1].effects': the reference group's effect sizes must be zero: "
       "every group's are differences from it"},
      {"[0.3, 1]", "[0.3, }",
       "f.toml:3:28: not TOML: Error while parsing value: could not determine value type"},
      {"correlations = [", "correlations = [[",
       "f.toml:4:1: not TOML: Error while parsing array: expected comma or closing ']', saw '['"},
  };
  for (const Case& c : cases) {
    std::string text = minimal;
    if (c.from.empty())
      text += c.to;
    else
      text.replace(text.find(c.from), c.from.size(), c.to);
    const StudyFileReading r = read_study_file(text, "f.toml");
    ASSERT_TRUE(r.error) << c.message;
    EXPECT_EQ(r.error->describe(), c.message);
  }
}

// Stages: the example reads and analyses, writes to TOML and JSON and reads
// back the same, and each fault of a stage is named with its position.
TEST(StudyFile, Stages) {
  const StudyFileReading example =
      read_study_file(slurp(FOURFIFTHS_SOURCE_DIR "/examples/stages.toml"), "stages.toml");
  ASSERT_FALSE(example.error) << example.error->describe();
  const StudyFile& s = example.study;
  ASSERT_EQ(s.stages.size(), 3u);
  EXPECT_EQ(s.stages[0].name, "online screen");
  EXPECT_EQ(s.stages[0].weights, (std::vector<double>{1.0, 0.5, 0.0}));
  EXPECT_EQ(s.stages[1].rule, PassRule::entrants);
  EXPECT_EQ(s.stages[2].rule, PassRule::cumulative);
  EXPECT_EQ(s.stages[2].value, 0.1);
  EXPECT_EQ(s.stage_minimum, 0.01);
  EXPECT_EQ(s.problem.predictor_weights, s.stages[2].weights);
  EXPECT_FALSE(analyse(staged_problem(s)).rejected());
  for (const std::string& text : {write_study_toml(s), write_study_json(s)}) {
    const StudyFileReading back = read_study_file(text, "back");
    ASSERT_FALSE(back.error) << back.error->describe();
    ASSERT_EQ(back.study.stages.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(back.study.stages[i].name, s.stages[i].name);
      EXPECT_EQ(back.study.stages[i].weights, s.stages[i].weights);
      EXPECT_EQ(back.study.stages[i].rule, s.stages[i].rule);
      EXPECT_EQ(back.study.stages[i].value, s.stages[i].value);
    }
    EXPECT_EQ(back.study.stage_minimum, 0.01);
  }

  // The stage opens on line 14, after the 13 lines of the minimal file.
  const std::string staged = std::string(minimal) +
                             "[[stages]]\nname = \"screen\"\nweights = { a = 1 }\nentrants = 0.5\n";
  struct Case {
    std::string from, to, message;
  };
  const std::vector<Case> cases = {
      {"entrants = 0.5", "entrants = 1.5",
       "f.toml:17:12: key 'stages[1].entrants': expected a share in (0, 1]"},
      {"entrants = 0.5", "entrants = 0.5\ncutoff = 1",
       "f.toml:18:10: key 'stages[1].cutoff': give one pass rule: entrants, still_in or cutoff"},
      {"entrants = 0.5", "",
       "f.toml:14:1: key 'stages[1].entrants': missing: the pass rule (entrants: the share of the "
       "stage's entrants who pass; still_in: the share of all applicants still in after it; or "
       "cutoff)"},
      {"{ a = 1 }", "{ y = 1 }", "f.toml:16:13: key 'stages[1].weights.y': no such predictor"},
      {"{ a = 1 }", "{ }", "f.toml:16:11: key 'stages[1].weights': at least one predictor's weight"},
      {"entrants = 0.5", "entrants = 0.5\npass = 1",
       "f.toml:18:1: key 'stages[1].pass': unknown key (expected one of: name, weights, entrants, "
       "still_in, cutoff)"},
  };
  for (const Case& c : cases) {
    std::string text = staged;
    text.replace(text.find(c.from), c.from.size(), c.to);
    const StudyFileReading r = read_study_file(text, "f.toml");
    ASSERT_TRUE(r.error) << c.message;
    EXPECT_EQ(r.error->describe(), c.message);
  }
  std::string four = staged;
  for (const char* name : {"b", "c", "d"})
    four += "[[stages]]\nname = \"" + std::string(name) + "\"\nweights = { a = 1 }\ncutoff = 0\n";
  const StudyFileReading r = read_study_file(four, "f.toml");
  ASSERT_TRUE(r.error);
  EXPECT_EQ(r.error->describe(),
            "f.toml:26:1: key 'stages[4]': at most 3 stages: the probabilities of more are not "
            "computed exactly");
}

// JSON: the same structure reads to the same problem; its faults name the
// key (and, for a syntax error, the line and column).
TEST(StudyFile, Json) {
  const StudyFileReading toml = read_study_file(minimal, "f.toml");
  ASSERT_FALSE(toml.error);
  const std::string json = write_study_json(toml.study);
  const StudyFileReading back = read_study_file(json, "f.json");
  ASSERT_FALSE(back.error) << back.error->describe();
  expect_same_problem(as_problem(back.study.problem), as_problem(toml.study.problem), "json");

  std::string bad = json;
  bad.replace(bad.find("\"share\": 1.0"), 12, "\"share\": null");
  EXPECT_EQ(read_study_file(bad, "f.json").error->describe(),
            "f.json: key 'groups[2].share': null is not a value of a study file");
  bad = json;
  bad.replace(bad.find("\"share\": 1.0"), 12, "\"share\": -1");
  EXPECT_EQ(read_study_file(bad, "f.json").error->describe(),
            "f.json: key 'groups[2].share': must be positive: a group without applicants has no "
            "selection ratio");
  bad = json;
  bad.replace(bad.find("\"share\": 1.0"), 12, "\"share\": 1e999");
  EXPECT_EQ(read_study_file(bad, "f.json").error->describe().substr(0, 16), "f.json: not JSON");
  const StudyFileReading syntax = read_study_file("{\n  \"predictors\": [\"a\",]\n}", "s.json");
  ASSERT_TRUE(syntax.error);
  EXPECT_EQ(syntax.error->line, 2);
  EXPECT_NE(syntax.error->describe().find("s.json:2:"), std::string::npos)
      << syntax.error->describe();
}

// Every prefix of the example, in either form, and the example with any one
// byte replaced by a character that breaks or bends the syntax: each is read
// to a study or to a fault with a message, never a crash (the sanitizer build
// runs this too), and each study read can be analysed or is rejected.
TEST(StudyFile, DamagedFilesEndInAFaultOrAStudy) {
  const std::string toml = slurp(FOURFIFTHS_SOURCE_DIR "/examples/groups.toml");
  const StudyFileReading example = read_study_file(toml, "groups.toml");
  ASSERT_FALSE(example.error);
  const std::string json = write_study_json(example.study);
  int faults = 0;
  for (const std::string* text : {&toml, &json}) {
    std::vector<std::string> damaged;
    for (std::size_t n = 0; n < text->size(); n += 3) damaged.push_back(text->substr(0, n));
    for (std::size_t k = 0; k < text->size(); k += 7)
      for (char c : {'"', '[', '}', '=', '\n', '\xff'}) {
        std::string t = *text;
        t[k] = c;
        damaged.push_back(t);
      }
    for (const std::string& t : damaged) {
      const StudyFileReading r = read_study_file(t, "damaged");
      if (r.error) {
        ++faults;
        EXPECT_FALSE(r.error->message.empty());
        EXPECT_EQ(r.error->file, "damaged");
      } else {
        const GroupStudy s = analyse(r.study.problem);
        EXPECT_TRUE(s.rejected() || !s.rows.empty());
      }
    }
  }
  EXPECT_GT(faults, 500);
}

}  // namespace
}  // namespace fourfifths
