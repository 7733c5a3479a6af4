// The charts as a person sees them. The study chart of each example deck
// (with a sweep of ratios 0.01 to 0.99) and a front chart of the worked
// example's two predictors, computed here by hand, are written to the build
// directory and rendered by headless Chromium; the pictures must not be
// blank or clipped, the four-fifths line must stand where the chart's own
// axis puts 0.8, and rows without values must leave gaps in the lines.
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "charts/charts.h"
#include "charts/group_chart.h"
#include "charts/planning_chart.h"
#include "fourfifths/deck.h"
#include "fourfifths/studyfile.h"
#include "support/process.h"

namespace fourfifths {
namespace {

namespace fs = std::filesystem;

const fs::path chart_dir = FOURFIFTHS_CHART_DIR;

// White space around the chart in the rendering: whatever the chart draws
// outside its own area lands there.
constexpr int frame = 40;

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb{};

  const unsigned char* at(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                 static_cast<std::size_t>(x)) *
                3];
  }
  bool ink(int x, int y) const {
    const unsigned char* p = at(x, y);
    return p[0] < 245 || p[1] < 245 || p[2] < 245;
  }
  // Within a small distance of the colour (a pixel of the line, not of its
  // anti-aliased edge).
  bool near(int x, int y, int r, int g, int b) const {
    const unsigned char* p = at(x, y);
    const int dr = p[0] - r, dg = p[1] - g, db = p[2] - b;
    return dr * dr + dg * dg + db * db < 60 * 60;
  }
};

Picture read_png(const fs::path& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str()))
    throw std::runtime_error("cannot read " + path.string() + ": " + image.message);
  image.format = PNG_FORMAT_RGB;
  Picture p;
  p.width = static_cast<int>(image.width);
  p.height = static_cast<int>(image.height);
  p.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr))
    throw std::runtime_error("cannot decode " + path.string() + ": " + image.message);
  return p;
}

