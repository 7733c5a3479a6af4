// The study file reader: TOML parsed by toml++ (which reports the line and
// column of a syntax error), or JSON parsed by nlohmann-json and turned into
// the same tree; then one walk over the tree that checks every key against
// the schema and fills a StudyFile. The walk stops at the first fault, which
// names the key and, for TOML, its line and column.
#include <charconv>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>
#define TOML_HEADER_ONLY 1
// toml++ 3.3 asserts, in builds without NDEBUG, on an array whose next value
// starts with a closing brace ("x = [1, }"), a state its parser then reports
// as an ordinary error ("could not determine value type"), as release builds
// do. Its assertions are left out here so that debug and sanitizer builds read
// such a file as release builds do: a fault with its line and column, not an
// abort.
#define TOML_ASSERT(expr) static_assert(true)
#include <toml++/toml.h>

#include "fourfifths/studyfile.h"

namespace fourfifths {
namespace {

// A fault found by the walk; caught in read_study_file, never beyond it.
struct Fault {
  toml::source_position at;  // line 0 when not known (a JSON file's tree)
  std::string key;
  std::string message;
};

[[noreturn]] void fault(const toml::node* at, std::string key, std::string message) {
  throw Fault{at != nullptr ? at->source().begin : toml::source_position{}, std::move(key),
              std::move(message)};
}

// A fault of a key itself (misspelt, or naming no variable): located at the key.
[[noreturn]] void fault(const toml::key& at, std::string key, std::string message) {
  throw Fault{at.source().begin, std::move(key), std::move(message)};
}

std::string join(std::string_view path, std::string_view key) {
  return path.empty() ? std::string(key) : std::string(path) + "." + std::string(key);
}

// Every key of the table is one of the allowed ones: a misspelt key is a fault,
// not a silent default.
void allow_only(const toml::table& table, std::string_view path,
                std::initializer_list<std::string_view> allowed) {
  for (const auto& [key, node] : table) {
    bool known = false;
    for (std::string_view a : allowed) known = known || key.str() == a;
    if (known) continue;
    std::string list;
    for (std::string_view a : allowed) list += (list.empty() ? "" : ", ") + std::string(a);
    fault(key, join(path, key.str()), "unknown key (expected one of: " + list + ")");
  }
}

const toml::node& required(const toml::table& table, std::string_view path, std::string_view key) {
  const toml::node* node = table.get(key);
  if (node == nullptr) fault(&table, join(path, key), "missing");
  return *node;
}

std::string text(const toml::node& node, const std::string& key) {
  const auto* s = node.as_string();
  if (s == nullptr) fault(&node, key, "expected a string");
  return s->get();
}

double number(const toml::node& node, const std::string& key) {
  double value = 0;
  if (const auto* f = node.as_floating_point())
    value = f->get();
  else if (const auto* i = node.as_integer())
    value = static_cast<double>(i->get());
  else
    fault(&node, key, "expected a number");
  if (!std::isfinite(value)) fault(&node, key, "expected a finite number");
  return value;
}

const toml::array& array(const toml::node& node, const std::string& key) {
  const auto* a = node.as_array();
  if (a == nullptr) fault(&node, key, "expected an array");
  return *a;
}

const toml::table& table(const toml::node& node, const std::string& key) {
  const auto* t = node.as_table();
  if (t == nullptr) fault(&node, key, "expected a table");
  return *t;
}

// One of a few words.
std::string choice(const toml::node& node, const std::string& key,
                   std::initializer_list<std::string_view> words) {
  const std::string word = text(node, key);
  std::string list;
  for (std::string_view w : words) {
    if (word == w) return word;
    list += (list.empty() ? "\"" : ", \"") + std::string(w) + "\"";
  }
  fault(&node, key, "expected one of " + list + ", not \"" + word + "\"");
}

std::vector<std::string> names(const toml::table& root, std::string_view key, bool needed,
                               std::set<std::string>& seen) {
  std::vector<std::string> out;
  const toml::node* node = root.get(key);
  if (node == nullptr) {
    if (needed) fault(&root, std::string(key), "missing: at least one name");
    return out;
  }
  const toml::array& list = array(*node, std::string(key));
  if (needed && list.empty()) fault(node, std::string(key), "at least one name");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = std::string(key) + "[" + std::to_string(i + 1) + "]";
    std::string name = text(list[i], at);
    if (name.empty()) fault(&list[i], at, "a name may not be empty");
    if (!seen.insert(name).second)
      fault(
          &list[i], at,
          "\"" + name + "\" names two variables: every predictor and criterion needs its own name");
    out.push_back(std::move(name));
  }
  return out;
}

// A value for each of the names, keyed by name.
std::vector<double> by_name(const toml::node& node, const std::string& key,
                            const std::vector<std::string>& wanted) {
  const toml::table& values = table(node, key);
  for (const auto& [name, value] : values) {
    (void)value;
    bool known = false;
    for (const std::string& w : wanted) known = known || name.str() == w;
    if (!known) fault(name, join(key, name.str()), "no such variable");
  }
  std::vector<double> out;
  for (const std::string& w : wanted) out.push_back(number(required(values, key, w), join(key, w)));
  return out;
}

// The matrix of n variables, from rows up to the diagonal or whole rows.
std::vector<double> correlations(const toml::node& node, int n) {
  const std::string key = "correlations";
  const toml::array& rows = array(node, key);
  if (rows.size() != static_cast<std::size_t>(n))
    fault(&node, key,
          "expected " + std::to_string(n) + " rows (one per predictor and criterion), got " +
              std::to_string(rows.size()));
  const bool full = n > 1 && array(rows[0], key + "[1]").size() == static_cast<std::size_t>(n);
  std::vector<double> r(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) {
    const std::string at = key + "[" + std::to_string(i + 1) + "]";
    const toml::array& row = array(rows[i], at);
    const int length = full ? n : i + 1;
    if (row.size() != static_cast<std::size_t>(length))
      fault(
          &rows[i], at,
          "expected " + std::to_string(length) + " values (" +
              (full ? "every row whole, as the first" : "the lower triangle, up to the diagonal") +
              "), got " + std::to_string(row.size()));
    for (int j = 0; j < length; ++j)
      r[i * n + j] = number(row[j], at + "[" + std::to_string(j + 1) + "]");
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j) {
      if (!full) {
        r[j * n + i] = r[i * n + j];
      } else if (r[j * n + i] != r[i * n + j]) {
        const std::string at =
            key + "[" + std::to_string(j + 1) + "][" + std::to_string(i + 1) + "]";
        fault(&rows[j].as_array()->at(i), at,
              "differs from the entry at row " + std::to_string(i + 1) + ", column " +
                  std::to_string(j + 1) + ": the matrix must be symmetric");
      }
    }
  return r;
}

// The comma-separated list of further ratios, as written: one string, or a
// list of strings and numbers.
std::string sweep_text(const toml::node& node, const std::string& key) {
  if (node.is_string()) return text(node, key);
  const toml::array& list = array(node, key);
  std::string out;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = key + "[" + std::to_string(i + 1) + "]";
    if (!out.empty()) out += ',';
    if (list[i].is_string()) {
      out += text(list[i], at);
    } else {
      char buffer[32];
      const double v = number(list[i], at);
      out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
    }
  }
  return out;
}

