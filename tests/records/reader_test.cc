// Read operations: integer and real fields with every input rule, short and
// long lines, commas, the line end, carriage returns, and the end of the
// deck.
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "records/records.h"

namespace fourfifths {
namespace {

// One read operation of a script: a layout and how many integer ('I') or
// real ('F') targets it fills.
struct Step {
  ReadLayout layout;
  char type;
  int count;
};

// What the script's reads stored, in order, and how the last read ended.
struct Reads {
  bool ok = true;
  ReadFailure failure;
  std::vector<double> values;
};

Reads run_reads(std::string_view deck, const std::vector<Step>& steps) {
  Reads reads;
  TextLines lines(deck);
  RecordReader in(lines);
  for (const Step& step : steps) {
    const std::size_t n = static_cast<std::size_t>(step.count);
    std::vector<int32_t> integers(n, -999);
    std::vector<double> reals(n, -999);
    Targets targets;
    if (step.type == 'I') {
      for (int32_t& target : integers) targets.add(target);
    } else {
      targets.add(std::span(reals));
    }
    reads.ok = in.read(step.layout, targets);
    if (!reads.ok) {
      reads.failure = in.failure();
      return reads;
    }
    for (std::size_t k = 0; k < n; ++k) reads.values.push_back(step.type == 'I' ? integers[k] : reals[k]);
  }
  return reads;
}

struct Field {
  std::string text;
  double value;  // NaN: the field is rejected as an unexpected character
};

const double rejected = std::numeric_limits<double>::quiet_NaN();

void expect_fields(ReadLayout layout, char type, const std::vector<Field>& fields) {
  for (const Field& f : fields) {
    const Reads reads = run_reads(f.text + "\n", {{layout, type, 1}});
    if (std::isnan(f.value)) {
      EXPECT_FALSE(reads.ok) << '"' << f.text << '"';
      EXPECT_EQ(reads.failure.code, err_unexpected_char) << '"' << f.text << '"';
      EXPECT_STREQ(reads.failure.where, "fmt") << '"' << f.text << '"';
    } else {
      ASSERT_TRUE(reads.ok) << '"' << f.text << '"';
      ASSERT_EQ(reads.values.size(), 1u);
      EXPECT_EQ(reads.values[0], f.value) << '"' << f.text << '"';
      EXPECT_FALSE(std::signbit(reads.values[0]) && f.value == 0) << '"' << f.text << '"';
    }
  }
}

TEST(RecordsReader, IntegerFields) {
  expect_fields("(6I3)", 'I',
                {
                    {"  7", 7},
                    {"7  ", 7},
                    {"1 2", 12},
                    {" -5", -5},
                    {"- 5", -5},
                    {"   ", 0},
                    {"1.5", rejected},
                    {"1-2", rejected},
                    {"  a", rejected},
                    {"+12", 12},
                    {"-  ", 0},
                    {"", 0},
                    {",", 0},
                    {"9,9", 9},
                    {"\t1", rejected},
                    {"1\r2", rejected},
                    {"  7\r", 7},
                });
}

TEST(RecordsReader, IntegerFieldLimits) {
  expect_fields("(I11)", 'I', {{"-2147483648", -2147483648.0}, {" 2147483647", 2147483647}});
  // A field longer than 64 bits of digits wraps modulo 2^32 in the target.
  expect_fields("(I20)", 'I', {{"99999999999999999999", 1661992959}});
}

TEST(RecordsReader, RealFields) {
  expect_fields("(10F7.3)", 'F',
                {
                    {"  1.500", 1.5},      {"   1500", 1.5},
                    {"   1234", 1.234},    {"1234567", 1234.567},
                    {"    -25", -0.025},   {"  -2.5 ", -2.5},
                    {"1 5    ", 0.015},    {"   1.E2", 100},
                    {"    1E2", 0.1},      {"  2.5-1", 0.25},
                    {"  -0.0 ", 0},        {"       ", 0},
                    {"   .   ", 0},        {"  1.2.3", rejected},
                    {"  1.5x ", rejected}, {"  1.5E ", rejected},
                    {"  1.5E", rejected},  {"  1.5e-", rejected},
                    {"1.5d+1 ", 15},       {"  +.25 ", 0.25},
                    {"   .001", 0.001},    {"0000001", 0.001},
                    {"  1.5D2", 150},      {" 1 . 5", 1.5},
                    {"1,     ", 0.001},    {"", 0},
                    {"   -   ", 0},        {"1.5\t", rejected},
                    {"1.5\r\r", rejected}, {"   E5  ", 0},
                    {" 1.5E 2", 150},      {"1.5E2-1", rejected},
                    {" 1e-2", 0.00001},
                });
  // Dw.d reads exactly as Fw.d.
  expect_fields("(D7.3)", 'F', {{"   1234", 1.234}, {"  1.5E1", 15}});
  expect_fields("(D5.0)", 'F', {{"   12", 12}});
  // Zero implied decimals and a wide field.
  expect_fields("(F5.0)", 'F', {{"   12", 12}, {"1.25 ", 1.25}});
}

TEST(RecordsReader, RealFieldLimits) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  // Only 40 significant digits are kept: 2^53 + 1 is halfway between two
  // doubles, and the 41st digit that would round it up is dropped, so it
  // rounds to even.
  expect_fields("(F42.0)", 'F',
                {{"9007199254740993.0000000000000000000000001", 9007199254740992.0}});
  expect_fields("(F42.0)", 'F',
                {{"9007199254740993.000000000000000000000001", 9007199254740994.0}});
  // Integer digits beyond the 40th still count for the magnitude.
  expect_fields("(F45.0)", 'F', {{"1" + std::string(44, '0'), 1e44}});
  expect_fields("(F12.0)", 'F',
                {
                    {"1E99999999", inf},        // too large for a double: infinity
                    {"-1E400", -inf},           //
                    {"1E-400", 0},              // below the smallest subnormal
                    {"1E100000000", rejected},  // exponent above 99999999 with digits
                    {"0E100000000", 0},         // without digits it is only zero
                });
  expect_fields("(F16.0)", 'F', {{"4.9406564E-324", 4.9406564584124654e-324}});
}

// Random 7-column fields of every shape a deck may hold (a sign, up to seven
// digits, a point anywhere or none, an exponent of one or two digits), read
// with F7.3 and compared with strtod of the same number written out: the
// mantissa as it stands, and without a point the three implied decimals
// moved into the exponent. Short fields and small exponents take the exact
// conversion of the reader, long digit strings and large exponents the C
// library's; both must give strtod's correctly rounded double.
TEST(RecordsReader, RealFieldsMatchTheLibrary) {
  std::mt19937_64 rng(7203);
  auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); };
  std::string deck;
  std::vector<double> expected;
  constexpr int lines = 2000;
  for (int line = 0; line < lines; ++line) {
    for (int k = 0; k < 10; ++k) {
      std::string mantissa = pick(0, 3) == 0 ? "-" : "";
      const int exponent_digits = pick(0, 4) == 0 ? pick(1, 2) : 0;
      const int exponent = exponent_digits == 0   ? 0
                           : exponent_digits == 1 ? pick(0, 9)
                                                  : pick(10, 99) * (pick(0, 1) == 0 ? 1 : -1);
      const std::string exponent_text =
          exponent_digits == 0 ? "" : (exponent < 0 ? "E" : "E+") + std::to_string(exponent);
      const int room = 7 - static_cast<int>(mantissa.size() + exponent_text.size());
      const bool point = pick(0, 2) != 0 && room >= 2;
      const int digits = pick(1, room - (point ? 1 : 0));
      std::string number;
      for (int j = 0; j < digits; ++j) number += static_cast<char>('0' + pick(0, 9));
      if (point) number.insert(static_cast<std::size_t>(pick(0, digits)), ".");
      mantissa += number;
      const std::string field = mantissa + exponent_text;
      deck += std::string(7 - field.size(), ' ') + field;
      const std::string written = mantissa + "e" + std::to_string(point ? exponent : exponent - 3);
      expected.push_back(std::strtod(written.c_str(), nullptr));
    }
    deck += '\n';
  }
  const Reads reads = run_reads(deck, {{"(10F7.3)", 'F', lines * 10}});
  ASSERT_TRUE(reads.ok);
  ASSERT_EQ(reads.values.size(), expected.size());
  for (std::size_t k = 0; k < expected.size(); ++k) {
    ASSERT_EQ(std::bit_cast<uint64_t>(reads.values[k] == 0 ? 0.0 : reads.values[k]),
              std::bit_cast<uint64_t>(expected[k] == 0 ? 0.0 : expected[k]))
        << "field " << k << ": \"" << deck.substr(k / 10 * 71 + k % 10 * 7, 7) << '"';
  }
}