// Headless Chromium with a fresh profile.
testing::Ended chromium(const std::vector<std::string>& args) {
  std::string profile = (fs::temp_directory_path() / "fourfifths-chromium-XXXXXX").string();
  if (!mkdtemp(profile.data())) throw std::runtime_error("mkdtemp failed");
  testing::Spawn s{
      .program = "/usr/bin/chromium",
      .args = {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--user-data-dir=" + profile, "--force-device-scale-factor=1"}};
  s.args.insert(s.args.end(), args.begin(), args.end());
  testing::Ended e = testing::spawn(s);
  fs::remove_all(profile);
  return e;
}

void write_file(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

double data_attribute(const std::string& svg, const std::string& name) {
  std::smatch m;
  if (!std::regex_search(svg, m, std::regex("data-" + name + "=\"([-0-9.]+)\"")))
    throw std::runtime_error("no data-" + name);
  return std::stod(m[1]);
}

// A chart as written, its size, and its picture in Chromium. The SVG is
// saved as NAME.svg; the rendering uses a copy whose viewBox has a frame of
// white around the chart's own area, saved as NAME.png.
struct Rendered {
  std::string svg{};
  double width = 0;
  double height = 0;
  Picture picture{};
};

Rendered render(const std::string& svg, const std::string& name) {
  Rendered r{.svg = svg};
  std::smatch m;
  const std::regex size(
      R"re(width="([0-9.]+)" height="([0-9.]+)" viewBox="0 0 ([0-9.]+) ([0-9.]+)")re");
  if (!std::regex_search(svg, m, size)) throw std::runtime_error("no size on the root element");
  r.width = std::stod(m[1]);
  r.height = std::stod(m[2]);
  EXPECT_EQ(m[1], m[3]);
  EXPECT_EQ(m[2], m[4]);
  const int w = static_cast<int>(std::ceil(r.width)) + 2 * frame;
  const int h = static_cast<int>(std::ceil(r.height)) + 2 * frame;
  const std::string framed = m.prefix().str() + "width=\"" + std::to_string(w) + "\" height=\"" +
                             std::to_string(h) + "\" viewBox=\"-" + std::to_string(frame) + " -" +
                             std::to_string(frame) + " " + std::to_string(w) + " " +
                             std::to_string(h) + "\"" + m.suffix().str();
  write_file(chart_dir / (name + ".svg"), svg);
  write_file(chart_dir / (name + "-framed.svg"), framed);
  const fs::path png = chart_dir / (name + ".png");
  fs::remove(png);
  const testing::Ended e = chromium({"--screenshot=" + png.string(),
                                     "--window-size=" + std::to_string(w) + "," + std::to_string(h),
                                     "file://" + (chart_dir / (name + "-framed.svg")).string()});
  if (!fs::exists(png)) throw std::runtime_error("chromium wrote no picture: " + e.err);
  r.picture = read_png(png);
  return r;
}

// Not blank, and nothing outside the chart's area or touching its edges.
void expect_whole(const Rendered& r) {
  const Picture& p = r.picture;
  int left = p.width, right = -1, top = p.height, bottom = -1;
  long inked = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.ink(x, y)) {
        ++inked;
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  EXPECT_GT(static_cast<double>(inked), 0.03 * r.width * r.height)
      << "the picture is (nearly) blank";
  constexpr int clear = 5;  // pixels of white inside each edge of the chart
  EXPECT_GE(left, frame + clear);
  EXPECT_GE(top, frame + clear);
  EXPECT_LT(right, frame + static_cast<int>(r.width) - clear);
  EXPECT_LT(bottom, frame + static_cast<int>(r.height) - clear);
}

// The centre of the pixel rows (or columns) that hold at least `length`
// pixels of the four-fifths line's magenta (#e0007a, a hue no other line has;
// lighter where the line is anti-aliased): where the line is.
double four_fifths_line(const Picture& p, bool horizontal, int length) {
  const int lines = horizontal ? p.height : p.width;
  double sum = 0, count = 0;
  for (int k = 0; k < lines; ++k) {
    int along = 0;
    for (int j = 0; j < (horizontal ? p.width : p.height); ++j) {
      const int x = horizontal ? j : k, y = horizontal ? k : j;
      const unsigned char* c = p.at(x, y);
      along += c[0] - c[1] > 60 && c[2] - c[1] > 25 && c[0] > c[2];
    }
    if (along >= length) {
      sum += (k + 0.5) * along;
      count += along;
    }
  }
  return count > 0 ? sum / count : -1;
}

std::vector<double> sweep() {
  std::vector<double> ratios;
  for (int k = 1; k <= 99; ++k) ratios.push_back(k / 100.0);
  return ratios;
}

Study study_of_deck(const fs::path& deck) {
  const DeckReading reading = read_deck(testing::read_file(deck.string()));
  if (!reading.ok()) throw std::runtime_error("cannot read " + deck.string());
  return analyse(reading.problem, {.sweep = sweep()});
}

std::vector<std::string> example_decks() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(FOURFIFTHS_SOURCE_DIR) / "examples"))
    if (entry.path().extension() == ".deck") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ExampleChart : public ::testing::TestWithParam<std::string> {};

// Each example's study chart is whole, and its four-fifths line, a magenta
// row across the top panel, lies where data-y08 says the axis puts 0.8.
TEST_P(ExampleChart, RendersWholeWithTheFourFifthsLineAtEightTenths) {
  const Study study =
      study_of_deck(fs::path(FOURFIFTHS_SOURCE_DIR) / "examples" / (GetParam() + ".deck"));
  const Rendered r = render(study_chart(study), GetParam());
  expect_whole(r);
  const double row = four_fifths_line(r.picture, true, 300);
  EXPECT_NEAR(row, frame + data_attribute(r.svg, "y08"), 1.5);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleChart, ::testing::ValuesIn(example_decks()),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// The chart titles name the basis and the boundary, whose ratios the study
// tests derive by hand: SR 0.904 overall and SRA 0.942 in the majority basis.
TEST(StudyChart, TitleNamesTheBasisAndTheBoundary) {
  const struct {
    const char* deck;
    const char* title;
  } cases[] = {
      {"worked",
       "Adverse impact by overall selection ratio \xE2\x80\x94 four-fifths rule met from SR 0.904"},
      {"worked-majority",
       "Adverse impact by majority selection ratio \xE2\x80\x94 four-fifths rule met from SRA "
       "0.942"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.deck);
    const std::string svg = study_chart(study_of_deck(fs::path(FOURFIFTHS_SOURCE_DIR) / "examples" /
                                                      (std::string(c.deck) + ".deck")));
    EXPECT_NE(svg.find(std::string("<title id=\"chart-title\">") + c.title + "</title>"),
              std::string::npos);
  }
}

// Rows that are not ok leave a gap in every line, a NaN value a gap in its
// own line only, and nothing drops to zero or spikes there: in the picture,
// the columns of those ratios hold no pixel of the lines concerned.
TEST(StudyChart, RowsWithoutValuesLeaveGaps) {
  Study study = study_of_deck(fs::path(FOURFIFTHS_SOURCE_DIR) / "examples" / "worked.deck");
  for (Row& row : study.rows) {
    if (row.sr > 0.30 && row.sr < 0.40) {
      row.status = RowStatus::no_cutoff;
      row.sra = row.sri = row.ai = NAN;
    }
    if (row.sr > 0.60 && row.sr < 0.70) row.ai = NAN;
  }
  const Rendered r = render(study_chart(study), "gaps");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      r.svg, m, std::regex(R"re(data-plot="([0-9.]+) ([0-9.]+) ([0-9.]+) ([0-9.]+)")re")));
  const double left = std::stod(m[1]), top = std::stod(m[2]), right = std::stod(m[3]),
               bottom = std::stod(m[4]);
  // The x-axis runs from 0 to 1.
  const auto column = [&](double sr) { return frame + left + sr * (right - left); };
  const struct {
    const char* line;
    int rgb[3];
  } lines[] = {{"SRA", {0x1f, 0x5f, 0xbf}}, {"SRI", {0xd0, 0x60, 0x0f}}, {"AI", {0, 0, 0}}};
  // Pixels of a line's colour between two ratios, from the top of the panel
  // down to just below its x-axis, where a value drawn as zero would lie.
  const auto pixels = [&](double from, double to, const int* rgb) {
    int n = 0;
    for (int x = static_cast<int>(column(from)) + 3; x < static_cast<int>(column(to)) - 3; ++x)
      for (int y = frame + static_cast<int>(top) + 3; y < frame + static_cast<int>(bottom) + 3; ++y)
        n += r.picture.near(x, y, rgb[0], rgb[1], rgb[2]);
    return n;
  };
  for (const auto& l : lines) {
    SCOPED_TRACE(l.line);
    EXPECT_GT(pixels(0.20, 0.30, l.rgb), 20) << "drawn where the rows have values";
    EXPECT_EQ(pixels(0.31, 0.39, l.rgb), 0) << "drawn where the rows are not ok";
    if (std::string(l.line) == "AI") {
      EXPECT_EQ(pixels(0.61, 0.69, l.rgb), 0) << "drawn where the values are NaN";
    } else {
      EXPECT_GT(pixels(0.61, 0.69, l.rgb), 20) << "missing where only AI is NaN";
    }
  }
}

