// Faults already known, left out of a fuzzer's findings: the environment
// variable FOURFIFTHS_FUZZ_KNOWN may hold pieces of fault lines separated by
// '|' (e.g. "a validity beyond|columns run together"); a fault line holding
// one of them does not end the run. For fuzzing past a fault that is being
// mended elsewhere; ./dev fuzz and CI never set it. (The study fuzzer also
// reads FOURFIFTHS_FUZZ_SKIP=counts: it then leaves out the counts no deck
// holds, whose faults end a run by a sanitizer report.)
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

#include "checks.h"

namespace fourfifths::fuzz {

inline bool all_known(const Faults& faults) {
  static const std::string known = [] {
    const char* k = std::getenv("FOURFIFTHS_FUZZ_KNOWN");
    return std::string(k != nullptr ? k : "");
  }();
  for (const std::string& f : faults) {
    bool is_known = false;
    for (std::string_view rest = known; !rest.empty() && !is_known;) {
      const std::size_t bar = rest.find('|');
      const std::string_view piece = rest.substr(0, bar);
      is_known = !piece.empty() && f.find(piece) != std::string::npos;
      rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
    }
    if (!is_known) return false;
  }
  return true;
}

}  // namespace fourfifths::fuzz
