// In-process cost of the several-group analyses on the nine-predictor battery
// of the end-to-end decks (nine predictors and one criterion): a study of five
// groups at the 21 built-in ratios, and the most valid weighting with every
// further group's AI at least 0.8 for three groups (joint pool, overall
// selection ratio 0.20, non-negative weights) and its front of 11 points.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fourfifths/deck.h"
#include "fourfifths/groupfront.h"
#include "fourfifths/groups.h"

namespace {

using namespace fourfifths;

// The battery's reference group and further groups whose effect sizes are
// the deck's scaled and shifted (illustrative sizes, as studies have them).
GroupProblem battery(int further) {
  std::ifstream in(FOURFIFTHS_NINE_PREDICTORS_DECK);
  std::stringstream text;
  text << in.rdbuf();
  const DeckReading deck = read_deck(text.str());
  if (!deck.ok() || deck.problem.predictors != 9) {
    std::fprintf(stderr, "cannot read %s\n", FOURFIFTHS_NINE_PREDICTORS_DECK);
    std::exit(2);
  }
  GroupProblem p = as_group_problem(deck.problem);
  p.regression_weights = false;
  p.predictor_weights.assign(9, 1.0);
  const Group minority = p.groups[1];
  p.groups.resize(1);
  p.groups[0].share = 60;
  const double scale[] = {1.0, 0.7, -0.1, 0.5};
  for (int g = 0; g < further; ++g) {
    Group group = minority;
    group.name = "group " + std::to_string(g + 1);
    group.share = 10;
    for (double& d : group.predictor_effects) d = d * scale[g] + 0.05 * g;
    for (double& d : group.criterion_effects) d *= scale[g];
    p.groups.push_back(group);
  }
  return p;
}

void BM_StudyFiveGroups(benchmark::State& state) {
  const GroupProblem p = battery(4);
  for (auto _ : state) {
    const GroupStudy study = analyse(p);
    if (study.rejected() || study.rows.size() < 21) state.SkipWithError("no study");
    benchmark::DoNotOptimize(study.rows.data());
  }
}

void BM_MeetingThreeGroups(benchmark::State& state) {
  const GroupProblem p = battery(2);
  for (auto _ : state) {
    const GroupTarget t = most_valid_meeting(p, {.sr = 0.2, .target = 0.8});
    if (!t.messages.empty()) state.SkipWithError(t.messages.front().c_str());
    benchmark::DoNotOptimize(t.best.validity);
  }
}

void BM_FrontThreeGroups(benchmark::State& state) {
  const GroupProblem p = battery(2);
  for (auto _ : state) {
    const GroupFront f = pareto_front(p, {.sr = 0.2, .points = 11});
    if (!f.messages.empty()) state.SkipWithError(f.messages.front().c_str());
    benchmark::DoNotOptimize(f.points.data());
  }
}

BENCHMARK(BM_StudyFiveGroups)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MeetingThreeGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrontThreeGroups)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