// The upper tail of the standard normal distribution.
double upper_tail(double z) {
  return 0.5 * std::erfc(z / std::sqrt(2.0));
}

// The worked example's two predictors weighted w and 1 - w (correlated 0.3,
// correlated 0.5 and 0.4 with the criterion, effect sizes -1 and -0.2), four
// majority applicants to each minority applicant, overall SR 0.5: the
// validity and the composite's effect size in closed form, the cut-off by
// bisection on the overall selection ratio.
FrontPoint worked_weighting(double w) {
  const double sd = std::sqrt(w * w + (1 - w) * (1 - w) + 2 * 0.3 * w * (1 - w));
  FrontPoint p;
  p.validity = (0.5 * w + 0.4 * (1 - w)) / sd;
  p.composite_d = (-1.0 * w - 0.2 * (1 - w)) / sd;
  double lo = -8, hi = 8;
  for (int k = 0; k < 200; ++k) {
    const double c = (lo + hi) / 2;
    (0.8 * upper_tail(c) + 0.2 * upper_tail(c - p.composite_d) > 0.5 ? lo : hi) = c;
  }
  p.cutoff = (lo + hi) / 2;
  p.sra = upper_tail(p.cutoff);
  p.sri = upper_tail(p.cutoff - p.composite_d);
  p.ai = p.sri / p.sra;
  p.quality = p.quality_majority = p.quality_minority = NAN;
  p.weights = {w, 1 - w};
  return p;
}

