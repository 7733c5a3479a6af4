// check: validation of the count record against the fixed capacities and the
// flags that need criteria; then the further tests of counts and flags that no
// analysis can use.
#include <algorithm>
#include <limits>

#include "study/study.h"

namespace fourfifths {

void check(int32_t& npred, int32_t& ncrit, int32_t& nvar, int32_t& ireg, int32_t& icrit,
           int32_t& /*nsr*/, int32_t& ierr, std::vector<std::string>& messages) {
  ierr = 0;
  if (npred > max_variables || ncrit > max_variables || nvar > max_variables) {
    messages.emplace_back("Too many predictors and criteria");
    ierr = 1;
  }
  if (ireg == 1 && ncrit < 1) {
    messages.emplace_back("Regression weights can not be computed because no\ncriteria are specified");
    ierr = 1;
  }
  if (icrit == 1 && ncrit < 1) {
    messages.emplace_back(
        "Average criterion quality can not be computed because\nno criteria are specified");
    ierr = 1;
  }
}

std::vector<std::string> count_messages(const CountRecord& counts) {
  CountRecord c = counts;
  // Formed in 64 bits: a problem built in code may hold any counts.
  int32_t nvar = static_cast<int32_t>(std::clamp<int64_t>(
      int64_t{c.npred} + c.ncrit, std::numeric_limits<int32_t>::min(),
      std::numeric_limits<int32_t>::max()));
  int32_t ierr = 0;
  std::vector<std::string> messages;
  check(c.npred, c.ncrit, nvar, c.ireg, c.icrit, c.nsr, ierr, messages);
  if (c.npred < 1) messages.emplace_back("Number of predictors must be at least 1");
  if (c.ncrit < 0) messages.emplace_back("Number of criteria can not be negative");
  if (c.nsr < 0) messages.emplace_back("Number of requested selection ratios can not be negative");
  if (c.ireg != 0 && c.ireg != 1)
    messages.emplace_back("Flag for regression based weights must be 0 or 1");
  if (c.icrit != 0 && c.icrit != 1)
    messages.emplace_back("Flag for expected criterion scores must be 0 or 1");
  if (c.ioverall == 1 && c.apratio < 0)
    messages.emplace_back("Ratio of majority to minority applicants can not be negative");
  return messages;
}

}  // namespace fourfifths
