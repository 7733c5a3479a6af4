// Random valid problem decks. Correlation matrices come from random
// common-factor models (R = L L' + U, rescaled to a unit diagonal), which are
// positive definite by construction; after rounding to the deck's three
// decimals each is checked again with a Cholesky factorisation and redrawn if
// rounding cost it its definiteness. Fields are written in every form the
// deck's field rules accept for the same value: a decimal point anywhere in
// the field, three implied decimals, comma-ended fields, comments after the
// last field, carriage returns before line feeds, no terminator on the last
// line.
#include "study/random_deck.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fourfifths::testing {

const char* const builtin_ratio_texts[20] = {
    "0.010", "0.050", "0.100", "0.150", "0.200", "0.250", "0.300", "0.350", "0.400", "0.450",
    "0.500", "0.550", "0.600", "0.650", "0.700", "0.750", "0.800", "0.850", "0.900", "0.950"};

namespace {

// A value rounded to three decimals, as "%.3f" writes it and the reader's
// decimal conversion takes it back.
struct Value {
  std::string text;  // e.g. "-0.250"
  double value;
};

// A field whose digits are all zero reads as plain 0 whatever its sign.
Value from_text(const std::string& text) {
  return {text, std::strtod(text.c_str(), nullptr) + 0.0};
}

Value rounded(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  return from_text(buf);
}

std::string right_justified(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

std::string left_justified(const std::string& s, std::size_t width) {
  return s.size() >= width ? s : s + std::string(width - s.size(), ' ');
}

// The same value as thousandths with the decimal point left out: "-0.250"
// becomes "-250" and reads back as -0.25 under the three implied decimals.
std::string implied_decimals(const std::string& text) {
  std::string digits;
  for (char ch : text)
    if (ch != '.') digits += ch;
  // Drop leading zeros of the magnitude, keeping at least one digit.
  const std::size_t sign = (!digits.empty() && digits[0] == '-') ? 1 : 0;
  std::size_t first = sign;
  while (first + 1 < digits.size() && digits[first] == '0') ++first;
  return digits.substr(0, sign) + digits.substr(first);
}

}  // namespace

double DeckGenerator::uniform(double lo, double hi) {
  const double unit = static_cast<double>(engine_() >> 11) * 0x1.0p-53;
  return lo + (hi - lo) * unit;
}

int DeckGenerator::integer(int lo, int hi) {
  const auto span = static_cast<uint64_t>(hi - lo + 1);
  return lo + static_cast<int>(engine_() % span);
}

bool cholesky_positive_definite(const std::vector<double>& a, int n, double min_pivot) {
  std::vector<double> l(static_cast<std::size_t>(n) * n, 0.0);
  for (int j = 0; j < n; ++j) {
    double d = a[j * n + j];
    for (int k = 0; k < j; ++k) d -= l[j * n + k] * l[j * n + k];
    if (!(d > min_pivot)) return false;
    l[j * n + j] = std::sqrt(d);
    for (int i = j + 1; i < n; ++i) {
      double s = a[i * n + j];
      for (int k = 0; k < j; ++k) s -= l[i * n + k] * l[j * n + k];
      l[i * n + j] = s / l[j * n + j];
    }
  }
  return true;
}

std::vector<double> DeckGenerator::correlation_matrix(int n) {
  for (;;) {
    const int factors = integer(1, n);
    std::vector<double> loading(static_cast<std::size_t>(n) * factors);
    for (double& x : loading) x = uniform(-0.95, 0.95);
    std::vector<double> s(static_cast<std::size_t>(n) * n);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        double sum = 0;
        for (int f = 0; f < factors; ++f)
          sum += loading[i * factors + f] * loading[j * factors + f];
        s[i * n + j] = sum;
      }
    // Unique variances keep the matrix away from singularity.
    for (int i = 0; i < n; ++i) s[i * n + i] += uniform(0.02, 1.0);
    std::vector<double> r(s.size());
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        r[i * n + j] =
            i == j ? 1.0 : rounded(s[i * n + j] / std::sqrt(s[i * n + i] * s[j * n + j])).value;
    // Symmetric by construction: both triangles round the same quotient.
    if (cholesky_positive_definite(r, n, 1e-4)) return r;
  }
}

