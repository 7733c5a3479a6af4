// fourfifths: adverse impact and mean quality of top-down selection on a
// weighted predictor composite, for one problem deck read from standard input.
#include "driver/driver.h"

int main(int argc, char** argv) {
  fourfifths::start_run(argc, argv, fourfifths::MAIN__);
}
