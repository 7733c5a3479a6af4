// In-process cost of an observed-impact table of five groups: small counts,
// and large ones (1252 applicants in all, which the exact tests meet with a
// wide hypergeometric support); and the exact distribution over samples of a
// plan of two groups of 100 applicants and of four groups of 200.
#include <benchmark/benchmark.h>

#include <vector>

#include "fourfifths/observed.h"

namespace {

void run(benchmark::State& state, const std::vector<fourfifths::ObservedGroup>& groups) {
  for (auto _ : state) {
    const fourfifths::ObservedImpact impact = fourfifths::observed_impact(groups);
    if (!impact.messages.empty() || impact.rows.size() != groups.size())
      state.SkipWithError("no table");
    benchmark::DoNotOptimize(impact.rows.data());
  }
}

void BM_FiveGroupsSmall(benchmark::State& state) {
  run(state, {{"A", 40, 20}, {"B", 25, 9}, {"C", 12, 3}, {"D", 8, 2}, {"E", 15, 6}});
}

void BM_FiveGroupsLarge(benchmark::State& state) {
  run(state, {{"A", 520, 260}, {"B", 310, 120}, {"C", 202, 70}, {"D", 120, 33}, {"E", 100, 41}});
}

void BM_PlanTwoGroups100(benchmark::State& state) {
  for (auto _ : state) {
    const fourfifths::SampleDistribution d = fourfifths::sample_distribution({60, 40, 0.3, 0.22, 0.05});
    if (!d.messages.empty()) state.SkipWithError("refused");
    benchmark::DoNotOptimize(d.p_violation);
  }
}

void BM_PlanFourGroups200(benchmark::State& state) {
  const fourfifths::MultiPlan plan{{{"W", 80, 0.30}, {"B", 50, 0.22}, {"H", 40, 0.26}, {"A", 30, 0.31}}, 0.05};
  for (auto _ : state) {
    const fourfifths::MultiDistribution d = fourfifths::multi_sample_distribution(plan);
    if (!d.messages.empty()) state.SkipWithError("refused");
    benchmark::DoNotOptimize(d.any.p_violation);
  }
}

}  // namespace

BENCHMARK(BM_FiveGroupsSmall);
BENCHMARK(BM_FiveGroupsLarge);
BENCHMARK(BM_PlanTwoGroups100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlanFourGroups200)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
