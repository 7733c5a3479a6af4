// check_rows: the rows of a study whose values the model defines but that are
// not finite numbers.
//
//   std::vector<std::string> check_rows(const Study& study);
//
// A row that is ok defines its cut-off, both groups' selection ratios, the
// adverse-impact ratio and MA; MI and DIF when a minority applicant is
// selected; in the overall basis also M, SM and SMA, and SMI and SDIF when a
// minority applicant is selected.
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "fourfifths/study.h"

namespace fourfifths {

std::vector<std::string> check_rows(const Study& study) {
  std::vector<std::string> messages;
  const bool overall = study.problem.basis == Basis::overall;
  for (const Row& row : study.rows) {
    if (row.status != RowStatus::ok) continue;
    bool finite = true;
    auto require = [&](std::initializer_list<double> values) {
      for (double v : values) finite = finite && std::isfinite(v);
    };
    require({row.cutoff, row.sra, row.sri, row.ai, row.ma});
    if (row.sri != 0) require({row.mi, row.dif});
    if (overall) require({row.m, row.sm, row.sma});
    if (overall && row.sri != 0) require({row.smi, row.sdif});
    if (finite) continue;
    char text[160];
    std::snprintf(text, sizeof text,
                  "The row at selection ratio %.6g (%s) has a value that is not a finite number",
                  row.sr, name_of(row.kind));
    messages.emplace_back(text);
  }
  return messages;
}

}  // namespace fourfifths