void read_selection(const toml::table& root, StudyFile& s) {
  GroupProblem& p = s.problem;
  p.quality = p.criteria > 0 ? Quality::criterion : Quality::predictor;
  const toml::node* node = root.get("selection");
  if (node == nullptr) return;
  const toml::table& sel = table(*node, "selection");
  allow_only(sel, "selection", {"basis", "pool", "quality", "ratios", "sweep", "minimum"});
  if (const toml::node* n = sel.get("basis"))
    p.basis = choice(*n, "selection.basis", {"overall", "reference"}) == "overall"
                  ? Basis::overall
                  : Basis::majority;
  if (const toml::node* n = sel.get("pool"))
    p.pool = choice(*n, "selection.pool", {"joint", "pairwise"}) == "joint" ? Pool::joint
                                                                            : Pool::pairwise;
  if (const toml::node* n = sel.get("quality"))
    p.quality = choice(*n, "selection.quality", {"criterion", "predictor"}) == "criterion"
                    ? Quality::criterion
                    : Quality::predictor;
  if (const toml::node* n = sel.get("ratios")) {
    const toml::array& list = array(*n, "selection.ratios");
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string at = "selection.ratios[" + std::to_string(i + 1) + "]";
      // A ratio outside (0, 1) is kept, as a deck keeps it: its row says that
      // no cut-off gives it.
      p.requested_ratios.push_back(number(list[i], at));
    }
  }
  if (const toml::node* n = sel.get("minimum")) {
    if (s.stages.empty())
      fault(n, "selection.minimum", "only a staged study (with [[stages]]) has a minimum");
    s.stage_minimum = number(*n, "selection.minimum");
    if (!(s.stage_minimum >= 0 && s.stage_minimum <= 1))
      fault(n, "selection.minimum", "expected a share of all applicants in [0, 1]");
  }
  if (const toml::node* n = sel.get("sweep")) {
    s.sweep = sweep_text(*n, "selection.sweep");
    s.sweep_line = static_cast<int>(n->source().begin.line);
    s.sweep_column = static_cast<int>(n->source().begin.column);
  }
}

