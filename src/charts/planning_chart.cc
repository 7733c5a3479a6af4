// The chart of what samples of applicants will show: the probability of a
// four-fifths violation and of each test's significance against the number
// of applicants.
#include "charts/planning_chart.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <stdexcept>

#include "charts/charts.h"

namespace fourfifths {
namespace {

using namespace charts;

// With one line of subtitle.
constexpr double page_height = 530;

std::string share_label(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f %%", 100 * share);
  return text;
}

// The title and the subtitle, wrapped to the page; returns the top of the
// panel, which a longer subtitle moves down (and the page grows with it).
double draw_heading(Drawing& d, const std::string& subtitle) {
  draw_text(d, page_width / 2, 32, d.title, {.size = 17, .anchor = "middle", .bold = true});
  const std::vector<std::string> subtitle_lines = wrap(subtitle, page_width - 80, 13);
  for (std::size_t k = 0; k < subtitle_lines.size(); ++k)
    draw_text(d, page_width / 2, 55 + 17 * static_cast<double>(k), subtitle_lines[k],
              {.size = 13, .anchor = "middle"});
  const double top = 90 + 17 * static_cast<double>(subtitle_lines.size() - 1);
  d.height += top - 90;
  return top;
}

}  // namespace

std::string planning_chart(const std::vector<SizedDistribution>& sizes) {
  if (sizes.empty()) throw std::invalid_argument("no sample sizes to chart");
  for (const SizedDistribution& s : sizes)
    if (!s.distribution.messages.empty())
      throw std::invalid_argument("a refused plan has nothing to chart: " +
                                  s.distribution.messages.front());
  const SamplePlan& last = sizes.back().plan;
  const auto total = [](const SamplePlan& p) {
    return static_cast<double>(p.reference_applicants + p.group_applicants);
  };

  Drawing d{.width = page_width, .height = page_height};
  d.title = "What samples of applicants will show";
  const std::string subtitle =
      "selection probability " + label_number(last.reference_probability, 3) +
      " (reference group) and " + label_number(last.group_probability, 3) + " (group); " +
      share_label(static_cast<double>(last.reference_applicants) / total(last)) +
      " of the applicants in the reference group; tests at alpha " +
      label_number(last.alpha, last.alpha < 0.01 ? 3 : 2);
  const double top = draw_heading(d, subtitle);

  Axis x =
      round_axis(0, total(last), 8, "Applicants in all (the groups in the plan's proportions)");
  x.lo = 0;
  const Panel panel = page_panel(top, 360, x, round_axis(0, 1, 5, "Probability over samples"));
  draw_panel(d, panel);

  const double y_alpha = panel.py(last.alpha);
  draw_line(d, panel.left, y_alpha, panel.right(), y_alpha,
            {.colour = "#888888", .width = 1.2, .dash = "5 4"});

  struct Line {
    const char* label;
    double SampleDistribution::*probability;
    Style style;
  };
  const Line lines[] = {
      {"four-fifths violation",
       &SampleDistribution::p_violation,
       {.colour = "#000000", .width = 3, .marker = Marker::circle}},
      {"Z test, difference",
       &SampleDistribution::p_z_difference,
       {.colour = "#1f5fbf", .width = 2, .dash = "9 4", .marker = Marker::square}},
      {"Z test, log ratio",
       &SampleDistribution::p_z_log_ratio,
       {.colour = "#d0600f", .width = 2, .dash = "2 3", .marker = Marker::triangle}},
      {"Fisher exact, 2-sided",
       &SampleDistribution::p_fisher_two_sided,
       {.colour = "#2a8a3a", .width = 2, .dash = "9 3 2 3", .marker = Marker::diamond}},
      {"mid-P, 2-sided",
       &SampleDistribution::p_mid_p_two_sided,
       {.colour = "#7b3fa0",
        .width = 2,
        .dash = "14 4",
        .marker = Marker::down_triangle,
        .filled = true}},
  };
  std::vector<LegendEntry> legend;
  // Markers on about a dozen sizes, so that a line's points stay apart.
  const std::size_t every = std::max<std::size_t>(1, sizes.size() / 12);
  // The violation line on top.
  for (auto line = std::rbegin(lines); line != std::rend(lines); ++line) {
    Series s{.label = line->label, .style = line->style};
    for (std::size_t k = 0; k < sizes.size(); ++k) {
      if (k % every == 0 || k + 1 == sizes.size()) s.marked.push_back(s.points.size());
      s.points.emplace_back(total(sizes[k].plan), sizes[k].distribution.*(line->probability));
    }
    draw_series(d, panel, s);
  }
  for (const Line& line : lines) legend.push_back({.label = line.label, .style = line.style});
  legend.push_back({.label = "alpha", .style = {.colour = "#888888", .width = 1.2, .dash = "5 4"}});
  draw_legend(d, legend_left, panel.top, legend_width, "Probability of", legend);

  const SampleDistribution& at_total = sizes.back().distribution;
  d.data = {{"plot", coordinate(panel.left) + " " + coordinate(panel.top) + " " +
                         coordinate(panel.right()) + " " + coordinate(panel.bottom())},
            {"x", coordinate(panel.x.lo) + " " + coordinate(panel.x.hi)},
            {"y", coordinate(panel.y.lo) + " " + coordinate(panel.y.hi)}};
  d.desc =
      "The probability that a sample of applicants shows a four-fifths violation, and that each "
      "test comes out significant at alpha " +
      label_number(last.alpha, 3) + ", against the number of applicants from " +
      label_number(total(sizes.front().plan), 0) + " to " + label_number(total(last), 0) +
      ", every applicant selected independently with the group's probability. With " +
      label_number(total(last), 0) + " applicants: a violation " +
      label_number(at_total.p_violation, 3) + ", Z test of the difference " +
      label_number(at_total.p_z_difference, 3) + ", Z test of the log ratio " +
      label_number(at_total.p_z_log_ratio, 3) + ", Fisher's exact test " +
      label_number(at_total.p_fisher_two_sided, 3) + ", mid-P " +
      label_number(at_total.p_mid_p_two_sided, 3) + ".";
  return d.svg();
}

}  // namespace fourfifths