struct Deck {
  const char* name;
  std::string deck;
  std::vector<Step> steps;
  std::vector<double> values;
};

TEST(RecordsReader, Decks) {
  const std::string twelve =
      "  0.100  0.200  0.300  0.400  0.500  0.600  0.700  0.800  0.900  1.000  1.100  1.200";
  const std::vector<Deck> decks = {
      {"empty line", "\n", {{"(6I3)", 'I', 6}}, {0, 0, 0, 0, 0, 0}},
      {"short line", "  2  1\n", {{"(6I3)", 'I', 6}}, {2, 1, 0, 0, 0, 0}},
      {"fields after a short field on the same line",
       "  2 1\n  7\n",
       {{"(6I3)", 'I', 3}, {"(6I3)", 'I', 1}},
       {2, 1, 0, 7}},
      {"three of twelve fields, rest of line skipped",
       twelve + "\n  9.000\n",
       {{"(10F7.3)", 'F', 3}, {"(10F7.3)", 'F', 1}},
       {0.1, 0.2, 0.3, 9}},
      {"twelve values over two lines",
       twelve + "\n  1.100  1.200  9.000\n",
       {{"(10F7.3)", 'F', 12}},
       {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.2}},
      {"eight values with six fields a line",
       "  1.000  2.000  3.000  4.000  5.000  6.000  7.000\n  8.000  9.000\n",
       {{"(6F7.3)", 'F', 8}},
       {1, 2, 3, 4, 5, 6, 8, 9}},
      {"a read without targets consumes one line",
       "  1\n  2\n",
       {{"(6I3)", 'I', 0}, {"(6I3)", 'I', 1}},
       {2}},
      {"comma-separated integers", "1,2,3\n", {{"(6I3)", 'I', 6}}, {1, 2, 3, 0, 0, 0}},
      {"comma-separated reals keep implied decimals",
       "1.5,2,3\n",
       {{"(10F7.3)", 'F', 3}},
       {1.5, 0.002, 0.003}},
      {"last line without terminator",
       "  1\n  2  3",
       {{"(6I3)", 'I', 1}, {"(6I3)", 'I', 2}},
       {1, 2, 3}},
      {"carriage return as the last byte", "  1  2\r", {{"(6I3)", 'I', 2}}, {1, 2}},
      {"X and / on input", "abc  5\n  6\n", {{"(3X,I3,/,I3)", 'I', 2}}, {5, 6}},
  };
  for (const Deck& d : decks) {
    const Reads reads = run_reads(d.deck, d.steps);
    EXPECT_TRUE(reads.ok) << d.name;
    EXPECT_EQ(reads.values, d.values) << d.name;
  }
}

