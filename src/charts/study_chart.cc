// The chart of a study: the two groups' selection ratios and the
// adverse-impact ratio over the selection ratio, with the four-fifths rule
// and boundary, above the mean quality of those selected.
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "charts/charts.h"

namespace fourfifths {
namespace {

using namespace charts;

constexpr double page_height = 860;

// The same style for a group in both panels: the majority blue and dashed,
// the minority orange and dotted, the whole (AI, and M) black and thick.
const Style majority_style{
    .colour = "#1f5fbf", .width = 2, .dash = "9 4", .marker = Marker::circle};
const Style minority_style{
    .colour = "#d0600f", .width = 2.2, .dash = "2 3", .marker = Marker::square};
const Style whole_style{.colour = "#000000", .width = 3, .marker = Marker::triangle};
const Style boundary_style{
    .colour = "#555555", .width = 1.3, .dash = "6 3 1.5 3", .marker = Marker::circle};
const Style requested_style{
    .colour = "#1a8a3a", .width = 2, .marker = Marker::diamond, .filled = true};

// The rows the lines join: all but the boundary's, by ratio.
std::vector<const Row*> joined_rows(const Study& study) {
  std::vector<const Row*> rows;
  for (const Row& row : study.rows)
    if (row.kind != RowKind::boundary) rows.push_back(&row);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row* a, const Row* b) { return a->sr < b->sr; });
  return rows;
}

// One value of the rows as a line over their ratio; a row that is not ok has
// no value. Markers go on the built-in rows.
Series series_of(const std::vector<const Row*>& rows, double Row::*value, std::string label,
                 const Style& style) {
  Series s{.label = std::move(label), .style = style};
  for (const Row* row : rows) {
    if (row->kind == RowKind::builtin) s.marked.push_back(s.points.size());
    const double y =
        row->status == RowStatus::ok ? row->*value : std::numeric_limits<double>::quiet_NaN();
    s.points.emplace_back(row->sr, y);
  }
  return s;
}

// The smallest and largest finite value of the series, or NaNs when there is none.
std::pair<double, double> extent(const std::vector<Series>& series) {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (const Series& s : series)
    for (const auto& [x, y] : s.points)
      if (std::isfinite(x) && std::isfinite(y)) {
        lo = std::min(lo, y);
        hi = std::max(hi, y);
      }
  if (lo > hi)
    return {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
  return {lo, hi};
}

std::vector<LegendEntry> legend_of(const std::vector<Series>& series) {
  std::vector<LegendEntry> entries;
  for (const Series& s : series) entries.push_back({.label = s.label, .style = s.style});
  return entries;
}

// The requested ratios as a legend label: as many of their values as fit.
std::string requested_label(const std::vector<double>& ratios, double room) {
  std::string label = "requested:";
  for (std::size_t k = 0; k < ratios.size(); ++k)
    label += (k ? ", " : " ") + ratio_label(ratios[k]);
  if (text_width(label, 12) <= room) return label;
  return "requested (" + std::to_string(ratios.size()) + " ratios)";
}

}  // namespace

