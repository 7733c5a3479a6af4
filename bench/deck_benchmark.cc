// In-process cost of whole runs, start-up excluded: the worked example deck
// (two predictors, one criterion, 24 table rows) and the large deck (ten
// variables, regression weights, 999 requested ratios, 1021 table rows).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "report/report.h"

namespace {

std::string read_deck(const char* path) {
  std::string text;
  if (std::FILE* f = std::fopen(path, "rb")) {
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) text.append(block, n);
    std::fclose(f);
  }
  if (text.empty()) {
    std::fprintf(stderr, "cannot read %s\n", path);
    std::exit(2);
  }
  return text;
}

void run(benchmark::State& state, const char* path) {
  const std::string deck = read_deck(path);
  std::size_t bytes = 0;
  for (auto _ : state) {
    const fourfifths::ClassicOutcome outcome = fourfifths::run_classic(deck);
    if (outcome.aborted) state.SkipWithError("the run did not end normally");
    bytes += outcome.out.size();
    benchmark::DoNotOptimize(outcome.out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_WorkedDeck(benchmark::State& state) {
  run(state, FOURFIFTHS_WORKED_DECK);
}
void BM_LargeDeck(benchmark::State& state) {
  run(state, FOURFIFTHS_LARGE_DECK);
}

BENCHMARK(BM_WorkedDeck)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LargeDeck)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
