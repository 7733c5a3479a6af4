// In-process cost of validity–adverse-impact fronts of 21 points at an
// overall selection ratio of 0.10 for the nine-predictor battery of the
// end-to-end decks (one criterion, one predictor without a group difference,
// so non-negative weights reach parity): non-negative weights, the same with
// every effect size negative (the front ends at one predictor alone), and
// free weights.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "fourfifths/deck.h"
#include "fourfifths/pareto.h"

namespace {

fourfifths::Problem nine_predictors() {
  std::ifstream in(FOURFIFTHS_NINE_PREDICTORS_DECK);
  std::stringstream text;
  text << in.rdbuf();
  const fourfifths::DeckReading deck = fourfifths::read_deck(text.str());
  if (!deck.ok() || deck.problem.predictors != 9) {
    std::fprintf(stderr, "cannot read %s\n", FOURFIFTHS_NINE_PREDICTORS_DECK);
    std::exit(2);
  }
  return deck.problem;
}

void run(benchmark::State& state, const fourfifths::Problem& problem, bool nonnegative) {
  const fourfifths::FrontOptions options{.sr = 0.10, .points = 21, .nonnegative = nonnegative};
  for (auto _ : state) {
    const fourfifths::Front front = fourfifths::pareto_front(problem, options);
    if (!front.messages.empty() || front.points.size() < 21) state.SkipWithError("no full front");
    benchmark::DoNotOptimize(front.points.data());
  }
}

void BM_NineNonNegative(benchmark::State& state) {
  run(state, nine_predictors(), true);
}

void BM_NineNonNegativeAllNegative(benchmark::State& state) {
  fourfifths::Problem problem = nine_predictors();
  for (double& d : problem.predictor_effects) d = d - 0.05;
  run(state, problem, true);
}

void BM_NineFree(benchmark::State& state) {
  run(state, nine_predictors(), false);
}

BENCHMARK(BM_NineNonNegative)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NineNonNegativeAllNegative)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NineFree)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