// A deck with Windows line ends reads exactly like the same deck with Unix
// line ends.
TEST(RecordsReader, CarriageReturnLineFeed) {
  const std::string lf = "  2  1  0\n 10\n  0.500 -1.250\n\n  3.000\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::vector<Step> steps = {{"(6I3)", 'I', 6},
                                   {"(6I3)", 'I', 1},
                                   {"(10F7.3)", 'F', 3},
                                   {"(6I3)", 'I', 0},
                                   {"(10F7.3)", 'F', 1}};
  const Reads unix_reads = run_reads(lf, steps);
  const Reads windows_reads = run_reads(crlf, steps);
  EXPECT_TRUE(unix_reads.ok);
  EXPECT_EQ(unix_reads.values, (std::vector<double>{2, 1, 0, 0, 0, 0, 10, 0.5, -1.25, 0, 3}));
  EXPECT_EQ(windows_reads.values, unix_reads.values);
  // And both fail alike one read later, at the line after the last.
  std::vector<Step> more = steps;
  more.push_back({"(6I3)", 'I', 1});
  for (const std::string& deck : {lf, crlf}) {
    const Reads reads = run_reads(deck, more);
    EXPECT_FALSE(reads.ok);
    EXPECT_EQ(reads.failure.code, err_end_of_file);
    EXPECT_STREQ(reads.failure.where, "fmt");
    EXPECT_EQ(reads.failure.line, 6);
  }
}

