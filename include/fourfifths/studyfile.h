// fourfifths: study files, the form of a problem of several groups that a
// researcher writes by hand (TOML) or a program writes (the same structure as
// JSON). doc/fourfifths-study.1 and examples/groups.toml describe every key:
//
//   predictors = ["test", "interview"]      # names, in the matrix's order
//   criteria = ["performance"]
//   correlations = [[1.0], [0.3, 1.0], [0.5, 0.4, 1.0]]   # lower triangle or full
//   [weights]
//   predictors = { test = 1.0, interview = 0.5 }   # or "regression", or "front"
//   criteria = { performance = 1.0 }
//   [selection]
//   basis = "overall"  pool = "joint"  quality = "criterion"
//   ratios = [0.15, 0.30]  sweep = "0.01:0.99:0.01"
//   [[groups]]  name = "majority"  share = 60         # the reference group first
//   [[groups]]  name = "minority"  share = 15  effects = { test = -1.0, ... }
//   [[stages]]  name = "screen"  weights = { test = 1.0 }  entrants = 0.5   # staged selection
//   [[stages]]  name = "interview"  weights = { test = 0.3, interview = 1.0 }  still_in = 0.1
//
// One schema, one reader (TOML, or JSON turned into the same tree), one
// writer for each form.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fourfifths/groups.h"
#include "fourfifths/stages.h"

namespace fourfifths {

// Where the predictor weights come from.
enum class WeightSource {
  given,       // the file gives them
  regression,  // regression of the criterion composite on the predictors
  front,       // left to the validity-adverse-impact front: no study can be analysed
};

// A study file as read.
struct StudyFile {
  GroupProblem problem;  // regression_weights set for WeightSource::regression
  WeightSource weights = WeightSource::given;
  // Further selection ratios in the syntax of fourfifths-study --ratios
  // (numbers and ranges FROM:TO:STEP, comma-separated), as written; the list
  // of the file joined with commas. Expanded by the program that runs the
  // study; sweep_line and sweep_column locate it for its messages.
  std::string sweep;
  int sweep_line = 0;
  int sweep_column = 0;
  // A staged design (examples/stages.toml): the stages in order, each with its
  // weights (predictors not named weigh 0) and pass rule; empty for a study of
  // one stage. With stages, weights.predictors may be left out: the problem's
  // predictor weights are then the last stage's.
  std::vector<Stage> stages;
  double stage_minimum = 0;  // selection.minimum: the share every stage must leave
};

// Where and why a study file cannot be read. Line and column count from 1;
// 0 when not known (semantic faults of a JSON file, which carries no
// positions once parsed).
struct StudyFileError {
  std::string file;
  int line = 0;
  int column = 0;
  std::string key;  // the key concerned, e.g. "groups[2].effects.test" (groups counted from 1)
  std::string message;

  // "file:line:column: key: message", the parts that are known.
  std::string describe() const;
};

struct StudyFileReading {
  StudyFile study;
  std::optional<StudyFileError> error;
};

// Reads a study file held in memory: JSON when its first character other
// than white space is "{", TOML otherwise. file names it in messages.
StudyFileReading read_study_file(std::string_view text, std::string_view file);

// Whether a text is a study file rather than a problem deck: its first
// character other than white space is "#", "[", "{", a quotation mark or a
// letter (a deck's first record starts with a digit, a sign, a point or a
// blank field).
bool is_study_file(std::string_view text);

// The study as TOML with a comment on every section, or as JSON; numbers in
// the shortest form that reads back to the same double. The correlation
// matrix is written as its lower triangle. comment, when given, opens the
// TOML file as comment lines.
std::string write_study_toml(const StudyFile& study, std::string_view comment = {});
std::string write_study_json(const StudyFile& study);

// A two-group problem (a deck) as a study file; false with a message when the
// problem cannot be one: a correlation matrix that is not symmetric (a study
// file holds one symmetric matrix) or lists that do not match the counts.
bool study_file_of(const Problem& problem, StudyFile& study, std::string& error);

// The staged design of a study file that has stages.
StagedProblem staged_problem(const StudyFile& study);

const char* name_of(WeightSource source);

}  // namespace fourfifths
