// fourfifths: adverse impact and mean quality of top-down selection on a
// weighted predictor composite, for one problem deck read from standard input.
#include "frame/frame.h"
#include "report/report.h"

namespace {

// The main routine: the deck on unit 5, the report on unit 6.
void MAIN__() {
  fourfifths::StandardInput deck;
  fourfifths::StandardOutput report;
  if (const auto error = fourfifths::run_classic(deck, report)) {
    std::string_view diagnostic = error->diagnostic;
    diagnostic.remove_suffix(1);  // its line feed, which the abnormal end writes
    fourfifths::abnormal_end(diagnostic);
  }
  fourfifths::stop();
}

}  // namespace

int main(int argc, char** argv) {
  fourfifths::start_run(argc, argv, MAIN__);
}