// Where a read fails: the end of the data inside a field or before a line,
// a read that starts after an unterminated last line, and a character that
// is not part of a number, each with its line and the field's columns.
TEST(RecordsReader, Failures) {
  const struct {
    const char* name;
    std::string deck;
    std::vector<Step> steps;
    int32_t code;
    const char* where;
    int line, first_column, last_column;
    std::string found;
  } cases[] = {
      {"no line left", "  1\n", {{"(6I3)", 'I', 1}, {"(6I3)", 'I', 1}},
       err_end_of_file, "fmt", 2, 1, 3, ""},
      {"unterminated last line runs out inside a read", "  1  2", {{"(6I3)", 'I', 3}},
       err_end_of_file, "fmt", 1, 7, 9, ""},
      {"read after an unterminated last line", "  1\n  2  3",
       {{"(6I3)", 'I', 1}, {"(6I3)", 'I', 2}, {"(6I3)", 'I', 1}},
       err_end_of_file, "read start", 3, 0, 0, ""},
      {"letter in the first field", "  1.5x \n", {{"(10F7.3)", 'F', 1}},
       err_unexpected_char, "fmt", 1, 1, 7, "  1.5x "},
      {"letter in the second field of the second line", "  9\n  0.100  0.2x0  0.300\n",
       {{"(6I3)", 'I', 1}, {"(10F7.3)", 'F', 3}},
       err_unexpected_char, "fmt", 2, 8, 14, "  0.2x0"},
      // A line too long to hold: its fields read, the next read fails at it.
      {"read after a line of 65537 characters", "  1" + std::string(65534, ' ') + "\n  2\n",
       {{"(6I3)", 'I', 1}, {"(6I3)", 'I', 1}},
       err_out_of_space, "malloc failure", 1, 0, 0, ""},
      {"read after an endless line", "  1  2" + std::string(200000, ' '),
       {{"(6I3)", 'I', 2}, {"(6I3)", 'I', 1}},
       err_out_of_space, "malloc failure", 1, 0, 0, ""},
      {"a line too long is taken by the next read", "  1\n" + std::string(70000, '\0'),
       {{"(6I3)", 'I', 1}, {"(6I3)", 'I', 1}},
       err_unexpected_char, "fmt", 2, 1, 3, std::string(3, '\0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Reads reads = run_reads(c.deck, c.steps);
    ASSERT_FALSE(reads.ok);
    EXPECT_EQ(reads.failure.code, c.code);
    EXPECT_STREQ(reads.failure.where, c.where);
    EXPECT_EQ(reads.failure.line, c.line);
    EXPECT_EQ(reads.failure.first_column, c.first_column);
    EXPECT_EQ(reads.failure.last_column, c.last_column);
    EXPECT_EQ(reads.failure.found, c.found);
  }
}

// Lines read from a stream in blocks are the lines of the same text in
// memory: lines that cross a block's end, a line of exactly the longest
// length, longer ones (cut, and nothing read after them), an unterminated
// last line and a stream that fails.
TEST(RecordsReader, StreamLinesAreTextLines) {
  const std::string longest(max_line_length, 'x');
  const std::string texts[] = {
      "",
      "  2\n\n  3",
      std::string(65530, ' ') + "\n" + std::string(20, 'a') + "\n" + std::string(140000, 'b') + "\n",
      longest + "\n" + longest,
      longest + "y\n  1\n",
      "  1\n" + std::string(1 << 20, '\0'),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.size());
    std::string copy = text;
    std::FILE* stream = fmemopen(copy.data(), copy.size(), "r");
    if (copy.empty()) stream = std::fopen("/dev/null", "r");
    ASSERT_NE(stream, nullptr);
    StreamLines from_stream(stream);
    TextLines from_text(text);
    for (int k = 0;; ++k) {
      SCOPED_TRACE(k);
      std::string_view a, b;
      LineEnd end_a = LineEnd::feed, end_b = LineEnd::feed;
      const bool more = from_text.next_line(a, end_a);
      ASSERT_EQ(from_stream.next_line(b, end_b), more);
      if (!more) break;
      EXPECT_EQ(a, b);
      EXPECT_EQ(end_a, end_b);
      EXPECT_LE(a.size(), max_line_length);
    }
    EXPECT_EQ(from_stream.error(), 0);
    std::fclose(stream);
  }
  std::FILE* directory = std::fopen("/", "r");
  ASSERT_NE(directory, nullptr);
  StreamLines unreadable(directory);
  std::string_view line;
  LineEnd end = LineEnd::feed;
  EXPECT_FALSE(unreadable.next_line(line, end));
  EXPECT_EQ(unreadable.error(), EISDIR);
  std::fclose(directory);
}

}  // namespace
}  // namespace fourfifths
