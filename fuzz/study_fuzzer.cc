// libFuzzer entry: arbitrary bytes as a deck through the library's paths
// (read_deck, write_deck, analyse with a sweep, the classic report, CSV, JSON,
// charts and both fronts); see check_study in checks.h for what must hold.
// A fault ends the run (std::abort) with the faults on standard error.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "checks.h"
#include "known.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto faults = fourfifths::fuzz::check_study({reinterpret_cast<const char*>(data), size});
  if (fourfifths::fuzz::all_known(faults)) return 0;
  for (const std::string& f : faults) std::fprintf(stderr, "study fuzzer: %s\n", f.c_str());
  std::abort();
}
