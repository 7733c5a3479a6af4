// Cost of one F7.3 field: the record writer's render_fixed against the two
// C++ library conversions that give the same digits, snprintf("%#.*f") and
// std::to_chars with a precision, over values like those of a report.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <random>
#include <vector>

#include "records/fields.h"

namespace {

// Selection ratios, adverse-impact ratios and standardised mean
// differences: uniform over [-3, 3], a fixed sequence.
const std::vector<double>& report_values() {
  static const std::vector<double> values = [] {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> uniform(-3, 3);
    std::vector<double> v(4096);
    for (double& x : v) x = uniform(rng);
    return v;
  }();
  return values;
}

void BM_RenderFixed(benchmark::State& state) {
  const std::vector<double>& values = report_values();
  char field[7];
  std::size_t k = 0;
  for (auto _ : state) {
    fourfifths::records::render_fixed(field, sizeof field, 3, values[k++ & 4095]);
    benchmark::DoNotOptimize(field);
  }
}

void BM_Snprintf(benchmark::State& state) {
  const std::vector<double>& values = report_values();
  char text[32];
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%#.*f", 3, values[k++ & 4095]));
    benchmark::DoNotOptimize(text);
  }
}

void BM_ToChars(benchmark::State& state) {
  const std::vector<double>& values = report_values();
  char text[32];
  std::size_t k = 0;
  for (auto _ : state) {
    const auto result =
        std::to_chars(text, text + sizeof text, values[k++ & 4095], std::chars_format::fixed, 3);
    benchmark::DoNotOptimize(result.ptr);
    benchmark::DoNotOptimize(text);
  }
}

BENCHMARK(BM_RenderFixed);
BENCHMARK(BM_Snprintf);
BENCHMARK(BM_ToChars);

}  // namespace

BENCHMARK_MAIN();
