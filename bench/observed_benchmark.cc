// In-process cost of an observed-impact table of five groups: small counts,
// and large ones (1252 applicants in all, which the exact tests meet with a
// wide hypergeometric support).
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

}  // namespace

BENCHMARK(BM_FiveGroupsSmall);
BENCHMARK(BM_FiveGroupsLarge);
BENCHMARK_MAIN();
