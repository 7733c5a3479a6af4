// The chart of a study of several groups: each group's adverse-impact ratio
// against the highest group over the selection ratio, with the four-fifths
// rule, each group's boundary on it and the pool's boundary.
#include "charts/group_chart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "charts/charts.h"

namespace fourfifths {
namespace {

using namespace charts;

constexpr double page_height = 580;

const Style pool_boundary_style{.colour = "#555555", .width = 1.3, .dash = "6 3 1.5 3"};


}  // namespace

std::string group_chart(const GroupStudy& study) {
  if (study.rejected())
    throw std::invalid_argument("a rejected study has no values to chart: " +
                                study.messages.front());
  const GroupProblem& p = study.problem;
  const bool overall = p.basis == Basis::overall;
  const std::string ratio = overall ? "SR" : "reference SR";
  const GroupBoundary& pool = study.pool_boundary;

  Drawing d{.width = page_width, .height = page_height};
  d.title = "Adverse impact of " + std::to_string(p.groups.size()) + " groups by " +
            (overall ? "overall" : "reference group's") + " selection ratio \xE2\x80\x94 ";
  if (pool.state == BoundaryState::found)
    d.title +=
        "every group meets the four-fifths rule from " + ratio + " " + label_number(pool.sr, 3);
  else if (pool.state == BoundaryState::none_in_range)
    d.title += "not every group meets the four-fifths rule in range";
  else
    d.title += "no group falls below the four-fifths rule";
  const std::vector<std::string> title_lines = wrap(d.title, page_width - 40, 17);
  for (std::size_t k = 0; k < title_lines.size(); ++k)
    draw_text(d, page_width / 2, 34 + 21 * static_cast<double>(k), title_lines[k],
              {.size = 17, .anchor = "middle", .bold = true});

  // The rows the lines join, by ratio (the pool's boundary row is marked
  // by its own line, not joined).
  std::vector<const GroupRow*> rows;
  for (const GroupRow& row : study.rows)
    if (row.kind != RowKind::boundary) rows.push_back(&row);
  std::stable_sort(rows.begin(), rows.end(),
                   [](const GroupRow* a, const GroupRow* b) { return a->sr < b->sr; });

  const double top_edge = 70 + 21 * static_cast<double>(title_lines.size() - 1);
  const Panel panel = page_panel(
      top_edge, page_height - top_edge - 90,
      round_axis(0, 1, 10,
                 overall ? "Overall selection ratio (SR)" : "Reference group's selection ratio"),
      round_axis(0, 1, 5, "AI against the highest group"));
  draw_panel(d, panel);
  const double y08 = panel.py(0.8);
  draw_line(d, panel.left, y08, panel.right(), y08, four_fifths_style());
  draw_text(d, panel.left + 8, y08 - 6, "four-fifths rule",
            {.colour = four_fifths_colour, .halo = true});
  d.data = {{"y08", coordinate(y08)},
            {"plot", coordinate(panel.left) + " " + coordinate(panel.top) + " " +
                         coordinate(panel.right()) + " " + coordinate(panel.bottom())}};

  std::vector<LegendEntry> legend;
  std::vector<Series> lines;
  std::vector<std::size_t> charted;
  for (std::size_t g = 0; g < p.groups.size(); ++g) {
    const BoundaryState state = study.boundaries[g].state;
    if (state == BoundaryState::never_below || state == BoundaryState::not_applicable) continue;
    Series s{.label = p.groups[g].name, .style = group_style(lines.size(), lines.size() % 10 >= 5)};
    for (const GroupRow* row : rows) {
      if (row->kind == RowKind::builtin) s.marked.push_back(s.points.size());
      s.points.emplace_back(row->sr, row->groups[g].status == RowStatus::ok
                                         ? row->groups[g].ai_highest
                                         : std::numeric_limits<double>::quiet_NaN());
    }
    lines.push_back(std::move(s));
    charted.push_back(g);
  }

  if (pool.state == BoundaryState::found && panel.contains(pool.sr, 0.8)) {
    const double xb = panel.px(pool.sr);
    draw_line(d, xb, panel.top, xb, panel.bottom(), pool_boundary_style);
    const std::string label = "every group from " + ratio + " " + label_number(pool.sr, 3);
    const double width = text_width(label, 12);
    draw_text(d, clamp_start(xb - width / 2, width, panel.left, panel.right()), panel.top - 8,
              label, {.colour = pool_boundary_style.colour, .halo = true});
    legend.push_back({.label = "all groups: " + ratio + " " + label_number(pool.sr, 3),
                      .style = pool_boundary_style});
  }
  for (const Series& s : lines) draw_series(d, panel, s);

  // Each group's boundary on the four-fifths line, named; labels alternate
  // below and above the line, further out for each further group, so that
  // boundaries close together stay legible.
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const GroupBoundary& b = study.boundaries[charted[k]];
    const std::string& name = p.groups[charted[k]].name;
    std::string entry = name;
    if (b.state == BoundaryState::found && panel.contains(b.sr, 0.8)) {
      const double xb = panel.px(b.sr);
      draw_marker(d, xb, y08,
                  {.colour = lines[k].style.colour, .marker = Marker::circle, .filled = true}, 5);
      const std::string label = name + " " + label_number(b.sr, 3);
      const double width = text_width(label, 12);
      const double dy =
          (k % 2 == 0 ? 20 : -12) + (k % 2 == 0 ? 1 : -1) * 15 * static_cast<double>(k / 2);
      draw_text(d, clamp_start(xb + 6, width, panel.left, panel.right()), y08 + dy, label,
                {.colour = lines[k].style.colour, .halo = true});
      entry += ": " + ratio + " " + label_number(b.sr, 3);
    } else if (b.state == BoundaryState::met_in_range) {
      entry += ": throughout";
    } else {
      entry += ": not in range";
    }
    legend.insert(legend.begin() + static_cast<std::ptrdiff_t>(k),
                  {.label = entry, .style = lines[k].style});
  }
  legend.push_back({.label = "four-fifths rule", .style = four_fifths_style()});
  draw_legend(d, legend_left, panel.top, legend_width, "Groups", legend);

  d.desc = "One panel over the " + std::string(overall ? "overall" : "reference group's") +
           " selection ratio from 0 to 1: the adverse-impact ratio of each group against the group "
           "with the highest selection ratio";
  for (std::size_t k = 0; k < charted.size(); ++k)
    d.desc += std::string(k ? ", " : " (") + p.groups[charted[k]].name;
  d.desc += charted.empty() ? "" : ")";
  d.desc += ", with the four-fifths rule at AI = 0.8. ";
  if (pool.state == BoundaryState::found)
    d.desc += "Every group meets the rule from " + ratio + " " + label_number(pool.sr, 3) +
              " on; the binding group is " + p.groups[static_cast<std::size_t>(pool.group)].name +
              ".";
  return d.svg();
}

}  // namespace fourfifths
