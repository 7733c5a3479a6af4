// In-process cost of staged studies at the 21 overall selection ratios of
// the classic report's built-in rows (0.01, 0.05 to 0.95 in steps of 0.05,
// and a ratio just short of 1), each the last stage's share still in: one
// iteration is the 21 analyses of a design, each with its single stage
// beside it. The problem is examples/stages.toml's (three predictors, one
// criterion, three groups); two stages are its screen and its interview,
// three its screen, test and interview. Every stage but the last passes the
// same share of its entrants, the k-th root of the overall ratio, so that
// each design is valid at every ratio.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fourfifths/stages.h"
#include "fourfifths/studyfile.h"
#include "study/study.h"

namespace {

fourfifths::StagedProblem example() {
  std::ifstream in(FOURFIFTHS_STAGES_EXAMPLE);
  std::stringstream text;
  text << in.rdbuf();
  const fourfifths::StudyFileReading reading = fourfifths::read_study_file(text.str(), "stages.toml");
  if (reading.error || reading.study.stages.size() != 3) {
    std::fprintf(stderr, "cannot read %s\n", FOURFIFTHS_STAGES_EXAMPLE);
    std::exit(2);
  }
  fourfifths::StagedProblem problem = fourfifths::staged_problem(reading.study);
  problem.minimum = 0;
  return problem;
}

void run(benchmark::State& state, int stages) {
  fourfifths::StagedProblem problem = example();
  if (stages == 2) problem.stages.erase(problem.stages.begin() + 1);
  for (auto _ : state) {
    for (double sr : fourfifths::sr1) {
      const double each = std::pow(sr, 1.0 / stages);
      for (std::size_t s = 0; s + 1 < problem.stages.size(); ++s) {
        problem.stages[s].rule = fourfifths::PassRule::entrants;
        problem.stages[s].value = each;
      }
      problem.stages.back().rule = fourfifths::PassRule::cumulative;
      problem.stages.back().value = sr;
      const fourfifths::StagedStudy study = fourfifths::analyse(problem);
      if (study.rejected()) state.SkipWithError(study.messages[0].c_str());
      benchmark::DoNotOptimize(study.staged.quality_all);
    }
  }
}

void BM_TwoStages21Ratios(benchmark::State& state) {
  run(state, 2);
}

void BM_ThreeStages21Ratios(benchmark::State& state) {
  run(state, 3);
}

BENCHMARK(BM_TwoStages21Ratios)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThreeStages21Ratios)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
