// Charts of a study and of a validity–adverse-impact front, each one
// self-contained SVG document: no scripts, no style sheets, no fonts or images
// from elsewhere. The text is text (searchable, and sharp at any zoom), and
// the lines differ in dash pattern, width and marker shape as well as in
// colour, so that they stay apart when printed in greyscale.
//
// Below the two chart functions are the drawing pieces the two charts share.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fourfifths/pareto.h"
#include "fourfifths/study.h"

namespace fourfifths {

// The chart of a study, 860 x 860 user units (pixels at 100 % zoom), in two
// panels over the selection ratio of the study's basis (the overall selection
// ratio SR, or the majority selection ratio SRA in the majority basis), from
// 0 to 1:
//   - top: the majority selection ratio SRA (blue, solid, circles), the
//     minority selection ratio SRI (orange, dashed, squares) and the
//     adverse-impact ratio AI (black, thick, triangles); a horizontal line at
//     AI = 0.8 in magenta labelled "four-fifths rule"; when the boundary was
//     found, a dashed vertical line at its ratio, marked where it meets
//     AI = 0.8 and labelled "boundary SR 0.904" (its ratio to three
//     decimals); each requested ratio marked by a green diamond on the AI
//     line;
//   - bottom: the mean quality of those selected, MA and MI (and M in the
//     overall basis) in the same styles, the y-axis naming the composite it
//     is measured on (criterion or predictor composite, in majority standard
//     deviations), with the boundary's vertical line again.
// The lines join the built-in, requested and sweep rows in order of their
// ratio (the boundary row is marked, not joined); markers sit on the
// built-in rows. A row that is not ok, or a value that is NaN, leaves a gap in
// the line concerned. Each panel has ticks, tick labels and axis titles, and a
// legend to its right, outside the plot area. The chart title names the basis
// and the boundary, e.g. "Adverse impact by overall selection ratio —
// four-fifths rule met from SR 0.904". The document carries a <title> (the
// chart title) and a <desc> (what is drawn, with the boundary's numbers), and
// on its root element data-y08, the y coordinate of AI = 0.8, data-axis-x, the
// x coordinate of the top panel's y-axis, and data-plot, the top panel's plot
// area as "left top right bottom".
// Throws std::invalid_argument for a rejected study (one with messages):
// there is nothing to chart.
std::string study_chart(const Study& study);

// The chart of a front, 860 x 860 user units, in two panels over the
// adverse-impact ratio at the front's selection ratio:
//   - top: validity (the composite's correlation with the criterion
//     composite) of each weighting on the front, a black line with circles
//     from the most valid end to the least-impact end; a vertical line at
//     AI = 0.8 in magenta labelled "four-fifths rule"; the ends labelled
//     "most valid" and "least impact" with their validity and AI; the
//     four-fifths point, when the front has one, marked and labelled with its
//     validity;
//   - bottom: the weight of each predictor against AI (the trade-off
//     function), one line per predictor in its own colour, dash pattern and
//     marker, named from predictor_names ("Predictor 1", "Predictor 2", ...
//     where a name is missing or empty), with the AI = 0.8 line again.
// The title names the basis and the selection ratio, the subtitle the
// validity at the four-fifths point; the front's notes are printed below the
// panels. The root element carries data-x08 and data-axis-y: the x
// coordinate of AI = 0.8 and the y coordinate of the top panel's x-axis.
// Throws std::invalid_argument for a front with messages or without points.
std::string front_chart(const Front& front, const std::vector<std::string>& predictor_names = {});

namespace charts {

// The colour of the four-fifths line (AI = 0.8) on both charts, used by
// nothing else, so that it can be found in a rendered picture.
inline constexpr std::string_view four_fifths_colour = "#e0007a";

// The page both charts share: 860 units wide, two panels one above the other
// with the same left edge and width, each with its legend to its right.
inline constexpr double page_width = 860;
inline constexpr double plot_left = 96;
inline constexpr double plot_width = 516;
inline constexpr double legend_left = 630;
inline constexpr double legend_width = 214;

// Text for XML character data and attribute values: & < > " ' escaped, and
// what XML cannot hold (control characters, malformed UTF-8) replaced by
// U+FFFD.
std::string xml_text(std::string_view text);

// A number for a coordinate: at most two decimals, no trailing zeros.
std::string coordinate(double value);

// A number for a label, with the given decimals and a true minus sign.
std::string label_number(double value, int decimals);

// A selection ratio for a label: three decimals, trailing zeros dropped down
// to two (0.1 as 0.10, 0.125 as 0.125).
std::string ratio_label(double ratio);

// The width of a line of text in the charts' sans-serif font, estimated
// generously from its number of characters.
double text_width(std::string_view text, double font_size);

// The lines of text no wider than width, broken between words.
std::vector<std::string> wrap(std::string_view text, double width, double font_size);

// One axis: its range and tick step fall on round numbers.
struct Axis {
  double lo = 0;
  double hi = 1;
  double step = 0.1;
  int decimals = 1;  // of the tick labels
  std::string title{};
};

// The axis with round ends and a round step (1, 2, 2.5 or 5 times a power of
// ten) that covers [lo, hi] in about `intervals` steps. Non-finite ends give
// the axis of [0, 1].
Axis round_axis(double lo, double hi, int intervals, std::string title);

// One plot area of a chart and the axes that map data into it.
struct Panel {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
  Axis x{};
  Axis y{};

