// libFuzzer entry: arbitrary bytes as fourfifths-study's arguments, one per
// line, through the ratio-list parser and the whole program in-process; see
// check_options in checks.h for what must hold. A fault ends the run
// (std::abort) with the faults on standard error.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "checks.h"
#include "known.h"

// fourfifths-study's main(), compiled under this name.
int fourfifths_study_main(int argc, char** argv);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto faults = fourfifths::fuzz::check_options({reinterpret_cast<const char*>(data), size},
                                                      fourfifths_study_main);
  if (fourfifths::fuzz::all_known(faults)) return 0;
  for (const std::string& f : faults) std::fprintf(stderr, "options fuzzer: %s\n", f.c_str());
  std::abort();
}
