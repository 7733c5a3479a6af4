// Reads back the parts of a report that the model invariants speak about: the
// printed effect size of the predictor composite, the four-fifths boundary
// block and every row of the selection-ratio table, taken apart by the
// report's fixed columns.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fourfifths::testing {

// One row of the table as printed: one record in the majority mode, two in
// the overall mode, one for a row whose cut-off could not be found.
struct TableRow {
  bool error = false;  // "ERROR ZERO" or "ERROR RATIO" record
  std::string first;   // the row's first (or only) record
  std::string second;  // overall mode: the globally standardized values

  // The k-th 7-column value of the first record (each followed by a blank).
  std::string_view field(int k) const;
};

struct ReportText {
  std::string dx;  // "Effect size predictor composite" field
  bool boundary_found = false;
  std::string boundary;      // overall mode: the boundary's overall ratio
  std::string boundary_sra;  // majority-group ratio at the boundary
  std::string boundary_sri;  // minority-group ratio at the boundary
  std::vector<TableRow> builtin;
  std::optional<TableRow> boundary_row;
  std::vector<TableRow> requested;
};

// Takes a complete report apart. Returns an empty string on success,
// otherwise what was missing or out of place.
std::string parse_report(const std::string& text, bool overall, int nsr, ReportText& report);

// The value of a printed fixed-point field; nothing for a field that holds no
// number (blanks, asterisks, NaN).
std::optional<double> printed_number(std::string_view field);

}  // namespace fourfifths::testing
