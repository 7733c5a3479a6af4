// libFuzzer entry: arbitrary bytes as a problem deck, one whole in-process
// run of the classic program each. A run may end in exactly two ways:
// normally with status 0 and nothing on standard error (a report, or a deck's
// validation messages), or, for a deck that cannot be read, with its
// diagnostic on standard error and the abnormal end (check_deck in checks.h).
// Anything else (a crash, a sanitizer report, a hang, another ending) is a
// finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "checks.h"
#include "known.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto faults = fourfifths::fuzz::check_deck({reinterpret_cast<const char*>(data), size});
  if (fourfifths::fuzz::all_known(faults)) return 0;
  for (const std::string& f : faults) std::fprintf(stderr, "deck fuzzer: %s\n", f.c_str());
  std::abort();
}
