// Writing a problem as a deck: the records in the order the reader takes
// them, each real with its decimal point in a 7-column field.
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

#include "deck/deck.h"

namespace fourfifths {
namespace {

constexpr std::size_t field_width = 7;

// The value of a field as the reader takes it when it holds a decimal point:
// the number as written, correctly rounded.
bool reads_back(std::string_view text, double value) {
  double back = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), back);
  return ec == std::errc() && end == text.data() + text.size() && back == value;
}

// The text of one real in at most 7 columns, always with a decimal point:
// three decimals where they hold the value (the deck's usual look), else the
// most precise fixed or exponent form that fits. False when none holds the
// value exactly; text is then the nearest that fits.
bool field_text(double value, std::string& text) {
  char buffer[64];
  auto fixed = [&](int decimals) {
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::fixed, decimals).ptr;
    std::string t(buffer, end);
    if (decimals == 0) t += '.';
    return t;
  };
  // d.ddd...E+x: the mantissa keeps its point even with no digit after it.
  auto exponent = [&](int digits) {
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                                   std::chars_format::scientific, digits).ptr;
    std::string t(buffer, end);
    const std::size_t e = t.find('e');
    std::string mantissa = t.substr(0, e);
    if (mantissa.find('.') == std::string::npos) mantissa += '.';
    int power = 0;
    std::from_chars(t.data() + e + (t[e + 1] == '+' ? 2 : 1), t.data() + t.size(), power);
    return mantissa + "E" + std::to_string(power);
  };

  std::string best;
  double best_error = HUGE_VAL;
  auto consider = [&](const std::string& t) {
    if (t.size() > field_width) return false;
    double back = 0;
    std::from_chars(t.data(), t.data() + t.size(), back);
    if (reads_back(t, value)) {
      text = t;
      return true;
    }
    const double error = std::fabs(back - value);
    if (error < best_error) {
      best_error = error;
      best = t;
    }
    return false;
  };
  for (int decimals = 3; decimals <= 6; ++decimals)
    if (consider(fixed(decimals))) return true;
  for (int decimals = 2; decimals >= 0; --decimals)
    if (consider(fixed(decimals))) return true;
  for (int digits = 6; digits >= 0; --digits)
    if (consider(exponent(digits))) return true;
  text = best.empty() ? std::string(field_width, '*') : best;
  return false;
}

void put_integer(std::string& deck, int value) {
  std::string t = std::to_string(value);
  deck.append(3 - t.size(), ' ') += t;
}

// A list of reals, per_record to a record.
void put_reals(std::string& deck, const std::vector<double>& values, std::size_t per_record,
               int& rounded) {
  for (std::size_t k = 0; k < values.size(); ++k) {
    std::string t;
    if (!field_text(values[k], t)) ++rounded;
    deck.append(field_width - t.size(), ' ') += t;
    if ((k + 1) % per_record == 0 || k + 1 == values.size()) deck += '\n';
  }
}

void require(bool holds, const char* what) {
  if (!holds) throw std::invalid_argument(std::string("write_deck: ") + what);
}

}  // namespace

std::string write_deck(const Problem& p, int* rounded_values) {
  // Each count is bounded before the two are added: any int may arrive here.
  require(p.predictors >= 1 && p.predictors <= max_variables && p.criteria >= 0 &&
              p.criteria <= max_variables && p.predictors + p.criteria <= max_variables,
          "the counts of predictors and criteria do not fit a deck");
  require(p.requested_ratios.size() <= 999, "a deck holds at most 999 requested ratios");
  const auto np = static_cast<std::size_t>(p.predictors);
  const auto nc = static_cast<std::size_t>(p.criteria);
  const std::size_t nvar = np + nc;
  require(p.regression_weights || p.predictor_weights.size() == np,
          "one predictor weight per predictor is needed");
  require(p.criterion_weights.size() == nc && p.criterion_effects.size() == nc,
          "one weight and one effect size per criterion are needed");
  require(p.predictor_effects.size() == np, "one effect size per predictor is needed");
  require(p.correlations.size() == nvar * nvar, "the correlation matrix must be square");
  for (const auto* list : {&p.predictor_weights, &p.criterion_weights, &p.correlations,
                           &p.predictor_effects, &p.criterion_effects, &p.requested_ratios})
    for (double v : *list) require(std::isfinite(v), "every value must be a finite number");
  require(std::isfinite(p.applicant_ratio), "every value must be a finite number");

  int rounded = 0;
  std::string deck;
  const bool overall = p.basis == Basis::overall;
  put_integer(deck, p.predictors);
  put_integer(deck, p.criteria);
  put_integer(deck, overall ? 1 : 0);
  put_integer(deck, p.regression_weights ? 1 : 0);
  put_integer(deck, p.quality == Quality::criterion ? 1 : 0);
  put_integer(deck, static_cast<int>(p.requested_ratios.size()));
  deck += '\n';
  if (overall) put_reals(deck, {p.applicant_ratio}, 10, rounded);
  if (!p.regression_weights) put_reals(deck, p.predictor_weights, 6, rounded);
  if (nc != 0) put_reals(deck, p.criterion_weights, 10, rounded);
  for (std::size_t i = 0; i < nvar; ++i) {
    const auto row = p.correlations.begin() + static_cast<std::ptrdiff_t>(i * nvar);
    put_reals(deck, std::vector<double>(row, row + static_cast<std::ptrdiff_t>(nvar)), 10,
              rounded);
  }
  put_reals(deck, p.predictor_effects, 10, rounded);
  if (nc != 0) put_reals(deck, p.criterion_effects, 10, rounded);
  put_reals(deck, p.requested_ratios, 10, rounded);
  if (rounded_values != nullptr) *rounded_values = rounded;
  return deck;
}

}  // namespace fourfifths