std::string study_chart(const Study& study) {
  if (study.rejected())
    throw std::invalid_argument("a rejected study has no values to chart: " +
                                study.messages.front());
  const bool overall = study.problem.basis == Basis::overall;
  const std::string ratio = overall ? "SR" : "SRA";
  const Boundary& boundary = study.boundary;
  const std::string boundary_ratio = label_number(boundary.sr, 3);

  Drawing d{.width = page_width, .height = page_height};
  d.title = std::string("Adverse impact by ") + (overall ? "overall" : "majority") +
            " selection ratio \xE2\x80\x94 " +
            (boundary.found ? "four-fifths rule met from " + ratio + " " + boundary_ratio
                            : std::string("no four-fifths boundary found"));
  draw_text(d, page_width / 2, 36, d.title, {.size = 17, .anchor = "middle", .bold = true});

  const std::vector<const Row*> rows = joined_rows(study);
  const std::vector<Series> ratios = {
      series_of(rows, &Row::sra, "SRA (majority)", majority_style),
      series_of(rows, &Row::sri, "SRI (minority)", minority_style),
      series_of(rows, &Row::ai, "AI = SRI / SRA", whole_style),
  };
  std::vector<Series> quality = {
      series_of(rows, &Row::ma, "MA (majority)", majority_style),
      series_of(rows, &Row::mi, "MI (minority)", minority_style),
  };
  if (overall) quality.push_back(series_of(rows, &Row::m, "M (all selected)", whole_style));

  const std::string x_title =
      overall ? "Overall selection ratio (SR)" : "Majority selection ratio (SRA)";
  const Axis x_axis = round_axis(0, 1, 10, x_title);
  const Panel top =
      page_panel(80, 320, x_axis,
                 round_axis(0, std::max(1.0, extent(ratios).second), 5, "Selection ratio or AI"));
  const auto [quality_lo, quality_hi] = extent(quality);
  const std::string composite =
      study.problem.quality == Quality::criterion ? "Criterion composite" : "Predictor composite";
  const Panel bottom = page_panel(
      490, 290, x_axis, round_axis(quality_lo, quality_hi, 6, composite + " (majority SD)"));
  draw_panel(d, top);
  draw_panel(d, bottom);

  // The four-fifths rule, under the data.
  const double y08 = top.py(0.8);
  draw_line(d, top.left, y08, top.right(), y08, four_fifths_style());
  draw_text(d, top.left + 8, y08 - 6, "four-fifths rule",
            {.colour = four_fifths_colour, .halo = true});
  d.data = {{"y08", coordinate(y08)},
            {"axis-x", coordinate(top.left)},
            {"plot", coordinate(top.left) + " " + coordinate(top.top) + " " +
                         coordinate(top.right()) + " " + coordinate(top.bottom())}};

  std::vector<LegendEntry> ratio_legend = legend_of(ratios);
  ratio_legend.push_back({.label = "four-fifths rule", .style = four_fifths_style()});
  std::vector<LegendEntry> quality_legend = legend_of(quality);
  const bool boundary_shown = boundary.found && top.contains(boundary.sr, 0.8);
  if (boundary_shown) {
    const double xb = top.px(boundary.sr);
    for (const Panel* p : {&top, &bottom})
      draw_line(d, xb, p->top, xb, p->bottom(), boundary_style);
    const std::string label = "boundary " + ratio + " " + boundary_ratio;
    const double width = text_width(label, 12);
    draw_text(d, clamp_start(xb - width / 2, width, top.left, top.right()), top.top - 8, label,
              {.colour = boundary_style.colour});
    const std::string entry = "boundary, " + ratio + " " + boundary_ratio;
    ratio_legend.push_back({.label = entry, .style = boundary_style});
    quality_legend.push_back({.label = entry, .style = boundary_style});
  }

  // The requested ratios first, larger than the line's own markers, which
  // stay visible inside them.
  std::vector<double> requested;
  for (const Row& row : study.rows) {
    if (row.kind != RowKind::requested || row.status != RowStatus::ok) continue;
    if (!std::isfinite(row.ai) || !top.contains(row.sr, row.ai)) continue;
    draw_marker(d, top.px(row.sr), top.py(row.ai), requested_style, 7.5);
    requested.push_back(row.sr);
  }
  for (const Series& s : ratios) draw_series(d, top, s);
  for (const Series& s : quality) draw_series(d, bottom, s);
  if (boundary_shown) draw_marker(d, top.px(boundary.sr), y08, boundary_style, 5);
  if (!requested.empty())
    ratio_legend.push_back({.label = requested_label(requested, legend_width - 64),
                            .style = requested_style,
                            .line = false});

  draw_legend(d, legend_left, top.top, legend_width, "Selection ratios", ratio_legend);
  draw_legend(d, legend_left, bottom.top, legend_width, "Mean quality", quality_legend);

  std::size_t counts[4] = {};
  for (const Row& row : study.rows) ++counts[static_cast<int>(row.kind)];
  d.desc = "Two panels over the " + std::string(overall ? "overall" : "majority") +
           " selection ratio " + ratio + " from 0 to 1, joining " + std::to_string(rows.size()) +
           " rows (" + std::to_string(counts[static_cast<int>(RowKind::builtin)]) + " built-in, " +
           std::to_string(counts[static_cast<int>(RowKind::requested)]) + " requested, " +
           std::to_string(counts[static_cast<int>(RowKind::sweep)]) +
           " sweep); rows without a value leave gaps. Top: the majority (SRA) and minority (SRI) "
           "selection ratios and the adverse-impact ratio AI = SRI / SRA, with the four-fifths "
           "rule at AI = 0.8. ";
  if (boundary.found) {
    d.desc += "The four-fifths boundary is at " + ratio + " " + boundary_ratio + " (SRA " +
              label_number(boundary.sra, 3) + ", SRI " + label_number(boundary.sri, 3) + "). ";
  } else {
    d.desc += "No selection ratio has AI = 0.8. ";
  }
  d.desc += "Bottom: the mean quality of the selected majority (MA) and minority (MI)";
  d.desc += overall ? " applicants and of all selected (M)" : " applicants";
  d.desc += " on the " +
            std::string(study.problem.quality == Quality::criterion ? "criterion" : "predictor") +
            " composite, in majority standard deviations.";
  return d.svg();
}

}  // namespace fourfifths
