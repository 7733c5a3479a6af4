// check: validation of the count record against the program's fixed capacities
// and the flags that need criteria.
#include "driver/driver.h"

namespace fourfifths {

void check(int32_t& npred, int32_t& ncrit, int32_t& nvar, int32_t& ireg, int32_t& icrit,
           int32_t& /*nsr*/, int32_t& ierr) {
  RecordWriter out;
  ierr = 0;
  if (npred > max_variables || ncrit > max_variables || nvar > max_variables) {
    out.write("('Too many predictors and criteria')");
    ierr = 1;
  }
  if (ireg == 1 && ncrit < 1) {
    out.write("('Regression weights can not be computed because no'/'criteria are specified')");
    ierr = 1;
  }
  if (icrit == 1 && ncrit < 1) {
    out.write(
        "('Average criterion quality can not be computed because'/'no criteria are specified')");
    ierr = 1;
  }
}

}  // namespace fourfifths
