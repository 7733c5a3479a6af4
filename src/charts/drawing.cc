// The drawing pieces of the charts: text and numbers as SVG holds them,
// round-numbered axes, plot panels with their ticks and titles, lines of data
// broken where a value is missing, markers and legends.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "charts/charts.h"

namespace fourfifths::charts {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the well-formed UTF-8 sequence of an XML character at the
// start of text, or 0 when there is none.
std::size_t utf8_character(std::string_view text) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  char32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(k) & 0x3F);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  const bool noncharacter = code == 0xFFFE || code == 0xFFFF;
  if (code < least[length] || code > 0x10FFFF || surrogate || noncharacter) return 0;
  return length;
}

std::string fixed(double value, int decimals) {
  std::array<char, 64> buffer;
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                          std::chars_format::fixed, decimals);
  if (error != std::errc()) return "0";
  std::string s(buffer.data(), end);
  if (s.find_first_not_of("-0.") == std::string::npos) s = s.substr(s[0] == '-' ? 1 : 0);
  return s;
}

// Removes the last character (all its bytes) of a UTF-8 string.
void drop_last_character(std::string& s) {
  while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) s.pop_back();
  if (!s.empty()) s.pop_back();
}

// The label, cut short with an ellipsis when it is wider than room.
std::string shortened(std::string label, double room, double font_size) {
  if (text_width(label, font_size) <= room) return label;
  const std::string ellipsis = "\xE2\x80\xA6";
  while (!label.empty() && text_width(label + ellipsis, font_size) > room)
    drop_last_character(label);
  return label + ellipsis;
}

std::string dash_attribute(const Style& s) {
  return s.dash.empty() ? "" : " stroke-dasharray=\"" + s.dash + "\"";
}

}  // namespace

std::string xml_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t length = utf8_character(text.substr(i));
      out += length ? text.substr(i, length) : replacement;
      i += length ? length : 1;
      continue;
    }
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\t':
      case '\n':
      case '\r':
        out += ' ';
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += replacement;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out;
}

std::string coordinate(double value) {
  std::string s = fixed(value, 2);
  if (s.find('.') != std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

std::string label_number(double value, int decimals) {
  std::string s = fixed(value, decimals);
  return s[0] == '-' ? "\xE2\x88\x92" + s.substr(1) : s;
}

std::string ratio_label(double ratio) {
  // Ratios too small for three decimals, with three significant digits.
  if (ratio != 0 && std::fabs(ratio) < 0.0005) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", ratio);
    return text;
  }
  std::string s = label_number(ratio, 3);
  if (s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
  return s;
}

double text_width(std::string_view text, double font_size) {
  // Characters, not bytes: continuation bytes of UTF-8 do not count.
  const auto characters = std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  });
  return static_cast<double>(characters) * 0.58 * font_size;
}

std::vector<std::string> wrap(std::string_view text, double width, double font_size) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = text.find_first_not_of(' ', i);
    if (start == std::string_view::npos) break;
    const std::size_t end = std::min(text.find(' ', start), text.size());
    const std::string_view word = text.substr(start, end - start);
    const std::string joined = line.empty() ? std::string(word) : line + " " + std::string(word);
    if (!line.empty() && text_width(joined, font_size) > width) {
      lines.push_back(line);
      line = std::string(word);
    } else {
      line = joined;
    }
    i = end;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

Axis round_axis(double lo, double hi, int intervals, std::string title) {
  Axis a;
  a.title = std::move(title);
  if (!std::isfinite(lo) || !std::isfinite(hi)) return a;
  if (hi < lo) std::swap(lo, hi);
  if (hi - lo < 1e-9 * std::max(1.0, std::abs(hi))) {
    const double half = std::max(0.5, std::abs(hi) * 0.1);
    lo -= half;
    hi += half;
  }
  const double raw = (hi - lo) / std::max(1, intervals);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double mantissa = 10;
  for (double m : {1.0, 2.0, 2.5, 5.0})
    if (m * power >= raw * (1 - 1e-9)) {
      mantissa = m;
      break;
    }
  a.step = mantissa * power;
  a.lo = std::floor(lo / a.step + 1e-9) * a.step;
  a.hi = std::ceil(hi / a.step - 1e-9) * a.step;
  const int digits = static_cast<int>(-std::floor(std::log10(a.step) + 1e-9));
  a.decimals = std::max(0, digits + (mantissa == 2.5 ? 1 : 0));
  return a;
}

double Panel::px(double value) const {
  return left + (value - x.lo) / (x.hi - x.lo) * width;
}

double Panel::py(double value) const {
  return top + height - (value - y.lo) / (y.hi - y.lo) * height;
}

bool Panel::contains(double vx, double vy) const {
  const double slack_x = (x.hi - x.lo) * 1e-9;
  const double slack_y = (y.hi - y.lo) * 1e-9;
  return vx >= x.lo - slack_x && vx <= x.hi + slack_x && vy >= y.lo - slack_y &&
         vy <= y.hi + slack_y;
}