namespace fourfifths {

std::string multi_planning_chart(const std::vector<SizedMultiDistribution>& sizes) {
  if (sizes.empty()) throw std::invalid_argument("no sample sizes to chart");
  for (const SizedMultiDistribution& s : sizes)
    if (!s.distribution.messages.empty())
      throw std::invalid_argument("a refused plan has nothing to chart: " + s.distribution.messages.front());
  const MultiPlan& last = sizes.back().plan;
  const auto total = [](const MultiPlan& p) {
    long n = 0;
    for (const GroupPlan& g : p.groups) n += g.applicants;
    return static_cast<double>(n);
  };

  Drawing d{.width = page_width, .height = page_height};
  d.title = "Four-fifths violations in samples of several groups";
  std::string subtitle = "selection probability";
  for (std::size_t g = 0; g < last.groups.size(); ++g)
    subtitle += (g == 0 ? " " : ", ") + label_number(last.groups[g].probability, 3) + " (" +
                last.groups[g].name + (g == 0 ? ", reference" : "") + ", " +
                share_label(static_cast<double>(last.groups[g].applicants) / total(last)) + ")";
  subtitle += "; each group against the reference group";
  const double top = draw_heading(d, subtitle);

  Axis x = round_axis(0, total(last), 8, "Applicants in all (the groups in the plan's proportions)");
  x.lo = 0;
  const Panel panel = page_panel(top, 360, x, round_axis(0, 1, 5, "Probability of a violation over samples"));
  draw_panel(d, panel);

  // The further groups cycle through these; the whole plan's lines are black and grey.
  const Style group_styles[] = {
      {.colour = "#1f5fbf", .width = 2, .dash = "9 4", .marker = Marker::square},
      {.colour = "#d0600f", .width = 2, .dash = "2 3", .marker = Marker::triangle},
      {.colour = "#2a8a3a", .width = 2, .dash = "9 3 2 3", .marker = Marker::diamond},
      {.colour = "#7b3fa0", .width = 2, .dash = "14 4", .marker = Marker::down_triangle, .filled = true},
      {.colour = "#b8860b", .width = 2, .dash = "4 2", .marker = Marker::cross},
  };
  struct Line {
    std::string label;
    Style style;
    std::function<double(const MultiDistribution&)> probability;
  };
  std::vector<Line> lines;
  lines.push_back({"any group, at parity",
                   {.colour = "#888888", .width = 2, .dash = "5 4", .marker = Marker::circle},
                   [](const MultiDistribution& m) { return m.at_parity.p_violation; }});
  for (std::size_t g = 1; g < last.groups.size(); ++g)
    lines.push_back({last.groups[g].name, group_styles[(g - 1) % std::size(group_styles)],
                     [g](const MultiDistribution& m) { return m.groups[g - 1].p_violation; }});
  lines.push_back({"any group",
                   {.colour = "#000000", .width = 3, .marker = Marker::circle},
                   [](const MultiDistribution& m) { return m.any.p_violation; }});
  const std::size_t every = std::max<std::size_t>(1, sizes.size() / 12);
  for (const Line& line : lines) {  // the whole plan's line last, on top
    Series s{.label = line.label, .style = line.style};
    for (std::size_t k = 0; k < sizes.size(); ++k) {
      if (k % every == 0 || k + 1 == sizes.size()) s.marked.push_back(s.points.size());
      s.points.emplace_back(total(sizes[k].plan), line.probability(sizes[k].distribution));
    }
    draw_series(d, panel, s);
  }
  std::vector<LegendEntry> legend;
  // The whole plan first, the groups in the plan's order, parity last.
  legend.push_back({.label = lines.back().label, .style = lines.back().style});
  for (std::size_t k = 1; k + 1 < lines.size(); ++k) legend.push_back({.label = lines[k].label, .style = lines[k].style});
  legend.push_back({.label = lines.front().label, .style = lines.front().style});
  draw_legend(d, legend_left, panel.top, legend_width, "Violation in", legend);

  const MultiDistribution& at_total = sizes.back().distribution;
  d.data = {{"plot", coordinate(panel.left) + " " + coordinate(panel.top) + " " + coordinate(panel.right()) +
                         " " + coordinate(panel.bottom())},
            {"x", coordinate(panel.x.lo) + " " + coordinate(panel.x.hi)},
            {"y", coordinate(panel.y.lo) + " " + coordinate(panel.y.hi)}};
  d.desc = "The probability that a sample of applicants shows a four-fifths violation, for each group against "
           "the reference group and for some group, against the number of applicants from " +
           label_number(total(sizes.front().plan), 0) + " to " + label_number(total(last), 0) +
           ", every applicant selected independently with the group's probability. With " +
           label_number(total(last), 0) + " applicants: some group " + label_number(at_total.any.p_violation, 3) +
           ", some group at parity " + label_number(at_total.at_parity.p_violation, 3);
  for (std::size_t g = 1; g < last.groups.size(); ++g)
    d.desc += ", " + last.groups[g].name + " " + label_number(at_total.groups[g - 1].p_violation, 3);
  d.desc += ".";
  return d.svg();
}

}  // namespace fourfifths