// The front of the two predictors with non-negative weights: from the
// regression weights (R^-1 r = (0.38, 0.25) / 0.91, the most valid weighting)
// to the second predictor alone (the smallest effect size), with the
// weighting whose AI is 0.8 found by bisection.
Front worked_front() {
  Front f;
  f.sr = 0.5;
  const double most_valid = 0.38 / (0.38 + 0.25);
  for (int k = 0; k <= 20; ++k) f.points.push_back(worked_weighting(most_valid * (20 - k) / 20));
  f.points.front().kind = PointKind::max_validity;
  f.points.back().kind = PointKind::min_impact;
  double lo = 0, hi = most_valid;  // AI falls as the first predictor's weight grows
  for (int k = 0; k < 100; ++k)
    (worked_weighting((lo + hi) / 2).ai > 0.8 ? lo : hi) = (lo + hi) / 2;
  FrontPoint four_fifths = worked_weighting((lo + hi) / 2);
  four_fifths.kind = PointKind::four_fifths;
  const auto after = std::find_if(f.points.begin(), f.points.end(),
                                  [](const FrontPoint& p) { return p.ai > 0.8; });
  f.points.insert(after, four_fifths);
  f.notes = {
      "Non-negative weights cannot reach parity (AI 1) at this selection ratio: "
      "the second predictor alone gives AI " +
      std::to_string(f.points.back().ai).substr(0, 5) + "."};
  return f;
}

// The front chart is whole, and its four-fifths line, a magenta column
// through both panels, lies where data-x08 says the axis puts AI 0.8.
TEST(FrontChart, RendersWholeWithTheFourFifthsLineAtEightTenths) {
  const Rendered r = render(front_chart(worked_front()), "front");
  expect_whole(r);
  const double column = four_fifths_line(r.picture, false, 300);
  EXPECT_NEAR(column, frame + data_attribute(r.svg, "x08"), 1.5);
}

// A front fitted in a validation sample draws what new applicants can be
// expected to see as a second, dashed blue line in the validity panel (whose
// only other lines are black and magenta), with its legend entry and a note.
TEST(FrontChart, ShrunkFrontIsASecondLine) {
  Front f = worked_front();
  const auto blue_in_validity_panel = [](const Rendered& r) {
    int blue = 0;
    for (int y = frame + 90; y < frame + 410; ++y)
      for (int x = frame + 90; x < frame + 610; ++x) blue += r.picture.near(x, y, 0x1f, 0x5f, 0xbf);
    return blue;
  };
  EXPECT_EQ(blue_in_validity_panel(render(front_chart(f), "front-population")), 0);
  f.sample_size = 100;
  f.predictors_screened = 2;
  for (FrontPoint& p : f.points) {
    p.shrunk_validity = p.validity - 0.05;
    p.shrunk_ai = p.ai - 0.05;
  }
  const Rendered r = render(front_chart(f), "front-shrunk");
  expect_whole(r);
  EXPECT_GT(blue_in_validity_panel(r), 300);
  EXPECT_NE(r.svg.find("expected, N = 100"), std::string::npos);
  EXPECT_NE(r.svg.find("validation sample of 100 with 2 predictors"), std::string::npos);
}

