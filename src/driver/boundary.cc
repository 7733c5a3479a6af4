// The four-fifths boundary: the cut-off on the predictor composite at which the
// minority group's selection ratio is 0.8 times the majority group's, and the
// selection ratio that belongs to it.
#include "driver/study.h"
#include "model/model.h"
#include "rootfind/rootfind.h"

namespace fourfifths {

void search_cutoff(Equation f, double& b, double& c, int32_t& iflag) {
  b = -8;
  c = 8;
  double r = b;
  double re = 0.0001;
  double ae = 0.000001;
  dfzero(f, b, c, r, re, ae, iflag);
}

bool find_four_fifths_boundary(const ProblemDeck& deck, double& boundary) {
  RecordWriter out;
  double b = 0;
  double c = 0;
  int32_t iflag = 0;
  search_cutoff(fun1, b, c, iflag);
  if (iflag != 1) {
    out.write("(/'Error in srmax ')");
    return false;
  }
  // The group ratios are those of the search's last evaluation, within twice
  // the search tolerance of the returned cut-off.
  if (deck.ioverall == 1) {
    boundary = deck.pmaj * selection.sra + deck.pmin * selection.sri;
    out.write(
        "(/'Minimum overall selection ratio without AI 4/5th rule is ',F7.3/"
        "'with selection ratio majority and minority group equal'/"
        "'to ',2F7.3,' , respectively')",
        Items().add(boundary).add(selection.sra).add(selection.sri));
  } else {
    boundary = selection.sra;
    out.write(
        "(/'Minimal majority selection ratio without AI 4/5th rule is ',F7.3/"
        "'with corresponding selection ratio minority group equal'/"
        "'to ',F7.3)",
        Items().add(selection.sra).add(selection.sri));
  }
  return true;
}

}  // namespace fourfifths