Panel page_panel(double top, double height, Axis x, Axis y) {
  return {.left = plot_left,
          .top = top,
          .width = plot_width,
          .height = height,
          .x = std::move(x),
          .y = std::move(y)};
}

Style four_fifths_style() {
  return {.colour = std::string(four_fifths_colour), .width = 2};
}

std::string Drawing::svg() const {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  const std::string w = coordinate(width);
  const std::string h = coordinate(height);
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
         "\" viewBox=\"0 0 " + w + " " + h +
         "\" role=\"img\" aria-labelledby=\"chart-title chart-desc\""
         " font-family=\"DejaVu Sans, Liberation Sans, Arial, Helvetica, sans-serif\"";
  for (const auto& [name, value] : data) out += " data-" + name + "=\"" + xml_text(value) + "\"";
  out += ">\n<title id=\"chart-title\">" + xml_text(title) + "</title>\n";
  out += "<desc id=\"chart-desc\">" + xml_text(desc) + "</desc>\n";
  out += "<rect x=\"0\" y=\"0\" width=\"" + w + "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n";
  out += body;
  out += "</svg>\n";
  return out;
}

void draw_text(Drawing& d, double x, double y, std::string_view text, const Text& t) {
  d.body += "<text x=\"" + coordinate(x) + "\" y=\"" + coordinate(y) + "\" font-size=\"" +
            coordinate(t.size) + "\"";
  if (t.anchor != "start") d.body += " text-anchor=\"" + std::string(t.anchor) + "\"";
  if (t.bold) d.body += " font-weight=\"bold\"";
  d.body += " fill=\"" + std::string(t.colour) + "\"";
  if (t.halo)
    d.body +=
        " stroke=\"#ffffff\" stroke-width=\"4\" stroke-linejoin=\"round\" paint-order=\"stroke\"";
  if (t.rotate != 0)
    d.body += " transform=\"rotate(" + coordinate(t.rotate) + " " + coordinate(x) + " " +
              coordinate(y) + ")\"";
  d.body += ">" + xml_text(text) + "</text>\n";
}

void draw_line(Drawing& d, double x1, double y1, double x2, double y2, const Style& s) {
  d.body += "<line x1=\"" + coordinate(x1) + "\" y1=\"" + coordinate(y1) + "\" x2=\"" +
            coordinate(x2) + "\" y2=\"" + coordinate(y2) + "\" stroke=\"" + s.colour +
            "\" stroke-width=\"" + coordinate(s.width) + "\"" + dash_attribute(s) + "/>\n";
}

void draw_marker(Drawing& d, double x, double y, const Style& s, double size) {
  const std::string paint = " fill=\"" + (s.filled ? s.colour : std::string("#ffffff")) +
                            "\" stroke=\"" + s.colour + "\" stroke-width=\"1.5\"/>\n";
  const auto at = [&](double dx, double dy) {
    return coordinate(x + dx) + "," + coordinate(y + dy);
  };
  const double r = size;
  switch (s.marker) {
    case Marker::none:
      return;
    case Marker::circle:
      d.body += "<circle cx=\"" + coordinate(x) + "\" cy=\"" + coordinate(y) + "\" r=\"" +
                coordinate(r * 0.9) + "\"" + paint;
      return;
    case Marker::square:
      d.body += "<rect x=\"" + coordinate(x - r * 0.8) + "\" y=\"" + coordinate(y - r * 0.8) +
                "\" width=\"" + coordinate(r * 1.6) + "\" height=\"" + coordinate(r * 1.6) + "\"" +
                paint;
      return;
    case Marker::triangle:
      d.body += "<polygon points=\"" + at(0, -r) + " " + at(r, r * 0.75) + " " + at(-r, r * 0.75) +
                "\"" + paint;
      return;
    case Marker::down_triangle:
      d.body += "<polygon points=\"" + at(0, r) + " " + at(r, -r * 0.75) + " " + at(-r, -r * 0.75) +
                "\"" + paint;
      return;
    case Marker::diamond:
      d.body += "<polygon points=\"" + at(0, -r * 1.2) + " " + at(r, 0) + " " + at(0, r * 1.2) +
                " " + at(-r, 0) + "\"" + paint;
      return;
    case Marker::cross:
      d.body += "<path d=\"M" + at(-r, -r) + "L" + at(r, r) + "M" + at(-r, r) + "L" + at(r, -r) +
                "\" fill=\"none\" stroke=\"" + s.colour + "\" stroke-width=\"2\"/>\n";
      return;
  }
}

