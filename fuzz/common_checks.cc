// Checks of renderings that every fuzzer shares: CSV records and SVG charts.
#include <cctype>
#include <algorithm>
#include <cstdlib>

#include "checks.h"

namespace fourfifths::fuzz {

std::vector<std::vector<std::string>> csv_records(std::string_view text, Faults& faults,
                                                  std::string_view what) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false;
  bool at_start = true;  // of a field
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (k + 1 < text.size() && text[k + 1] == '"') {
        field += '"';
        ++k;
      } else {
        quoted = false;
      }
    } else if (c == '"' && at_start) {
      quoted = true;
      at_start = false;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
      at_start = true;
    } else if (c == '\n') {
      record.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(record));
      record.clear();
      at_start = true;
    } else {
      field += c;
      at_start = false;
    }
  }
  if (quoted) faults.push_back(std::string(what) + ": a quoted field never ends");
  if (!field.empty() || !record.empty())
    faults.push_back(std::string(what) + ": the last line has no line feed");
  if (records.empty()) {
    faults.push_back(std::string(what) + ": no header line");
  } else {
    for (std::size_t k = 1; k < records.size(); ++k)
      if (records[k].size() != records[0].size()) {
        faults.push_back(std::string(what) + ": line " + std::to_string(k + 1) + " has " +
                         std::to_string(records[k].size()) + " fields, the header " +
                         std::to_string(records[0].size()));
        break;
      }
  }
  return records;
}

void check_svg(std::string_view svg, Faults& faults, std::string_view what) {
  auto fault = [&](const std::string& why) { faults.push_back(std::string(what) + ": " + why); };
  if (svg.rfind("<svg", 0) != 0 && svg.rfind("<?xml", 0) != 0) fault("does not start as SVG");
  const std::string_view end = "</svg>\n";
  if (svg.size() < end.size() || svg.substr(svg.size() - end.size()) != end)
    fault("does not end with </svg>");
  // Inside tags (attributes: coordinates, paths, data): no word nan or inf,
  // and no number with more than 7 digits before its decimal point.
  bool in_tag = false;
  for (std::size_t k = 0; k < svg.size(); ++k) {
    const char c = svg[k];
    if (c == '<') in_tag = true;
    if (c == '>') in_tag = false;
    if (!in_tag) continue;
    const bool word_start = k == 0 || !std::isalnum(static_cast<unsigned char>(svg[k - 1]));
    if (word_start && std::isalpha(static_cast<unsigned char>(c))) {
      std::size_t e = k;
      while (e < svg.size() && std::isalnum(static_cast<unsigned char>(svg[e]))) ++e;
      std::string word(svg.substr(k, e - k));
      for (char& w : word) w = static_cast<char>(std::tolower(static_cast<unsigned char>(w)));
      if (word == "nan" || word == "inf" || word == "infinity") {
        const std::size_t from = k < 60 ? 0 : k - 60;
        fault("'" + std::string(word) + "' in a tag: ..." + std::string(svg.substr(from, 80)));
        return;
      }
    }
    // (digits after a decimal point are a fraction: any number of them)
    if (word_start && std::isdigit(static_cast<unsigned char>(c)) && (k == 0 || svg[k - 1] != '.')) {
      std::size_t e = k;
      while (e < svg.size() && std::isdigit(static_cast<unsigned char>(svg[e]))) ++e;
      if (e - k > 7) {
        fault("a number of " + std::to_string(e - k) + " digits in a tag: " +
              std::string(svg.substr(k, std::min<std::size_t>(e - k, 40))));
        return;
      }
      k = e - 1;
    }
  }
}

}  // namespace fourfifths::fuzz
