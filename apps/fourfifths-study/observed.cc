// fourfifths-study observed: the counts from a CSV file (a header line
// group,applicants,selected, then one line per group) or from --group
// options, the table from observed_impact(), in text, CSV or JSON.
#include "observed.h"

#include <cerrno>
#include <cmath>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "fourfifths/deck.h"
#include "fourfifths/observed.h"
#include "fourfifths/study.h"
#include "charts/planning_chart.h"
#include "formats/observed.h"

namespace fourfifths {
namespace {

// A file of counts is small: a line per group.
constexpr std::size_t max_counts_file = 1 << 20;
constexpr int refused = 1;
constexpr int usage = 2;

// A count as written: a number, not necessarily whole (the library names a
// count that is not), or false.
bool parse_number(std::string_view text, double& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// The fields of one CSV line, RFC 4180 quoting; false for an unclosed quote
// or text after a closing quote.
bool split_fields(std::string_view line, std::vector<std::string>& fields) {
  fields.assign(1, {});
  bool quoted = false, was_quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == ',') {
      fields.emplace_back();
      was_quoted = false;
    } else if (c == '"' && fields.back().empty() && !was_quoted) {
      quoted = was_quoted = true;
    } else if (was_quoted) {
      return false;
    } else {
      fields.back() += c;
    }
  }
  return !quoted;
}

bool read_all(const std::string& path, std::string& text, std::string& message) {
  std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  const std::string name = path == "-" ? "standard input" : "'" + path + "'";
  if (file == nullptr) {
    message = "cannot open " + name + ": " + std::strerror(errno);
    return false;
  }
  char block[65536];
  std::size_t got = 0;
  bool ok = true;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
    text.append(block, got);
    if (text.size() > max_counts_file) {
      message = name + ": more than 1 MiB; a file of counts has a line per group";
      ok = false;
      break;
    }
  }
  if (ok && std::ferror(file)) {
    message = "cannot read " + name + ": " + std::strerror(errno);
    ok = false;
  }
  if (file != stdin) std::fclose(file);
  return ok;
}

// The groups of a file of counts, or messages naming the line at fault.
bool read_counts(const std::string& path, std::vector<ObservedGroup>& groups, std::string& message) {
  std::string text;
  if (!read_all(path, text, message)) return false;
  const std::string name = path == "-" ? "standard input" : path;
  std::vector<std::string> fields;
  std::size_t start = 0;
  int line_number = 0;
  bool header = false;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    const std::string where = name + " line " + std::to_string(line_number) + ": ";
    if (!split_fields(line, fields)) {
      message = where + "a quoted field is not closed, or text follows its closing quote";
      return false;
    }
    if (fields.size() != 3) {
      message = where + std::to_string(fields.size()) +
                " fields; each line is group,applicants,selected";
      return false;
    }
    if (!header) {
      if (fields[0] != "group" || fields[1] != "applicants" || fields[2] != "selected") {
        message = where + "the first line must be the header group,applicants,selected";
        return false;
      }
      header = true;
      continue;
    }
    ObservedGroup group{fields[0], 0, 0};
    if (!parse_number(fields[1], group.applicants)) {
      message = where + "group '" + fields[0] + "': applicants '" + fields[1] + "' is not a number";
      return false;
    }
    if (!parse_number(fields[2], group.selected)) {
      message = where + "group '" + fields[0] + "': selected '" + fields[2] + "' is not a number";
      return false;
    }
    groups.push_back(group);
  }
  if (!header) {
    message = name + ": empty; the first line must be the header group,applicants,selected";
    return false;
  }
  return true;
}

// NAME:APPLICANTS:SELECTED; the name may itself hold colons.
bool parse_group(const std::string& item, ObservedGroup& group, std::string& message) {
  const std::size_t second = item.rfind(':');
  const std::size_t first = second == std::string::npos || second == 0 ? std::string::npos
                                                                       : item.rfind(':', second - 1);
  if (first == std::string::npos) {
    message = "--group '" + item + "': not NAME:APPLICANTS:SELECTED";
    return false;
  }
  group.name = item.substr(0, first);
  const std::string applicants = item.substr(first + 1, second - first - 1);
  const std::string selected = item.substr(second + 1);
  if (!parse_number(applicants, group.applicants)) {
    message = "--group '" + item + "': applicants '" + applicants + "' is not a number";
    return false;
  }
  if (!parse_number(selected, group.selected)) {
    message = "--group '" + item + "': selected '" + selected + "' is not a number";
    return false;
  }
  return true;
}

}  // namespace