void read_weights(const toml::table& root, StudyFile& s) {
  GroupProblem& p = s.problem;
  const toml::table& w = table(required(root, "", "weights"), "weights");
  allow_only(w, "weights", {"predictors", "criteria"});
  if (w.get("predictors") == nullptr && !s.stages.empty()) {
    p.predictor_weights = s.stages.back().weights;
  } else if (const toml::node& pw = required(w, "weights", "predictors"); pw.is_string()) {
    const std::string source = choice(pw, "weights.predictors", {"regression", "front"});
    s.weights = source == "regression" ? WeightSource::regression : WeightSource::front;
    p.regression_weights = s.weights == WeightSource::regression;
  } else {
    p.predictor_weights = by_name(pw, "weights.predictors", p.predictor_names);
  }
  if (p.criteria > 0)
    p.criterion_weights =
        by_name(required(w, "weights", "criteria"), "weights.criteria", p.criterion_names);
  else if (const toml::node* cw = w.get("criteria"))
    fault(cw, "weights.criteria", "the study names no criteria");
}

void read_groups(const toml::table& root, StudyFile& s) {
  GroupProblem& p = s.problem;
  const toml::node& node = required(root, "", "groups");
  const toml::array& list = array(node, "groups");
  if (list.size() < 2)
    fault(&node, "groups", "a study needs a reference group and at least one further group");
  std::vector<std::string> variables = p.predictor_names;
  variables.insert(variables.end(), p.criterion_names.begin(), p.criterion_names.end());
  std::set<std::string> seen;
  for (std::size_t g = 0; g < list.size(); ++g) {
    const std::string at = "groups[" + std::to_string(g + 1) + "]";
    const toml::table& t = table(list[g], at);
    allow_only(t, at, {"name", "share", "count", "effects"});
    Group group;
    group.name = text(required(t, at, "name"), at + ".name");
    if (group.name.empty()) fault(t.get("name"), at + ".name", "a name may not be empty");
    if (!seen.insert(group.name).second)
      fault(t.get("name"), at + ".name", "\"" + group.name + "\" names two groups");
    const toml::node* share = t.get("share");
    const toml::node* count = t.get("count");
    if (share != nullptr && count != nullptr)
      fault(count, at + ".count", "give the group's share or its count, not both");
    if (share == nullptr) share = count;
    const std::string share_key = at + (count != nullptr && share == count ? ".count" : ".share");
    if (share != nullptr) {
      group.share = number(*share, share_key);
      const bool usable = g == 0 ? group.share >= 0 : group.share > 0;
      if (!usable)
        fault(share, share_key,
              g == 0 ? "may not be negative"
                     : "must be positive: a group without applicants has no selection ratio");
    } else if (p.basis == Basis::overall) {
      fault(&t, at + ".share",
            "missing: in the overall basis every group needs its share of the pool (or its count)");
    }
    const std::vector<double> zero(variables.size(), 0.0);
    std::vector<double> effects = zero;
    if (const toml::node* e = t.get("effects"))
      effects = by_name(*e, at + ".effects", variables);
    else if (g > 0)
      fault(&t, at + ".effects",
            "missing: the group's standardized differences from the reference group, by variable "
            "name");
    if (g == 0 && effects != zero)
      fault(
          t.get("effects"), at + ".effects",
          "the reference group's effect sizes must be zero: every group's are differences from it");
    if (g > 0) {
      const auto np = static_cast<std::ptrdiff_t>(p.predictors);
      group.predictor_effects.assign(effects.begin(), effects.begin() + np);
      group.criterion_effects.assign(effects.begin() + np, effects.end());
    }
    p.groups.push_back(std::move(group));
  }
}