  double right() const { return left + width; }
  double bottom() const { return top + height; }
  double px(double value) const;            // the x coordinate of a value on the x-axis
  double py(double value) const;            // the y coordinate of a value on the y-axis
  bool contains(double x, double y) const;  // the data point lies within both axes
};

// A panel of the shared page: at plot_left, plot_width wide.
Panel page_panel(double top, double height, Axis x, Axis y);

enum class Marker { none, circle, square, triangle, diamond, down_triangle, cross };

// How a line and its markers are drawn.
struct Style {
  std::string colour = "#000000";
  double width = 1.5;
  std::string dash{};  // stroke-dasharray; empty for a solid line
  Marker marker = Marker::none;
  bool filled = false;  // marker filled with the colour, or white inside
};

// The four-fifths line: solid, 2 units wide, in four_fifths_colour.
Style four_fifths_style();

// One line of data. A point whose x or y is not finite, or lies outside the
// panel's axes, breaks the line there.
struct Series {
  std::string label{};
  Style style{};
  std::vector<std::pair<double, double>> points{};
  std::vector<std::size_t> marked{};  // the points that carry the style's marker
};

// One entry of a legend: a sample of the style (a line, a marker, or both)
// and its label.
struct LegendEntry {
  std::string label{};
  Style style{};
  bool line = true;
};

// A text's placement and look.
struct Text {
  double size = 12;
  std::string_view anchor = "start";  // start, middle or end
  bool bold = false;
  std::string_view colour = "#000000";
  bool halo = false;  // a white outline that keeps the text legible over lines
  double rotate = 0;  // degrees, about the anchor point
};

// An SVG document being drawn: elements go into body; svg() wraps them in the
// root element with the title, the description, the data attributes and a
// white background.
struct Drawing {
  double width = 0;
  double height = 0;
  std::string title{};
  std::string desc{};
  std::vector<std::pair<std::string, std::string>> data{};  // data-NAME attributes of the root
  std::string body{};

  std::string svg() const;
};

void draw_text(Drawing& d, double x, double y, std::string_view text, const Text& t);
void draw_line(Drawing& d, double x1, double y1, double x2, double y2, const Style& s);
void draw_marker(Drawing& d, double x, double y, const Style& s, double size = 4.5);

// The panel's grid, axes, ticks, tick labels and axis titles.
void draw_panel(Drawing& d, const Panel& p);

// A line of data clipped to the panel, with its markers.
void draw_series(Drawing& d, const Panel& p, const Series& s);

// A framed legend with a bold heading, its top-left corner at (x, y) and the
// given width; labels too long for it are shortened with an ellipsis. Returns
// the y coordinate of its bottom edge.
double draw_legend(Drawing& d, double x, double y, double width, std::string_view heading,
                   const std::vector<LegendEntry>& entries);

// The start of a text of the given width placed at x, moved as little as
// needed to stay within [lo, hi].
double clamp_start(double x, double width, double lo, double hi);

// The line of group k in a chart of several groups: apart in colour, dash
// pattern and marker alike, none in the four-fifths line's magenta.
Style group_style(std::size_t k, bool filled);

}  // namespace charts
}  // namespace fourfifths
