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
#include "fourfifths/groups.h"
#include "fourfifths/study.h"
#include "fourfifths/studyfile.h"
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

// One entry of a list of several groups: NUMBER or NAME=NUMBER.
struct ListEntry {
  std::string name;
  double value = 0;
};

// A list of entries separated by commas or colons, all named or none; false
// for an entry that is not a number or a list that mixes the two.
bool parse_list(const std::string& text, std::vector<ListEntry>& entries) {
  entries.clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t end = text.find_first_of(",:", start);
    const std::string part = text.substr(start, end == std::string::npos ? end : end - start);
    ListEntry entry;
    const std::size_t equals = part.find('=');
    if (equals != std::string::npos) {
      entry.name = part.substr(0, equals);
      const std::size_t first = entry.name.find_first_not_of(" \t");
      if (first == std::string::npos) return false;
      entry.name = entry.name.substr(first, entry.name.find_last_not_of(" \t") - first + 1);
    }
    if (!parse_number(equals == std::string::npos ? part : part.substr(equals + 1), entry.value)) return false;
    if (!entries.empty() && entry.name.empty() != entries[0].name.empty()) return false;
    entries.push_back(entry);
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// A list given as NAME=NUMBER pairs in the order of names, or as numbers in
// that order; an empty message when it fits.
std::string in_order(const std::vector<ListEntry>& entries, const std::vector<std::string>& names,
                     std::vector<double>& values) {
  if (entries.size() != names.size())
    return std::to_string(entries.size()) + " values for " + std::to_string(names.size()) + " groups";
  values.assign(names.size(), 0);
  if (entries[0].name.empty()) {
    for (std::size_t g = 0; g < names.size(); ++g) values[g] = entries[g].value;
    return {};
  }
  for (std::size_t g = 0; g < names.size(); ++g) {
    std::size_t found = 0, at = 0;
    for (std::size_t e = 0; e < entries.size(); ++e)
      if (entries[e].name == names[g]) ++found, at = e;
    if (found != 1)
      return "group " + names[g] + (found == 0 ? " is not given" : " is given more than once");
    values[g] = entries[at].value;
  }
  return {};
}

}  // namespace

PlanningCommand::PlanningCommand(CLI::App& app)
    : command_(app.add_subcommand(
          "planning",
          "What samples of a planned size will show: the probability of a four-fifths violation, "
          "of each test's significance, and the expected shortfall, by exact enumeration of the "
          "groups' selected counts, each applicant selected independently with the group's "
          "probability; with several groups, also the probability that some group is flagged.")) {
  command_->add_option("DECK", deck_,
                       "problem deck or study file whose model gives the selection probabilities at "
                       "--sr (a deck's majority: reference group, minority: group; a study file's "
                       "groups in its order, the first the reference group); '-': standard input");
  command_->add_option("--applicants", applicants_,
                       "the planned applicants of each group: REFERENCE:GROUP, or for several groups "
                       "a list of counts in the groups' order or NAME=COUNT pairs, separated by "
                       "commas or colons (required)")
      ->required();
  command_->add_option("--probabilities", probabilities_,
                       "the selection probability of an applicant of each group (instead of a deck "
                       "or study file): REFERENCE:GROUP, or a list as for --applicants, the first "
                       "group the reference group");
  command_->add_option("--sr", sr_text_, "with a deck or study file: the selection ratio of its basis");
  command_->add_option("--alpha", alpha_text_, "level of the tests (default 0.05)");
  command_->add_option("--format", format_,
                       "text, csv (one line; for several groups a line per group and two for the "
                       "whole plan) or json (with the ratios)")
      ->check(CLI::IsMember({"text", "csv", "json"}));
  command_->add_option("--chart", chart_path_,
                       "also write an SVG chart: the probabilities against the number of applicants, "
                       "from 2 to the planned total, at up to 30 totals (replaced only once the "
                       "chart is complete)");
}

