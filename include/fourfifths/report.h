// fourfifths: the classic fixed-column report of a study.
#pragma once

#include <string>

#include "fourfifths/study.h"

namespace fourfifths {

// The report exactly as the classic program writes it for the same problem:
// the banner, the problem as given, the composite statistics, the
// four-fifths boundary and the tables of the built-in, boundary and requested
// ratios (sweep rows are not part of it). For a rejected problem, its
// messages, one line each.
std::string report(const Study& study);

}  // namespace fourfifths