// The planning chart is whole, and its four-fifths violation line (black,
// three units wide) runs where the library's probabilities and the chart's
// own axes put it: halfway between the last two sizes of a plan of 20 and 20
// applicants, at the mean of their probabilities.
TEST(PlanningChart, ViolationLineWhereTheProbabilitiesPutIt) {
  const std::vector<SizedDistribution> sizes = distributions_by_size({20, 20, 0.3, 0.3, 0.05});
  ASSERT_GE(sizes.size(), 2u);
  const Rendered r = render(planning_chart(sizes), "planning");
  expect_whole(r);
  std::smatch m;
  const std::string number = "([-0-9.]+)";
  ASSERT_TRUE(std::regex_search(r.svg, m, std::regex("data-plot=\"" + number + " " + number + " " +
                                                     number + " " + number + "\" data-x=\"" + number +
                                                     " " + number + "\" data-y=\"" + number + " " +
                                                     number + "\"")));
  std::vector<double> v;
  for (std::size_t k = 1; k <= 8; ++k) v.push_back(std::stod(m[k]));
  const auto& a = sizes[sizes.size() - 2];
  const auto& b = sizes.back();
  const double x = (static_cast<double>(a.plan.reference_applicants + a.plan.group_applicants +
                                        b.plan.reference_applicants + b.plan.group_applicants) / 2 -
                    v[4]) / (v[5] - v[4]);
  const double y = ((a.distribution.p_violation + b.distribution.p_violation) / 2 - v[6]) / (v[7] - v[6]);
  const int px = frame + static_cast<int>(std::lround(v[0] + x * (v[2] - v[0])));
  const int py = frame + static_cast<int>(std::lround(v[3] - y * (v[3] - v[1])));
  int black = 0;
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -1; dx <= 1; ++dx) black += r.picture.near(px + dx, py + dy, 0, 0, 0);
  EXPECT_GE(black, 3) << "at " << px << ", " << py;
  EXPECT_THROW(planning_chart({}), std::invalid_argument);
  EXPECT_THROW(planning_chart(distributions_by_size({0, 10, 0.5, 0.5, 0.05})), std::invalid_argument);
}

// The chart of several groups: its any-group line (black, three units wide)
// runs where the library's probabilities put it, halfway between the last two
// sizes, and the groups' names stand in its legend.
TEST(PlanningChart, SeveralGroupsLineWhereTheProbabilitiesPutIt) {
  const MultiPlan plan{{{"White", 24, 0.3}, {"Black", 10, 0.2}, {"Asian", 6, 0.3}}, 0.05};
  const std::vector<SizedMultiDistribution> sizes = multi_distributions_by_size(plan, 12);
  ASSERT_GE(sizes.size(), 2u);
  const Rendered r = render(multi_planning_chart(sizes), "planning-groups");
  expect_whole(r);
  std::smatch m;
  const std::string number = "([-0-9.]+)";
  ASSERT_TRUE(std::regex_search(r.svg, m, std::regex("data-plot=\"" + number + " " + number + " " + number +
                                                     " " + number + "\" data-x=\"" + number + " " + number +
                                                     "\" data-y=\"" + number + " " + number + "\"")));
  std::vector<double> v;
  for (std::size_t k = 1; k <= 8; ++k) v.push_back(std::stod(m[k]));
  const auto total = [](const MultiPlan& p) {
    long n = 0;
    for (const GroupPlan& g : p.groups) n += g.applicants;
    return static_cast<double>(n);
  };
  const auto& a = sizes[sizes.size() - 2];
  const auto& b = sizes.back();
  const double x = ((total(a.plan) + total(b.plan)) / 2 - v[4]) / (v[5] - v[4]);
  const double y =
      ((a.distribution.any.p_violation + b.distribution.any.p_violation) / 2 - v[6]) / (v[7] - v[6]);
  const int px = frame + static_cast<int>(std::lround(v[0] + x * (v[2] - v[0])));
  const int py = frame + static_cast<int>(std::lround(v[3] - y * (v[3] - v[1])));
  int black = 0;
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -1; dx <= 1; ++dx) black += r.picture.near(px + dx, py + dy, 0, 0, 0);
  EXPECT_GE(black, 3) << "at " << px << ", " << py;
  for (const char* name : {"Black", "Asian", "any group", "any group, at parity"})
    EXPECT_NE(r.svg.find(std::string(">") + name + "<"), std::string::npos) << name;
  EXPECT_THROW(multi_planning_chart({}), std::invalid_argument);
  EXPECT_THROW(multi_planning_chart(multi_distributions_by_size({{{"A", 0, 0.5}, {"B", 3, 0.5}}, 0.05})),
               std::invalid_argument);
}

