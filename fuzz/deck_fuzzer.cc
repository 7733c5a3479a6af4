// libFuzzer entry: arbitrary bytes as a problem deck, one whole in-process
// run each. A run of this program may end in exactly two ways: normally with
// status 0 and nothing on standard error (a report, or a deck's validation
// messages), or, for a deck that cannot be read, with its diagnostic on
// standard error and the abnormal end. Anything else (a crash, a sanitizer
// report, a hang, another ending) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "report/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view deck(reinterpret_cast<const char*>(data), size);
  const fourfifths::ClassicOutcome run = fourfifths::run_classic(deck);
  if (run.aborted ? run.err.empty() : !run.err.empty()) std::abort();
  return 0;
}