ObservedCommand::ObservedCommand(CLI::App& app)
    : command_(app.add_subcommand(
          "observed",
          "Adverse impact observed in one selection, from each group's applicants and selected: "
          "rates, impact ratios and the four-fifths rule, Z tests, Fisher's exact test, an "
          "interval for the impact ratio, shortfalls and the flip-flop check.")) {
  command_->add_option("COUNTS", input_,
                       "CSV file of counts: a header line group,applicants,selected, then a line "
                       "per group; '-': standard input");
  command_->add_option("--group", groups_,
                       "a group's counts as NAME:APPLICANTS:SELECTED (repeat it for each group; "
                       "instead of a file)")
      ->allow_extra_args(false);
  command_->add_option("--reference", reference_,
                       "the reference group's name, or 'highest' (default): the group with the "
                       "highest selection rate");
  command_->add_option("--alpha", alpha_text_,
                       "level of the tests; the interval's confidence is 1 - alpha (default 0.05)");
  command_->add_option("--interval", interval_,
                       "interval of the impact ratio: adjusted-log (default; good coverage in small "
                       "samples) or katz (the log interval)")
      ->check(CLI::IsMember({"adjusted-log", "katz"}));
  command_->add_option("--format", format_, "text (a table), csv (one line per group) or json")
      ->check(CLI::IsMember({"text", "csv", "json"}));
}

int ObservedCommand::run(std::string& out, std::string& message) const {
  if (!input_.empty() && !groups_.empty()) {
    message = "observed: give the counts in a file or as --group options, not both";
    return usage;
  }
  if (input_.empty() && groups_.empty()) {
    message = "observed: no counts (give a CSV file, '-' for standard input, or --group options)";
    return usage;
  }
  ObservedOptions options;
  if (reference_ != "highest") options.reference = reference_;
  options.interval = interval_ == "katz" ? ImpactInterval::katz : ImpactInterval::adjusted_log;
  if (!alpha_text_.empty() &&
      (!parse_number(alpha_text_, options.alpha) || !(options.alpha > 0 && options.alpha < 1))) {
    message = "--alpha '" + alpha_text_ + "': not a number strictly between 0 and 1";
    return usage;
  }
  std::vector<ObservedGroup> groups;
  if (!input_.empty()) {
    if (!read_counts(input_, groups, message)) return refused;
  } else {
    for (const std::string& item : groups_) {
      groups.emplace_back();
      if (!parse_group(item, groups.back(), message)) return usage;
    }
  }
  const ObservedImpact impact = observed_impact(groups, options);
  if (!impact.messages.empty()) {
    const std::string where = input_.empty() ? "" : (input_ == "-" ? "standard input" : input_) + ": ";
    for (std::size_t i = 0; i < impact.messages.size(); ++i)
      message += (i > 0 ? "\nfourfifths-study: " : "") + where + impact.messages[i];
    return input_.empty() ? usage : refused;
  }
  out = format_ == "csv" ? observed_csv(impact) : format_ == "json" ? observed_json(impact)
                                                                       : observed_text(impact);
  return 0;
}

}  // namespace fourfifths