// Names with markup, quotes, a control character and a malformed byte reach
// the browser as text: the document parses, and its text holds the names.
TEST(FrontChart, PredictorNamesAreText) {
  const std::vector<std::string> names = {"Reasoning & <memory>",
                                          "\"Structured\" interview\x01\xFF"};
  const std::string svg = front_chart(worked_front(), names);
  write_file(chart_dir / "front-named.svg", svg);
  const testing::Ended e =
      chromium({"--dump-dom", "file://" + (chart_dir / "front-named.svg").string()});
  EXPECT_EQ(e.out.find("parsererror"), std::string::npos) << e.out;
  EXPECT_NE(e.out.find("Reasoning &amp; &lt;memory&gt;"), std::string::npos) << e.out;
  EXPECT_NE(e.out.find("\"Structured\" interview\xEF\xBF\xBD\xEF\xBF\xBD"), std::string::npos)
      << e.out;
}

// A rejected study and a front with messages have nothing to chart.
TEST(Charts, RefuseWhatHasNoValues) {
  Study rejected;
  rejected.messages = {"Too many predictors and criteria"};
  EXPECT_THROW(study_chart(rejected), std::invalid_argument);
  Front none;
  none.messages = {"No front"};
  EXPECT_THROW(front_chart(none), std::invalid_argument);
  EXPECT_THROW(front_chart(Front{}), std::invalid_argument);
}

}  // namespace
}  // namespace fourfifths

namespace fourfifths {
namespace {

// The chart of the example study of four groups: whole, the four-fifths line
// where data-y08 says, a line in each charted group's colour, and each
// group's boundary marked on the four-fifths line in its colour at its ratio
// (Black at SR 0.872, Hispanic at 0.783, values the group tests check against
// a direct search), labelled with the group's name.
TEST(GroupChart, EachGroupsLineAndBoundary) {
  const StudyFileReading file =
      read_study_file(testing::read_file(FOURFIFTHS_SOURCE_DIR "/examples/groups.toml"), "groups.toml");
  ASSERT_FALSE(file.error);
  const GroupStudy study = analyse(file.study.problem);
  const Rendered r = render(group_chart(study), "groups");
  expect_whole(r);
  const double y08 = data_attribute(r.svg, "y08");
  EXPECT_NEAR(four_fifths_line(r.picture, true, 300), frame + y08, 1.5);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      r.svg, m, std::regex(R"re(data-plot="([0-9.]+) ([0-9.]+) ([0-9.]+) ([0-9.]+)")re")));
  const double left = std::stod(m[1]), top = std::stod(m[2]), right = std::stod(m[3]),
               bottom = std::stod(m[4]);
  const struct {
    const char* group;
    int rgb[3];
    double boundary;  // NaN: none on the line
  } groups[] = {{"White", {0x1f, 0x5f, 0xbf}, NAN},
                {"Black", {0xd0, 0x60, 0x0f}, 0.872},
                {"Hispanic", {0x2a, 0x8a, 0x3a}, 0.783}};
  for (const auto& g : groups) {
    SCOPED_TRACE(g.group);
    int inside = 0;
    for (int y = frame + static_cast<int>(top); y < frame + static_cast<int>(bottom); ++y)
      for (int x = frame + static_cast<int>(left); x < frame + static_cast<int>(right); ++x)
        inside += r.picture.near(x, y, g.rgb[0], g.rgb[1], g.rgb[2]);
    EXPECT_GT(inside, 300) << "the group's line";
    if (std::isnan(g.boundary)) continue;
    const int x = frame + static_cast<int>(std::lround(left + g.boundary * (right - left)));
    const int y = frame + static_cast<int>(std::lround(y08));
    int marker = 0;
    for (int dy = -3; dy <= 3; ++dy)
      for (int dx = -3; dx <= 3; ++dx) marker += r.picture.near(x + dx, y + dy, g.rgb[0], g.rgb[1], g.rgb[2]);
    EXPECT_GT(marker, 20) << "the boundary's marker";
    char label[64];
    std::snprintf(label, sizeof label, ">%s %.3f</text>", g.group, g.boundary);
    EXPECT_NE(r.svg.find(label), std::string::npos) << label;
  }
  EXPECT_NE(r.svg.find(">every group from SR 0.872</text>"), std::string::npos);
}

}  // namespace
}  // namespace fourfifths