int PlanningCommand::run(std::string& out, std::string& chart, std::string& message) const {
  std::vector<ListEntry> entries;
  const bool several = !probabilities_.empty() && parse_list(probabilities_, entries) &&
                       (entries.size() != 2 || !entries[0].name.empty() ||
                        probabilities_.find(',') != std::string::npos);
  if (several) return run_several(out, chart, message, nullptr);
  // A study file names its groups; a deck has two.
  std::string text;
  const std::string name = deck_ == "-" ? "standard input" : deck_;
  if (!deck_.empty() && probabilities_.empty()) {
    if (!read_all(deck_, text, message)) return refused;
    if (is_study_file(text)) {
      const StudyFileReading file = read_study_file(text, name);
      if (file.error) {
        message = file.error->describe();
        return refused;
      }
      return run_several(out, chart, message, &file.study);
    }
  }

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

int PlanningCommand::run_several(std::string& out, std::string& chart, std::string& message,
                                 const StudyFile* study) const {
  MultiPlan plan;
  if (!alpha_text_.empty() &&
      (!parse_number(alpha_text_, plan.alpha) || !(plan.alpha > 0 && plan.alpha < 1))) {
    message = "--alpha '" + alpha_text_ + "': not a number strictly between 0 and 1";
    return usage;
  }
  std::vector<std::string> names;
  std::vector<double> probabilities;
  std::vector<ListEntry> entries;
  if (study == nullptr) {
    if (!deck_.empty()) {
      message = "planning: give the selection probabilities (--probabilities) or a deck with --sr, one of them";
      return usage;
    }
    if (!sr_text_.empty()) {
      message = "--sr: only with a deck or study file";
      return usage;
    }
    parse_list(probabilities_, entries);
    for (std::size_t g = 0; g < entries.size(); ++g)
      names.push_back(entries[g].name.empty() ? "G" + std::to_string(g + 1) : entries[g].name);
    for (const ListEntry& e : entries) probabilities.push_back(e.value);
  } else {
    const std::string name = deck_ == "-" ? "standard input" : deck_;
    if (study->weights == WeightSource::front || !study->stages.empty()) {
      message = name + ": planning needs one selection by a composite of given weights (this study " +
                (study->stages.empty() ? "leaves its weights to the front" : "has stages") + ")";
      return refused;
    }
    double sr = 0;
    if (!parse_number(sr_text_, sr) || !(sr > 0 && sr < 1)) {
      message = "--sr '" + sr_text_ + "': with a study file, a selection ratio strictly between 0 and 1";
      return usage;
    }
    GroupProblem problem = study->problem;
    problem.requested_ratios = {sr};
    const GroupStudy result = analyse(problem);
    if (result.rejected()) {
      message = name + ": " + result.messages[0];
      return refused;
    }
    const GroupRow* row = nullptr;
    for (const GroupRow& r : result.rows)
      if (r.kind == RowKind::requested) row = &r;
    if (row == nullptr || row->status != RowStatus::ok) {
      message = name + ": no selection at SR " + sr_text_ + " (" +
                (row == nullptr ? "no row" : name_of(row->status)) + ")";
      return refused;
    }
    for (std::size_t g = 0; g < problem.groups.size(); ++g) {
      names.push_back(problem.groups[g].name);
      probabilities.push_back(row->groups[g].sr);
    }
  }
  std::vector<double> counts;
  std::string fault = parse_list(applicants_, entries) ? in_order(entries, names, counts)
                                                       : "not a list of counts, or of NAME=COUNT pairs";
  for (std::size_t g = 0; fault.empty() && g < counts.size(); ++g)
    if (counts[g] != std::floor(counts[g]) || counts[g] < 1 || counts[g] > static_cast<double>(max_plan_applicants))
      fault = "group " + names[g] + ": not a whole number from 1 to " + std::to_string(max_plan_applicants);
  if (!fault.empty()) {
    message = "--applicants '" + applicants_ + "': " + fault;
    return usage;
  }
  for (std::size_t g = 0; g < names.size(); ++g)
    plan.groups.push_back({names[g], static_cast<long>(counts[g]), probabilities[g]});
  const MultiDistribution d = multi_sample_distribution(plan);
  if (!d.messages.empty()) {
    message = d.messages[0];
    return usage;
  }
  out = format_ == "csv"    ? multi_sample_csv(plan, d)
        : format_ == "json" ? multi_sample_json(plan, d)
                            : multi_sample_text(plan, d);
  if (chart_asked()) chart = multi_planning_chart(multi_distributions_by_size(plan));
  return 0;
}

}  // namespace fourfifths
