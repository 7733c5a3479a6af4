// Reads a report back by its fixed columns: the statistics line of the
// predictor composite, the four-fifths boundary block and the table rows in
// the order the tables print them (21 built-in ratios, the boundary, the
// requested ratios).
#include "study/report_text.h"

#include <cmath>
#include <cstdlib>

namespace fourfifths::testing {
namespace {

constexpr std::string_view dx_label = "Effect size predictor composite";
constexpr std::string_view overall_boundary =
    "Minimum overall selection ratio without AI 4/5th rule is ";
constexpr std::string_view majority_boundary =
    "Minimal majority selection ratio without AI 4/5th rule is ";
constexpr std::string_view overall_labels =
    "     SR     SRA     SRI      AI       M      MA      MI     DIF";
constexpr std::string_view overall_labels_second = "        SM     SMA     SMI    SDIF";
constexpr std::string_view majority_labels = "    SRA     SRI      AI      MA      MI";

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

std::string slice(std::string_view s, std::size_t from, std::size_t n) {
  return from >= s.size() ? std::string() : std::string(s.substr(from, n));
}

}  // namespace

std::string_view TableRow::field(int k) const {
  const std::size_t from = static_cast<std::size_t>(k) * 8;
  return from >= first.size() ? std::string_view() : std::string_view(first).substr(from, 7);
}

std::optional<double> printed_number(std::string_view field) {
  std::string s(field);
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::nullopt;
  s = s.substr(b, s.find_last_not_of(' ') - b + 1);
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string parse_report(const std::string& text, bool overall, int nsr, ReportText& report) {
  if (text.empty() || text.back() != '\n') return "the report does not end with a complete record";
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t nl = text.find('\n', at);
    lines.push_back(text.substr(at, nl - at));
    at = nl + 1;
  }
  std::size_t i = 0;
  auto find = [&](auto&& match) {
    while (i < lines.size() && !match(lines[i])) ++i;
    return i < lines.size();
  };

  if (!find([](const std::string& l) { return starts_with(l, dx_label); }))
    return "no effect size of the predictor composite";
  report.dx = slice(lines[i], dx_label.size(), 7);

  const std::string_view boundary_text = overall ? overall_boundary : majority_boundary;
  if (!find([&](const std::string& l) {
        return l == "Error in srmax " || starts_with(l, boundary_text);
      }))
    return "no four-fifths boundary block";
  if (lines[i] != "Error in srmax ") {
    report.boundary_found = true;
    if (i + 2 >= lines.size() || !starts_with(lines[i + 2], "to "))
      return "boundary block without its group ratios";
    const std::string& to = lines[i + 2];
    if (overall) {
      report.boundary = slice(lines[i], boundary_text.size(), 7);
      report.boundary_sra = slice(to, 3, 7);
      report.boundary_sri = slice(to, 10, 7);
      if (to.substr(std::min(to.size(), std::size_t{17})) != " , respectively")
        return "overall boundary record does not end with \" , respectively\"";
    } else {
      report.boundary_sra = slice(lines[i], boundary_text.size(), 7);
      report.boundary = report.boundary_sra;
      report.boundary_sri = slice(to, 3, 7);
    }
  }

  if (!find(
          [&](const std::string& l) { return l == (overall ? overall_labels : majority_labels); }))
    return "no table heading";
  ++i;
  if (i >= lines.size() || lines[i] != (overall ? overall_labels_second : std::string_view()))
    return "table heading incomplete";
  ++i;

  auto row = [&](TableRow& r) -> std::string {
    if (i >= lines.size()) return "table ends early";
    r.first = lines[i++];
    if (starts_with(r.first, "ERROR ")) {
      r.error = true;
      return "";
    }
    if (overall) {
      if (i >= lines.size()) return "overall row without its second record";
      r.second = lines[i++];
    }
    return "";
  };

  for (int k = 0; k < 21; ++k) {
    TableRow r;
    if (auto why = row(r); !why.empty()) return why;
    report.builtin.push_back(r);
  }
  const std::string boundary_heading = overall
                                           ? "Details for minimum possible overall SR without AI"
                                           : "Details for minimum possible majority SR without AI";
  if (i >= lines.size() || lines[i] != boundary_heading)
    return "no \"" + boundary_heading + "\" after the built-in rows";
  ++i;
  if (report.boundary_found) {
    TableRow r;
    if (auto why = row(r); !why.empty()) return why;
    report.boundary_row = r;
  }
  if (nsr > 0) {
    const std::string requested_heading = overall
                                              ? "Details for requested overall selection ratios"
                                              : "Details for requested majority selection ratios";
    if (i >= lines.size() || lines[i] != requested_heading)
      return "no \"" + requested_heading + "\" before the requested rows";
    ++i;
    for (int k = 0; k < nsr; ++k) {
      TableRow r;
      if (auto why = row(r); !why.empty()) return why;
      report.requested.push_back(r);
    }
  }
  if (i != lines.size()) return "records after the last table row: \"" + lines[i] + "\"";
  return "";
}

}  // namespace fourfifths::testing
