// The chart of a validity–adverse-impact front: validity against the
// adverse-impact ratio, with the four-fifths rule, the ends and the
// four-fifths point labelled, above each predictor's weight against the
// adverse-impact ratio (the trade-off function).
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "charts/charts.h"

namespace fourfifths {
namespace {

using namespace charts;

const Style front_style{.colour = "#000000", .width = 2.5, .marker = Marker::circle};
// The front as new applicants can be expected to see it, when it was traced
// in a validation sample.
const Style shrunk_style{.colour = "#1f5fbf", .width = 2, .dash = "8 4", .marker = Marker::square};
const Style four_fifths_point_style{
    .colour = std::string(four_fifths_colour), .marker = Marker::diamond, .filled = true};

// Ten predictors' lines, apart in colour, dash pattern and marker alike.
Style predictor_style(std::size_t k) {
  static constexpr std::array<const char*, 10> colours = {
      "#1f5fbf", "#d0600f", "#2a8a3a", "#7b3fa0", "#8c564b",
      "#17a2b8", "#555555", "#b8860b", "#000000", "#6b8e23"};
  static constexpr std::array<const char*, 5> dashes = {"", "9 4", "2 3", "9 3 2 3", "14 4"};
  static constexpr std::array<Marker, 5> markers = {
      Marker::circle, Marker::square, Marker::triangle, Marker::diamond, Marker::down_triangle};
  return {.colour = colours[k % colours.size()],
          .width = 2,
          .dash = dashes[k % dashes.size()],
          .marker = markers[k % markers.size()],
          .filled = k % 10 >= 5};
}

// The range of the values with a margin of `pad` of its width on each side.
std::pair<double, double> padded(double lo, double hi, double pad) {
  const double margin = (hi - lo) * pad;
  return {lo - margin, hi + margin};
}

}  // namespace

std::string front_chart(const Front& front, const std::vector<std::string>& predictor_names) {
  if (!front.messages.empty())
    throw std::invalid_argument("a front with messages has no points to chart: " +
                                front.messages.front());
  if (front.points.empty()) throw std::invalid_argument("a front without points cannot be charted");
  const std::vector<FrontPoint>& points = front.points;
  const std::string basis = front.basis == Basis::overall ? "overall SR" : "majority SRA";
  const std::string at = basis + " " + ratio_label(front.sr);

  const FrontPoint* four_fifths = nullptr;
  for (const FrontPoint& p : points)
    if (p.kind == PointKind::four_fifths) four_fifths = &p;

  std::vector<std::string> notes;
  if (front.sample_size > 0)
    for (std::string& line :
         wrap("Dashed: what the same weightings can be expected to show on new applicants, the "
              "front having been fitted in a validation sample of " +
                  std::to_string(front.sample_size) + " with " +
                  std::to_string(front.predictors_screened) +
                  " predictors screened (Browne 1975; Song, Tang, Newman & Wee 2023).",
              page_width - 60, 12))
      notes.push_back(std::move(line));
  for (const std::string& note : front.notes)
    for (std::string& line : wrap("Note: " + note, page_width - 60, 12))
      notes.push_back(std::move(line));
  Drawing d{.width = page_width, .height = 860 + 17 * static_cast<double>(notes.size())};
  d.title = "Validity and adverse impact of predictor weightings";
  const std::string subtitle =
      "Pareto front at " + at + (front.nonnegative ? ", non-negative weights" : "") +
      " \xE2\x80\x94 " +
      (four_fifths ? "four-fifths rule met with validity " + label_number(four_fifths->validity, 3)
                   : std::string("no weighting on the front meets the four-fifths rule"));
  draw_text(d, page_width / 2, 32, d.title, {.size = 17, .anchor = "middle", .bold = true});
  draw_text(d, page_width / 2, 55, subtitle, {.size = 13, .anchor = "middle"});

  double ai_lo = 0.8, ai_hi = 0.8;
  double r_lo = std::numeric_limits<double>::infinity(), r_hi = -r_lo;
  double w_lo = 0, w_hi = 0;
  std::size_t predictors = 0;
  const bool shrunk = front.sample_size > 0;
  for (const FrontPoint& p : points) {
    for (double ai : {p.ai, shrunk ? p.shrunk_ai : p.ai})
      if (std::isfinite(ai)) {
        ai_lo = std::min(ai_lo, ai);
        ai_hi = std::max(ai_hi, ai);
      }
    for (double r : {p.validity, shrunk ? p.shrunk_validity : p.validity})
      if (std::isfinite(r)) {
        r_lo = std::min(r_lo, r);
        r_hi = std::max(r_hi, r);
      }
    for (double w : p.weights)
      if (std::isfinite(w)) {
        w_lo = std::min(w_lo, w);
        w_hi = std::max(w_hi, w);
      }
    predictors = std::max(predictors, p.weights.size());
  }
  const auto [x_lo, x_hi] = padded(ai_lo, ai_hi, 0.05);
  const Axis x_axis =
      round_axis(std::max(0.0, x_lo), x_hi, 8, "Adverse-impact ratio (AI) at " + at);
  // Room above the most valid end and below the least-impact end for their labels.
  const auto [y_lo, y_hi] = padded(r_lo, r_hi, 0.18);
  const Panel top =
      page_panel(90, 320, x_axis, round_axis(y_lo, y_hi, 5, "Validity (r with the criterion)"));
  const Panel bottom = page_panel(500, 270, x_axis, round_axis(w_lo, w_hi, 5, "Predictor weight"));
  draw_panel(d, top);
  draw_panel(d, bottom);

  const double x08 = top.px(0.8);
  for (const Panel* p : {&top, &bottom})
    draw_line(d, x08, p->top, x08, p->bottom(), four_fifths_style());
  const double rule_width = text_width("four-fifths rule", 12);
  draw_text(d, clamp_start(x08 - rule_width / 2, rule_width, top.left, top.right()), top.top - 8,
            "four-fifths rule", {.colour = four_fifths_colour});
  d.data = {{"x08", coordinate(x08)}, {"axis-y", coordinate(top.bottom())}};

  // An end that meets the four-fifths rule is also its four-fifths row: one
  // weighting.
  const auto repeats = std::count_if(points.begin(), points.end(), [&](const FrontPoint& p) {
    return p.kind == PointKind::four_fifths &&
           std::any_of(points.begin(), points.end(),
                       [&](const FrontPoint& q) { return &q != &p && q.weights == p.weights; });
  });
  const std::size_t weightings = points.size() - static_cast<std::size_t>(repeats);
  Series validity{.label = "front (" + std::to_string(weightings) + " weightings)",
                  .style = front_style};
  std::vector<Series> weights(predictors);
  for (std::size_t k = 0; k < predictors; ++k) {
    const bool named = k < predictor_names.size() && !predictor_names[k].empty();
    weights[k].label = named ? predictor_names[k] : "Predictor " + std::to_string(k + 1);
    weights[k].style = predictor_style(k);
  }
  for (const FrontPoint& p : points) {
    validity.marked.push_back(validity.points.size());
    validity.points.emplace_back(p.ai, p.validity);
    for (std::size_t k = 0; k < predictors; ++k) {
      weights[k].marked.push_back(weights[k].points.size());
      weights[k].points.emplace_back(
          p.ai, k < p.weights.size() ? p.weights[k] : std::numeric_limits<double>::quiet_NaN());
    }
  }
  Series expected{.label = "expected, N = " + std::to_string(front.sample_size),
                  .style = shrunk_style};
  if (shrunk) {
    for (const FrontPoint& p : points)
      if (p.kind != PointKind::four_fifths || &p == &points.front()) {
        expected.marked.push_back(expected.points.size());
        expected.points.emplace_back(p.shrunk_ai, p.shrunk_validity);
      }
    draw_series(d, top, expected);
  }
  draw_series(d, top, validity);
  for (const Series& s : weights) draw_series(d, bottom, s);

  // The ends: the most valid is the highest point, labelled above it; the
  // least-impact end the lowest, labelled below it.
  const Text end_text{.halo = true};
  const auto label_point = [&](const FrontPoint& p, const std::string& what, bool above) {
    if (!top.contains(p.ai, p.validity)) return;
    const std::string label =
        what + ": " + label_number(p.validity, 3) + " at AI " + label_number(p.ai, 2);
    const double width = text_width(label, 12);
    const double x = top.px(p.ai);
    draw_text(d, clamp_start(above ? x - 6 : x - width + 6, width, top.left + 4, top.right() - 4),
              top.py(p.validity) + (above ? -12 : 22), label, end_text);
  };
  label_point(points.front(), "most valid", true);
  if (points.size() > 1) label_point(points.back(), "least impact", false);

  std::vector<LegendEntry> front_legend = {
      {.label = validity.label, .style = front_style},
      {.label = "four-fifths rule", .style = four_fifths_style()}};
  if (shrunk)
    front_legend.insert(front_legend.begin() + 1, {.label = expected.label, .style = shrunk_style});
  if (four_fifths && top.contains(four_fifths->ai, four_fifths->validity)) {
    // Below and to the left of a point on the front nothing else lies.
    const double x = top.px(four_fifths->ai);
    const double y = top.py(four_fifths->validity);
    draw_marker(d, x, y, four_fifths_point_style, 6);
    const std::string label = "validity " + label_number(four_fifths->validity, 3);
    const double width = text_width(label, 12);
    draw_text(d, clamp_start(x - 10 - width, width, top.left + 4, top.right() - 4), y + 20, label,
              {.bold = true, .halo = true});
    front_legend.push_back(
        {.label = "four-fifths point", .style = four_fifths_point_style, .line = false});
  }
  draw_legend(d, legend_left, top.top, legend_width, "Front", front_legend);
  std::vector<LegendEntry> weight_legend;
  for (const Series& s : weights) weight_legend.push_back({.label = s.label, .style = s.style});
  draw_legend(d, legend_left, bottom.top, legend_width, "Predictor weights", weight_legend);

  for (std::size_t k = 0; k < notes.size(); ++k)
    draw_text(d, 30, 850 + 17 * static_cast<double>(k), notes[k], {.colour = "#333333"});

  d.desc = "Validity against the adverse-impact ratio AI of " + std::to_string(weightings) +
           " weightings of " + std::to_string(predictors) + " predictors on the Pareto front at " +
           at + (front.nonnegative ? " with non-negative weights" : "") +
           ", from the most valid (validity " + label_number(points.front().validity, 3) + ", AI " +
           label_number(points.front().ai, 3) + ") to the least adverse impact (validity " +
           label_number(points.back().validity, 3) + ", AI " + label_number(points.back().ai, 3) +
           "), with the four-fifths rule at AI = 0.8. ";
  if (four_fifths) {
    d.desc += "At the four-fifths point the validity is " + label_number(four_fifths->validity, 3) +
              " with the weights";
    for (std::size_t k = 0; k < four_fifths->weights.size(); ++k)
      d.desc +=
          (k ? ", " : " ") + weights[k].label + " " + label_number(four_fifths->weights[k], 3);
    d.desc += ". ";
  }
  if (shrunk)
    d.desc +=
        "A dashed line shows the same weightings as new applicants can be expected to see "
        "them, the front having been traced in a validation sample of " +
        std::to_string(front.sample_size) + ": from validity " +
        label_number(points.front().shrunk_validity, 3) + " at AI " +
        label_number(points.front().shrunk_ai, 3) + " to validity " +
        label_number(points.back().shrunk_validity, 3) + " at AI " +
        label_number(points.back().shrunk_ai, 3) + ". ";
  d.desc += "Below: each predictor's weight against AI.";
  for (const std::string& note : front.notes) d.desc += " Note: " + note;
  return d.svg();
}

}  // namespace fourfifths
