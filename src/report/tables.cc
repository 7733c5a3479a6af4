// The four-fifths boundary block and the selection-ratio tables: the headings
// and one row per built-in, boundary and requested ratio.
#include "report/report.h"

namespace fourfifths {
namespace {

constexpr WriteLayout overall_heading =
    "(/'For each overall selection ratio (SR): the majority group SR (SRA)'/"
    "'the minority group SR (SRI), the adverse impact (AI), the overall'/"
    "'average quality of the selected individuals (with respect to'/"
    "'the majority group distribution: wrtmgd) (M), the average quality'/"
    "'of the majority group selected {wrtmgd) (MA) and the minority'/"
    "'group selected (again wrtmgd) (MI), and the  difference between'/"
    "'MA and MI.'/"
    "'On the second line: the globally standardized (gs) overall average'/"
    "'quality of the selected individuals (SM), the (gs) average quality of the'/"
    "'majority selected individuals (SMA), the (gs) average quality of the'/"
    "'minority selected (SMI) and the difference between SMA and SMI (SDIF)'/"
    "/"
    "'     SR     SRA     SRI      AI       M      MA      MI     DIF'/"
    "'        SM     SMA     SMI    SDIF')";

constexpr WriteLayout majority_heading =
    "(/'For each majority selection ratio (SRA) the corresponding'/"
    "'minority group SR (SRI), the adverse impact (AI), the average'/"
    "'quality of the majority group selected (MA) and the'/"
    "'minority group selected (MI)'/"
    "/"
    "'    SRA     SRI      AI      MA      MI'/)";

void write_row(const Row& row, bool overall, RecordWriter& out) {
  switch (row.status) {
    case RowStatus::no_cutoff: {
      const Search& s = row.search;
      out.write("('ERROR ZERO ',I3,4D13.4)",
                Items().add(s.status).add(s.b).add(s.c).add(s.sra).add(s.sri));
      return;
    }
    case RowStatus::ratio_out_of_range:
      out.write("('ERROR RATIO ',D13.4)", Items().add(row.sr));
      return;
    case RowStatus::ok:
      break;
  }
  if (!overall) {
    const double values[] = {row.sra, row.sri, row.ai, row.ma, row.mi, row.dif};
    out.write("(6(F7.3,1X))", Items().add(values));
    return;
  }
  const double first[] = {row.sr, row.sra, row.sri, row.ai, row.m, row.ma, row.mi, row.dif};
  const double second[] = {row.sm, row.sma, row.smi, row.sdif};
  out.write("(9(F7.3,1X))", Items().add(first));
  out.write("(3X,8(F7.3,1X))", Items().add(second));
}

}  // namespace

void write_boundary(const Study& study, RecordWriter& out) {
  const Boundary& b = study.boundary;
  if (!b.found) {
    out.write("(/'Error in srmax ')");
  } else if (study.problem.basis == Basis::overall) {
    out.write(
        "(/'Minimum overall selection ratio without AI 4/5th rule is ',F7.3/"
        "'with selection ratio majority and minority group equal'/"
        "'to ',2F7.3,' , respectively')",
        Items().add(b.sr).add(b.sra).add(b.sri));
  } else {
    out.write(
        "(/'Minimal majority selection ratio without AI 4/5th rule is ',F7.3/"
        "'with corresponding selection ratio minority group equal'/"
        "'to ',F7.3)",
        Items().add(b.sra).add(b.sri));
  }
}

void write_tables(const Study& study, RecordWriter& out) {
  const bool overall = study.problem.basis == Basis::overall;
  out.write(overall ? overall_heading : majority_heading);
  const std::vector<Row>& rows = study.rows;
  std::size_t k = 0;
  auto write_rows_of = [&](RowKind kind) {
    for (; k < rows.size() && rows[k].kind == kind; ++k) write_row(rows[k], overall, out);
  };
  write_rows_of(RowKind::builtin);
  // The boundary row is introduced even when there is none.
  out.write(overall ? WriteLayout("('Details for minimum possible overall SR without AI')")
                    : WriteLayout("('Details for minimum possible majority SR without AI')"));
  write_rows_of(RowKind::boundary);
  if (k < rows.size() && rows[k].kind == RowKind::requested)
    out.write(overall ? WriteLayout("('Details for requested overall selection ratios')")
                      : WriteLayout("('Details for requested majority selection ratios')"));
  write_rows_of(RowKind::requested);
}

}  // namespace fourfifths
