// The chart of the front of several groups: validity against the smallest AI
// over the further groups, above every group's AI along the front.
#include "charts/group_front_chart.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "charts/charts.h"
#include "formats/groupfront.h"

namespace fourfifths {

using namespace charts;

std::string group_front_chart(const GroupFront& front) {
  if (!front.messages.empty())
    throw std::invalid_argument("a front with messages has no points to chart: " + front.messages.front());
  if (front.points.empty()) throw std::invalid_argument("a front without points cannot be charted");
  const GroupProblem& p = front.problem;
  const std::vector<GroupFrontPoint>& points = front.points;
  const std::string at = (front.basis == Basis::overall ? "overall SR " : "reference SR ") + ratio_label(front.sr);
  const Style front_style{.colour = "#000000", .width = 2.5, .marker = Marker::circle};
  const Style target_point_style{.colour = std::string(four_fifths_colour), .marker = Marker::diamond, .filled = true};
  const std::string rule = front.target == 0.8 ? "four-fifths rule" : "target AI " + label_number(front.target, 2);

  const GroupFrontPoint* target = nullptr;
  for (const GroupFrontPoint& q : points)
    if (q.kind == PointKind::four_fifths) target = &q;

  std::vector<std::string> notes;
  for (const std::string& note : std::vector<std::string>{headline_words(front)})
    for (std::string& line : wrap(note, page_width - 60, 12)) notes.push_back(std::move(line));
  for (const std::string& note : front.notes)
    for (std::string& line : wrap("Note: " + note, page_width - 60, 12)) notes.push_back(std::move(line));
  Drawing d{.width = page_width, .height = 860 + 17 * static_cast<double>(notes.size())};
  d.title = "Validity and the smallest adverse-impact ratio of " + std::to_string(p.groups.size() - 1) +
            " groups against " + p.groups[0].name;
  const std::string subtitle =
      "Pareto front at " + at + (front.nonnegative ? ", non-negative weights" : "") + " \xE2\x80\x94 " +
      (target ? "every group at AI " + label_number(front.target, 2) + " or more with validity " +
                    label_number(target->weighting.validity, 3)
              : "no weighting gives every group AI " + label_number(front.target, 2));
  draw_text(d, page_width / 2, 32, d.title, {.size = 17, .anchor = "middle", .bold = true});
  draw_text(d, page_width / 2, 55, subtitle, {.size = 13, .anchor = "middle"});

  double x_lo = front.target, x_hi = front.target;
  double r_lo = std::numeric_limits<double>::infinity(), r_hi = -r_lo;
  double a_lo = front.target, a_hi = front.target;
  for (const GroupFrontPoint& q : points) {
    x_lo = std::min(x_lo, q.weighting.min_ai);
    x_hi = std::max(x_hi, q.weighting.min_ai);
    r_lo = std::min(r_lo, q.weighting.validity);
    r_hi = std::max(r_hi, q.weighting.validity);
    for (std::size_t g = 1; g < q.weighting.ai.size(); ++g) {
      a_lo = std::min(a_lo, q.weighting.ai[g]);
      a_hi = std::max(a_hi, q.weighting.ai[g]);
    }
  }
  const double x_pad = (x_hi - x_lo) * 0.05;
  const Axis x_axis = round_axis(std::max(0.0, x_lo - x_pad), x_hi + x_pad, 8,
                                 "Smallest adverse-impact ratio (AI) over the groups at " + at);
  const double r_pad = std::max(r_hi - r_lo, 0.01) * 0.18;
  const Panel top = page_panel(90, 320, x_axis, round_axis(r_lo - r_pad, r_hi + r_pad, 5, "Validity (r with the criterion)"));
  const double a_pad = (a_hi - a_lo) * 0.05;
  const Panel bottom = page_panel(500, 270, x_axis,
                                  round_axis(std::max(0.0, a_lo - a_pad), a_hi + a_pad, 5, "Each group's AI"));
  draw_panel(d, top);
  draw_panel(d, bottom);

  const double xt = top.px(front.target);
  for (const Panel* q : {&top, &bottom}) draw_line(d, xt, q->top, xt, q->bottom(), four_fifths_style());
  if (bottom.contains(front.target, front.target)) {
    const double yt = bottom.py(front.target);
    draw_line(d, bottom.left, yt, bottom.right(), yt, {.colour = std::string(four_fifths_colour), .width = 1.2, .dash = "6 4"});
  }
  const double rule_width = text_width(rule, 12);
  draw_text(d, clamp_start(xt - rule_width / 2, rule_width, top.left, top.right()), top.top - 8, rule,
            {.colour = four_fifths_colour});
  d.data = {{"xtarget", coordinate(xt)},
            {"plot", coordinate(top.left) + " " + coordinate(top.top) + " " + coordinate(top.right()) + " " +
                         coordinate(top.bottom())}};

  // A repeated end is one weighting.
  std::size_t weightings = 0;
  Series validity{.style = front_style};
  std::vector<Series> groups(p.groups.size() - 1);
  for (std::size_t g = 1; g < p.groups.size(); ++g) {
    groups[g - 1].label = p.groups[g].name;
    groups[g - 1].style = group_style(g - 1, false);
  }
  for (std::size_t k = 0; k < points.size(); ++k) {
    const GroupWeighting& w = points[k].weighting;
    const bool repeated = points[k].kind == PointKind::four_fifths &&
                          ((k > 0 && points[k - 1].weighting.weights == w.weights) ||
                           (k + 1 < points.size() && points[k + 1].weighting.weights == w.weights));
    if (repeated) continue;
    ++weightings;
    validity.marked.push_back(validity.points.size());
    validity.points.emplace_back(w.min_ai, w.validity);
    for (std::size_t g = 1; g < w.ai.size(); ++g) {
      groups[g - 1].marked.push_back(groups[g - 1].points.size());
      groups[g - 1].points.emplace_back(w.min_ai, w.ai[g]);
    }
  }
  validity.label = "front (" + std::to_string(weightings) + " weightings)";
  draw_series(d, top, validity);
  for (const Series& s : groups) draw_series(d, bottom, s);

  // A target point that is an end is labelled with it, not beside it.
  const bool at_first = target && target->weighting.weights == points.front().weighting.weights;
  const bool at_last = target && points.size() > 1 && target->weighting.weights == points.back().weighting.weights;
  // The target point's label, below and to the left of it, where the
  // least-impact end's label moves one line further down when they would meet.
  double target_left = 0, target_right = 0, target_y = 0;
  const bool target_label = target && !at_first && !at_last &&
                            top.contains(target->weighting.min_ai, target->weighting.validity);
  const std::string target_text = target ? "validity " + label_number(target->weighting.validity, 3) : "";
  if (target_label) {
    const double width = text_width(target_text, 12);
    target_left = clamp_start(top.px(target->weighting.min_ai) - 10 - width, width, top.left + 4, top.right() - 4);
    target_right = target_left + width;
    target_y = top.py(target->weighting.validity) + 20;
  }
  const auto label_point = [&](const GroupWeighting& w, const std::string& what, bool above) {
    if (!top.contains(w.min_ai, w.validity)) return;
    const std::string label = what + ": " + label_number(w.validity, 3) + " at AI " + label_number(w.min_ai, 2);
    const double width = text_width(label, 12);
    const double x = top.px(w.min_ai);
    const double left = clamp_start(above ? x - 6 : x - width + 6, width, top.left + 4, top.right() - 4);
    double y = top.py(w.validity) + (above ? -12 : 22);
    if (!above && target_label && left < target_right && target_left < left + width && std::fabs(y - target_y) < 16)
      y = target_y + 18;
    draw_text(d, left, y, label, {.halo = true});
  };
  label_point(points.front().weighting, at_first ? "most valid, target point" : "most valid", true);
  if (points.size() > 1)
    label_point(points.back().weighting, at_last ? "least impact, target point" : "least impact", false);

  std::vector<LegendEntry> front_legend = {{.label = validity.label, .style = front_style},
                                           {.label = rule, .style = four_fifths_style()}};
  if (target && top.contains(target->weighting.min_ai, target->weighting.validity)) {
    const double x = top.px(target->weighting.min_ai);
    const double y = top.py(target->weighting.validity);
    draw_marker(d, x, y, target_point_style, 6);
    if (target_label) draw_text(d, target_left, target_y, target_text, {.bold = true, .halo = true});
    front_legend.push_back({.label = "target point", .style = target_point_style, .line = false});
  }
  draw_legend(d, legend_left, top.top, legend_width, "Front", front_legend);
  std::vector<LegendEntry> group_legend;
  for (const Series& s : groups) group_legend.push_back({.label = s.label, .style = s.style});
  draw_legend(d, legend_left, bottom.top, legend_width, "AI against " + p.groups[0].name, group_legend);

  for (std::size_t k = 0; k < notes.size(); ++k)
    draw_text(d, 30, 850 + 17 * static_cast<double>(k), notes[k], {.colour = "#333333"});

  d.desc = "Validity against the smallest adverse-impact ratio over " + std::to_string(p.groups.size() - 1) +
           " groups of " + std::to_string(weightings) + " weightings of " + std::to_string(p.predictors) +
           " predictors on the Pareto front at " + at + ", from the most valid (validity " +
           label_number(points.front().weighting.validity, 3) + ", smallest AI " +
           label_number(points.front().weighting.min_ai, 3) + ") to the least adverse impact (validity " +
           label_number(points.back().weighting.validity, 3) + ", smallest AI " +
           label_number(points.back().weighting.min_ai, 3) + "), with the " + rule + " at AI " +
           label_number(front.target, 2) + ". " + headline_words(front) +
           ". Below: each group's AI along the front.";
  for (const std::string& note : front.notes) d.desc += " Note: " + note;
  return d.svg();
}

}  // namespace fourfifths