// The stages of a staged design: each a name, weights by predictor name (the
// others weigh 0) and one pass rule.
void read_stages(const toml::table& root, StudyFile& s) {
  const toml::node* node = root.get("stages");
  if (node == nullptr) return;
  const toml::array& list = array(*node, "stages");
  if (list.empty()) fault(node, "stages", "at least one stage, or leave the key out");
  if (list.size() > static_cast<std::size_t>(max_stages))
    fault(&list[max_stages], "stages[" + std::to_string(max_stages + 1) + "]",
          "at most " + std::to_string(max_stages) +
              " stages: the probabilities of more are not computed exactly");
  const std::vector<std::string>& predictors = s.problem.predictor_names;
  std::set<std::string> seen;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = "stages[" + std::to_string(i + 1) + "]";
    const toml::table& t = table(list[i], at);
    allow_only(t, at, {"name", "weights", "entrants", "still_in", "cutoff"});
    Stage stage;
    stage.name = text(required(t, at, "name"), at + ".name");
    if (stage.name.empty()) fault(t.get("name"), at + ".name", "a name may not be empty");
    if (!seen.insert(stage.name).second)
      fault(t.get("name"), at + ".name", "\"" + stage.name + "\" names two stages");
    const std::string wkey = at + ".weights";
    const toml::table& weights = table(required(t, at, "weights"), wkey);
    if (weights.empty()) fault(&weights, wkey, "at least one predictor's weight");
    stage.weights.assign(predictors.size(), 0.0);
    for (const auto& [name, value] : weights) {
      std::size_t k = 0;
      while (k < predictors.size() && predictors[k] != name.str()) ++k;
      if (k == predictors.size()) fault(name, join(wkey, name.str()), "no such predictor");
      stage.weights[k] = number(value, join(wkey, name.str()));
    }
    const toml::node* rule = nullptr;
    for (auto [key, kind] : {std::pair{"entrants", PassRule::entrants},
                             {"still_in", PassRule::cumulative}, {"cutoff", PassRule::cutoff}}) {
      const toml::node* n = t.get(key);
      if (n == nullptr) continue;
      if (rule != nullptr)
        fault(n, at + "." + key, "give one pass rule: entrants, still_in or cutoff");
      rule = n;
      stage.rule = kind;
      stage.value = number(*n, at + "." + key);
      if (kind != PassRule::cutoff && !(stage.value > 0 && stage.value <= 1))
        fault(n, at + "." + key, "expected a share in (0, 1]");
    }
    if (rule == nullptr)
      fault(&t, at + ".entrants",
            "missing: the pass rule (entrants: the share of the stage's entrants who pass; "
            "still_in: the share of all applicants still in after it; or cutoff)");
    s.stages.push_back(std::move(stage));
  }
}

StudyFile walk(const toml::table& root) {
  allow_only(root, "",
             {"predictors", "criteria", "correlations", "weights", "selection", "groups",
              "stages"});
  StudyFile s;
  GroupProblem& p = s.problem;
  std::set<std::string> seen;
  p.predictor_names = names(root, "predictors", true, seen);
  p.criterion_names = names(root, "criteria", false, seen);
  p.predictors = static_cast<int>(p.predictor_names.size());
  p.criteria = static_cast<int>(p.criterion_names.size());
  const int n = p.predictors + p.criteria;
  if (n > max_variables)
    fault(root.get("predictors"), "predictors",
          "at most " + std::to_string(max_variables) + " predictors and criteria together, got " +
              std::to_string(n));
  p.correlations = correlations(required(root, "", "correlations"), n);
  read_stages(root, s);
  read_selection(root, s);
  read_weights(root, s);
  read_groups(root, s);
  return s;
}

void insert(toml::array* a, toml::table* t, const std::string& key, auto&& value) {
  if (a != nullptr)
    a->push_back(std::forward<decltype(value)>(value));
  else
    t->insert_or_assign(key, std::forward<decltype(value)>(value));
}