void draw_panel(Drawing& d, const Panel& p) {
  const Style grid{.colour = "#dddddd", .width = 1};
  const Style axis{.colour = "#000000", .width = 1};
  const Text tick_text{.size = 12, .anchor = "middle", .colour = "#222222"};
  const auto count = [](const Axis& a) {
    return static_cast<int>(std::lround((a.hi - a.lo) / a.step));
  };
  for (int k = 0; k <= count(p.x); ++k) {
    const double v = p.x.lo + k * p.x.step;
    const double x = p.px(v);
    if (k > 0 && k < count(p.x)) draw_line(d, x, p.top, x, p.bottom(), grid);
    draw_line(d, x, p.bottom(), x, p.bottom() + 5, axis);
    draw_text(d, x, p.bottom() + 19, label_number(v, p.x.decimals), tick_text);
  }
  Text y_tick_text = tick_text;
  y_tick_text.anchor = "end";
  for (int k = 0; k <= count(p.y); ++k) {
    const double v = p.y.lo + k * p.y.step;
    const double y = p.py(v);
    if (k > 0 && k < count(p.y)) draw_line(d, p.left, y, p.right(), y, grid);
    draw_line(d, p.left - 5, y, p.left, y, axis);
    draw_text(d, p.left - 8, y + 4, label_number(v, p.y.decimals), y_tick_text);
  }
  d.body += "<rect x=\"" + coordinate(p.left) + "\" y=\"" + coordinate(p.top) + "\" width=\"" +
            coordinate(p.width) + "\" height=\"" + coordinate(p.height) +
            "\" fill=\"none\" stroke=\"#000000\" stroke-width=\"1\"/>\n";
  const Text title{.size = 13, .anchor = "middle"};
  draw_text(d, p.left + p.width / 2, p.bottom() + 40, p.x.title, title);
  Text y_title = title;
  y_title.rotate = -90;
  draw_text(d, p.left - 50, p.top + p.height / 2, p.y.title, y_title);
}

void draw_series(Drawing& d, const Panel& p, const Series& s) {
  std::vector<std::vector<std::pair<double, double>>> runs(1);
  for (const auto& [x, y] : s.points) {
    if (std::isfinite(x) && std::isfinite(y) && p.contains(x, y)) {
      runs.back().emplace_back(p.px(x), p.py(y));
    } else if (!runs.back().empty()) {
      runs.emplace_back();
    }
  }
  for (const auto& run : runs) {
    if (run.empty()) continue;
    if (run.size() == 1) {
      // A value between two gaps: a dot, since a line of one point is not drawn.
      d.body += "<circle cx=\"" + coordinate(run[0].first) + "\" cy=\"" +
                coordinate(run[0].second) + "\" r=\"" + coordinate(s.style.width) + "\" fill=\"" +
                s.style.colour + "\"/>\n";
      continue;
    }
    d.body += "<polyline fill=\"none\" stroke=\"" + s.style.colour + "\" stroke-width=\"" +
              coordinate(s.style.width) + "\"" + dash_attribute(s.style) +
              " stroke-linejoin=\"round\" points=\"";
    for (std::size_t k = 0; k < run.size(); ++k)
      d.body += (k ? " " : "") + coordinate(run[k].first) + "," + coordinate(run[k].second);
    d.body += "\"/>\n";
  }
  for (std::size_t k : s.marked) {
    if (k >= s.points.size()) continue;
    const auto [x, y] = s.points[k];
    if (std::isfinite(x) && std::isfinite(y) && p.contains(x, y))
      draw_marker(d, p.px(x), p.py(y), s.style);
  }
}

double draw_legend(Drawing& d, double x, double y, double width, std::string_view heading,
                   const std::vector<LegendEntry>& entries) {
  constexpr double row = 22;
  constexpr double sample = 36;
  const double height = 30 + row * static_cast<double>(entries.size());
  d.body += "<rect x=\"" + coordinate(x) + "\" y=\"" + coordinate(y) + "\" width=\"" +
            coordinate(width) + "\" height=\"" + coordinate(height) +
            "\" fill=\"#ffffff\" stroke=\"#999999\" stroke-width=\"1\"/>\n";
  draw_text(d, x + 10, y + 20, heading, {.size = 13, .bold = true});
  const double room = width - sample - 28;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    const LegendEntry& e = entries[k];
    const double mid = y + 30 + row * (static_cast<double>(k) + 0.5);
    if (e.line) draw_line(d, x + 10, mid, x + 10 + sample, mid, e.style);
    draw_marker(d, x + 10 + sample / 2, mid, e.style);
    draw_text(d, x + 18 + sample, mid + 4, shortened(e.label, room, 12), {.size = 12});
  }
  return y + height;
}

double clamp_start(double x, double width, double lo, double hi) {
  return std::max(lo, std::min(x, hi - width));
}

Style group_style(std::size_t k, bool filled) {
  static constexpr std::array<const char*, 8> colours = {
      "#1f5fbf", "#d0600f", "#2a8a3a", "#7b3fa0", "#8c564b", "#17a2b8", "#000000", "#b8860b"};
  static constexpr std::array<const char*, 4> dashes = {"", "9 4", "2 3", "9 3 2 3"};
  static constexpr std::array<Marker, 5> markers = {
      Marker::circle, Marker::square, Marker::triangle, Marker::diamond, Marker::down_triangle};
  return {.colour = colours[k % colours.size()],
          .width = 2.2,
          .dash = dashes[k % dashes.size()],
          .marker = markers[k % markers.size()],
          .filled = filled};
}

}  // namespace fourfifths::charts