RandomDeck DeckGenerator::next(int ioverall, int ireg, int icrit) {
  RandomDeck d;
  d.ioverall = ioverall;
  d.ireg = ireg;
  d.icrit = icrit;
  const bool need_criteria = ireg == 1 || icrit == 1;
  d.npred = integer(1, need_criteria ? 9 : 10);
  d.ncrit = integer(need_criteria ? 1 : 0, 10 - d.npred);
  d.nsr = integer(0, 30);
  const int nvar = d.npred + d.ncrit;

  const bool crlf = integer(0, 19) == 0;
  std::vector<std::string> records;
  auto comment = [&]() -> std::string {
    if (integer(0, 9) != 0) return "";
    d.forms |= text_after_fields;
    return "   free text after the fields";
  };

  // A list of values laid out per_record to a record, each record written
  // either in fixed columns (each field in one of its accepted forms) or as
  // comma-ended fields.
  auto list = [&](const std::vector<Value>& values, int per_record) {
    for (std::size_t first = 0; first < values.size(); first += per_record) {
      const std::size_t last = std::min(values.size(), first + per_record);
      std::string rec;
      const bool commas = integer(0, 9) == 0 && last - first > 1;
      if (commas) d.forms |= comma_ended_fields;
      for (std::size_t k = first; k < last; ++k) {
        const std::string& t = values[k].text;
        if (commas) {
          rec += t;
          if (k + 1 < last) rec += ',';
          continue;
        }
        switch (integer(0, 5)) {
          case 0:
            rec += left_justified(t, 7);
            d.forms |= left_justified_field;
            break;
          case 1:
            rec += right_justified(implied_decimals(t), 7);
            d.forms |= implied_decimals_field;
            break;
          default:
            rec += right_justified(t, 7);
        }
      }
      // A full fixed-column record may carry text after its last field.
      if (!commas && last - first == static_cast<std::size_t>(per_record)) rec += comment();
      records.push_back(rec);
    }
  };
  auto draw = [&](int n, double lo, double hi, bool not_all_zero) {
    std::vector<Value> v;
    do {
      v.clear();
      bool any = false;
      for (int i = 0; i < n; ++i) {
        v.push_back(rounded(uniform(lo, hi)));
        any = any || v.back().value != 0;
      }
      if (any || !not_all_zero) break;
    } while (true);
    return v;
  };
  auto values_of = [](const std::vector<Value>& v) {
    std::vector<double> out;
    for (const Value& x : v) out.push_back(x.value);
    return out;
  };

  // Count record.
  {
    const int counts[6] = {d.npred, d.ncrit, d.ioverall, d.ireg, d.icrit, d.nsr};
    std::string rec;
    const bool left = integer(0, 4) == 0;
    for (int c : counts) {
      const std::string t = std::to_string(c);
      rec += left ? left_justified(t, 3) : right_justified(t, 3);
    }
    records.push_back(rec + comment());
  }
  if (ioverall == 1) {
    // Mostly a mixed pool; now and then no majority applicants at all.
    const Value a = integer(0, 19) == 0 ? from_text("0.000") : rounded(uniform(0.05, 20.0));
    d.apratio = a.value;
    list({a}, 10);
  }
  if (ireg == 0) {
    const auto w = draw(d.npred, -1.0, 2.0, true);
    d.pweight = values_of(w);
    list(w, 6);
  }
  if (d.ncrit > 0) {
    const auto w = draw(d.ncrit, -1.0, 2.0, true);
    d.cweight = values_of(w);
    list(w, 10);
  }
  d.corr = correlation_matrix(nvar);
  for (int i = 0; i < nvar; ++i) {
    std::vector<Value> row;
    for (int j = 0; j < nvar; ++j) row.push_back(rounded(d.corr[i * nvar + j]));
    list(row, 10);
  }
  {
    const auto e = draw(d.npred, -3.0, 1.0, false);
    d.pdelta = values_of(e);
    list(e, 10);
  }
  if (d.ncrit > 0) {
    const auto e = draw(d.ncrit, -3.0, 1.0, false);
    d.cdelta = values_of(e);
    list(e, 10);
  }
  if (d.nsr > 0) {
    std::vector<Value> r;
    for (int k = 0; k < d.nsr; ++k) {
      // A quarter repeat a built-in ratio; some sit on the ends 0 and 1.
      const int kind = integer(0, 19);
      if (kind < 5) {
        r.push_back(from_text(builtin_ratio_texts[integer(0, 19)]));
      } else if (kind == 5) {
        r.push_back(from_text(integer(0, 1) ? "1.000" : "0.000"));
      } else {
        r.push_back(rounded(uniform(-0.1, 1.1)));
      }
      d.reqsr.push_back(r.back().value);
    }
    list(r, 10);
  }

  const bool last_unterminated = integer(0, 9) == 0;
  if (crlf) d.forms |= crlf_records;
  if (last_unterminated) {
    d.forms |= unterminated_last_record;
    // Without a line end to stop it, the last field must fill its columns:
    // blanks after a comma-ended record's last value.
    std::string& rec = records.back();
    const std::size_t comma = rec.rfind(',');
    const std::size_t tail = comma == std::string::npos ? rec.size() : rec.size() - comma - 1;
    if (tail < 7) rec.append(7 - tail, ' ');
  }
  for (std::size_t k = 0; k < records.size(); ++k) {
    d.text += records[k];
    if (k + 1 < records.size() || !last_unterminated) d.text += crlf ? "\r\n" : "\n";
  }
  return d;
}

}  // namespace fourfifths::testing