// A JSON value as a TOML node, appended to the array a or set as key of the
// table t, for the one walk over both forms; false, with the path of the value
// in bad, for a null, which no key of a study file takes.
bool to_toml(const nlohmann::json& j, toml::array* a, toml::table* t, const std::string& key,
             const std::string& path, std::string& bad) {
  switch (j.type()) {
    case nlohmann::json::value_t::object: {
      toml::table sub;
      for (const auto& [k, v] : j.items())
        if (!to_toml(v, nullptr, &sub, k, join(path, k), bad)) return false;
      insert(a, t, key, std::move(sub));
      return true;
    }
    case nlohmann::json::value_t::array: {
      toml::array sub;
      std::size_t i = 0;
      for (const auto& v : j)
        if (!to_toml(v, &sub, nullptr, "", path + "[" + std::to_string(++i) + "]", bad))
          return false;
      insert(a, t, key, std::move(sub));
      return true;
    }
    case nlohmann::json::value_t::string:
      insert(a, t, key, j.get<std::string>());
      return true;
    case nlohmann::json::value_t::boolean:
      insert(a, t, key, j.get<bool>());
      return true;
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
      insert(a, t, key, j.get<double>());
      return true;
    default:
      bad = path;
      return false;
  }
}

// The line and column of a byte offset of the text.
std::pair<int, int> position(std::string_view text, std::size_t offset) {
  int line = 1;
  int column = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return {line, column};
}

}  // namespace

std::string StudyFileError::describe() const {
  std::string out = file;
  if (line > 0) out += ":" + std::to_string(line) + ":" + std::to_string(column);
  out += ": ";
  if (!key.empty()) out += "key '" + key + "': ";
  return out + message;
}

bool is_study_file(std::string_view text) {
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    return c == '#' || c == '[' || c == '{' || c == '"' || (c >= 'A' && c <= 'Z') ||
           (c >= 'a' && c <= 'z');
  }
  return false;
}

StudyFileReading read_study_file(std::string_view text, std::string_view file) {
  StudyFileReading reading;
  StudyFileError error;
  error.file = std::string(file);
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  const bool json = first != std::string_view::npos && text[first] == '{';
  toml::table root;
  if (json) {
    nlohmann::json j;
    try {
      j = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
      // A syntax error has a position; a number too large for a double does not.
      if (const auto* syntax = dynamic_cast<const nlohmann::json::parse_error*>(&e))
        std::tie(error.line, error.column) =
            position(text, syntax->byte > 0 ? syntax->byte - 1 : 0);
      // nlohmann's own text, without its "[json.exception...] parse error at
      // line 2, column 20: " prefix: the position is ours.
      std::string what = e.what();
      const std::size_t tag = what.find("] ");
      if (tag != std::string::npos) what.erase(0, tag + 2);
      const std::size_t colon = what.find(": ", what.find("parse error"));
      if (what.rfind("parse error", 0) == 0 && colon != std::string::npos) what.erase(0, colon + 2);
      error.message = "not JSON: " + what;
      reading.error = error;
      return reading;
    }
    if (!j.is_object()) {
      error.message = "expected a JSON object";
      reading.error = error;
      return reading;
    }
    std::string bad;
    for (const auto& [k, v] : j.items()) {
      if (to_toml(v, nullptr, &root, k, k, bad)) continue;
      error.key = bad;
      error.message = "null is not a value of a study file";
      reading.error = error;
      return reading;
    }
  } else {
    try {
      root = toml::parse(text, std::string(file));
    } catch (const toml::parse_error& e) {
      error.line = static_cast<int>(e.source().begin.line);
      error.column = static_cast<int>(e.source().begin.column);
      error.message = "not TOML: " + std::string(e.description());
      reading.error = error;
      return reading;
    }
  }
  try {
    reading.study = walk(root);
  } catch (const Fault& f) {
    error.line = static_cast<int>(f.at.line);
    error.column = static_cast<int>(f.at.column);
    error.key = f.key;
    error.message = f.message;
    reading.error = error;
  }
  return reading;
}

StagedProblem staged_problem(const StudyFile& study) {
  StagedProblem staged;
  staged.groups = study.problem;
  staged.stages = study.stages;
  staged.minimum = study.stage_minimum;
  return staged;
}

const char* name_of(WeightSource source) {
  switch (source) {
    case WeightSource::given:
      return "given";
    case WeightSource::regression:
      return "regression";
    case WeightSource::front:
      return "front";
  }
  return "?";
}

}  // namespace fourfifths
