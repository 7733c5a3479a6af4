// The chart of a staged study: the funnel of the groups' shares through the
// stages, and their adverse-impact ratios after each stage with the
// four-fifths rule.
#include "charts/stage_chart.h"

#include <array>
#include <stdexcept>

#include "charts/charts.h"

namespace fourfifths {
namespace {

using namespace charts;

constexpr double page_height = 860;


}  // namespace

std::string stage_chart(const StagedStudy& study) {
  if (study.rejected())
    throw std::invalid_argument("a rejected study has no values to chart: " +
                                study.messages.front());
  const StagedProblem& p = study.problem;
  const std::vector<Group>& groups = p.groups.groups;
  const Selection& sel = study.staged;
  const auto k = static_cast<double>(sel.stages.size());
  const double sr = sel.stages.back().cumulative;

  Drawing d{.width = page_width, .height = page_height};
  d.title = "Staged selection of " + std::to_string(groups.size()) + " groups through " +
            std::to_string(sel.stages.size()) + " stages \xE2\x80\x94 overall SR " +
            ratio_label(sr);
  const std::vector<std::string> title_lines = wrap(d.title, page_width - 40, 17);
  for (std::size_t t = 0; t < title_lines.size(); ++t)
    draw_text(d, page_width / 2, 34 + 21 * static_cast<double>(t), title_lines[t],
              {.size = 17, .anchor = "middle", .bold = true});

  std::string stages_title = "Stage (0: all applicants";
  for (std::size_t s = 0; s < sel.stages.size(); ++s)
    stages_title += "; " + std::to_string(s + 1) + ": " + sel.stages[s].name;
  stages_title += ")";
  Axis x = round_axis(0, k, static_cast<int>(k), stages_title);
  x.lo = 0;
  x.hi = k;
  x.step = 1;
  x.decimals = 0;

  const double top_edge = 70 + 21 * static_cast<double>(title_lines.size() - 1);
  const Panel funnel = page_panel(top_edge, 300, x, round_axis(0, 1, 5, "Share of the group still in"));
  const Panel impact = page_panel(funnel.bottom() + 110, 300, x,
                                  round_axis(0, 1, 5, "Cumulative AI against the highest group"));
  draw_panel(d, funnel);
  draw_panel(d, impact);
  const double y08 = impact.py(0.8);
  draw_line(d, impact.left, y08, impact.right(), y08, four_fifths_style());
  // Labelled at the right, where the lines have left AI 1 behind them.
  draw_text(d, impact.right() - 14, y08 - 6, "four-fifths rule",
            {.anchor = "end", .colour = four_fifths_colour, .halo = true});
  d.data = {{"y08", coordinate(y08)}};

  std::vector<LegendEntry> legend;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    Series share{.label = groups[g].name, .style = group_style(g, true)};
    Series ai{.label = groups[g].name, .style = group_style(g, true)};
    // Before the first stage every group is wholly in, at AI 1.
    share.points.emplace_back(0, 1);
    share.marked.push_back(0);
    ai.points.emplace_back(0, 1);
    for (std::size_t s = 0; s < sel.stages.size(); ++s) {
      share.marked.push_back(share.points.size());
      share.points.emplace_back(static_cast<double>(s + 1), sel.stages[s].groups[g].cumulative);
      ai.marked.push_back(ai.points.size());
      ai.points.emplace_back(static_cast<double>(s + 1),
                             sel.stages[s].groups[g].ai_cumulative_highest);
    }
    draw_series(d, funnel, share);
    draw_series(d, impact, ai);
    const double single = study.single.stages[0].groups[g].ai_cumulative_highest;
    if (impact.contains(k, single))
      draw_marker(d, impact.px(k), impact.py(single), group_style(g, false), 7);
    legend.push_back({.label = groups[g].name, .style = group_style(g, true)});
  }
  draw_legend(d, legend_left, funnel.top, legend_width, "Groups", legend);
  draw_legend(d, legend_left, impact.top, legend_width, "After the last stage",
              {{.label = "staged", .style = group_style(6, true), .line = false},
               {.label = "one stage, same SR", .style = group_style(6, false), .line = false},
               {.label = "four-fifths rule", .style = four_fifths_style()}});

  d.desc = "Two panels over the stages: each group's share still in after each stage (the "
           "funnel), and each group's cumulative adverse-impact ratio against the highest group "
           "after each stage with the four-fifths rule at AI = 0.8; hollow markers give the "
           "single stage on the last stage's composite at the same overall selection ratio " +
           ratio_label(sr) + ".";
  return d.svg();
}

}  // namespace fourfifths