namespace fourfifths {
namespace {

// Two parts A:B, each parsed by parse.
template <class Parse>
bool parse_pair(const std::string& text, Parse parse) {
  const std::size_t colon = text.find(':');
  return colon != std::string::npos && parse(text.substr(0, colon), 0) && parse(text.substr(colon + 1), 1);
}

}  // namespace

PlanningCommand::PlanningCommand(CLI::App& app)
    : command_(app.add_subcommand(
          "planning",
          "What samples of a planned size will show: the probability of a four-fifths violation, "
          "of each test's significance, and the expected shortfall, by exact enumeration of the "
          "two groups' selected counts, each applicant selected independently with the group's "
          "probability.")) {
  command_->add_option("DECK", deck_,
                       "problem deck whose model gives the selection probabilities at --sr "
                       "(majority: reference group, minority: group); '-': standard input");
  command_->add_option("--applicants", applicants_,
                       "REFERENCE:GROUP, the planned applicants of each group (required)")
      ->required();
  command_->add_option("--probabilities", probabilities_,
                       "REFERENCE:GROUP, the selection probability of an applicant of each group "
                       "(instead of a deck)");
  command_->add_option("--sr", sr_text_, "with a deck: the selection ratio of the deck's basis");
  command_->add_option("--alpha", alpha_text_, "level of the tests (default 0.05)");
  command_->add_option("--format", format_, "text, csv (one line) or json (with the ratios)")
      ->check(CLI::IsMember({"text", "csv", "json"}));
  command_->add_option("--chart", chart_path_,
                       "also write an SVG chart: the probabilities against the number of applicants, "
                       "from 2 to the planned total, at up to 30 totals (replaced only once the "
                       "chart is complete)");
}

int PlanningCommand::run(std::string& out, std::string& chart, std::string& message) const {
  SamplePlan plan;
  long counts[2] = {0, 0};
  if (!parse_pair(applicants_, [&](const std::string& part, int i) {
        double value = 0;
        if (!parse_number(part, value) || value != std::floor(value) || value < 1 ||
            value > static_cast<double>(max_plan_applicants))
          return false;
        counts[i] = static_cast<long>(value);
        return true;
      })) {
    message = "--applicants '" + applicants_ + "': not REFERENCE:GROUP, two whole numbers from 1 to " +
              std::to_string(max_plan_applicants);
    return usage;
  }
  plan.reference_applicants = counts[0];
  plan.group_applicants = counts[1];
  if (!alpha_text_.empty() &&
      (!parse_number(alpha_text_, plan.alpha) || !(plan.alpha > 0 && plan.alpha < 1))) {
    message = "--alpha '" + alpha_text_ + "': not a number strictly between 0 and 1";
    return usage;
  }
  if (deck_.empty() == probabilities_.empty()) {
    message = "planning: give the selection probabilities (--probabilities) or a deck with --sr, one of them";
    return usage;
  }
  if (!probabilities_.empty()) {
    if (!sr_text_.empty()) {
      message = "--sr: only with a deck";
      return usage;
    }
    double p[2] = {0, 0};
    if (!parse_pair(probabilities_, [&](const std::string& part, int i) {
          return parse_number(part, p[i]) && p[i] >= 0 && p[i] <= 1;
        })) {
      message = "--probabilities '" + probabilities_ + "': not REFERENCE:GROUP, two numbers from 0 to 1";
      return usage;
    }
    plan.reference_probability = p[0];
    plan.group_probability = p[1];
  } else {
    double sr = 0;
    if (!parse_number(sr_text_, sr) || !(sr > 0 && sr < 1)) {
      message = "--sr '" + sr_text_ + "': with a deck, a selection ratio strictly between 0 and 1";
      return usage;
    }
    std::string text;
    if (!read_all(deck_, text, message)) return refused;
    const std::string name = deck_ == "-" ? "standard input" : deck_;
    DeckReading reading = read_deck(text);
    if (reading.error) {
      message = name + ": " + reading.error->message;
      return refused;
    }
    if (!reading.messages.empty()) {
      message = name + ": " + reading.messages[0];
      return refused;
    }
    Problem problem = reading.problem;
    problem.requested_ratios = {sr};
    const Study study = analyse(problem);
    if (!study.messages.empty()) {
      message = name + ": " + study.messages[0];
      return refused;
    }
    const Row* row = nullptr;
    for (const Row& r : study.rows)
      if (r.kind == RowKind::requested) row = &r;
    if (row == nullptr || row->status != RowStatus::ok) {
      message = name + ": no selection at SR " + sr_text_ + " (" +
                (row == nullptr ? "no row" : name_of(row->status)) + ")";
      return refused;
    }
    plan.reference_probability = row->sra;
    plan.group_probability = row->sri;
  }
  const SampleDistribution d = sample_distribution(plan);
  if (!d.messages.empty()) {
    message = d.messages[0];
    return usage;
  }
  out = format_ == "csv" ? sample_csv(plan, d) : format_ == "json" ? sample_json(plan, d) : sample_text(plan, d);
  if (chart_asked()) chart = planning_chart(distributions_by_size(plan));
  return 0;
}

}  // namespace fourfifths
