// Decks as text: where a deck that cannot be read fails (line, columns, what
// stands there, and the classic diagnostic), and decks written from problems,
// which read back to the same problem.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <stdexcept>
#include <string>

#include "fourfifths/deck.h"
#include "fourfifths/pareto.h"
#include "study/random_deck.h"

namespace fourfifths {
namespace {

const std::string worked =
    "  2  1  1  0  1  2\n"
    "  4.000\n"
    "  1.000  0.500\n"
    "  1.000\n"
    "  1.000  0.300  0.500\n"
    "  0.300  1.000  0.400\n"
    "  0.500  0.400  1.000\n"
    " -1.000 -0.200\n"
    " -0.500\n"
    "  0.150  0.300\n";

// The worked deck with one line replaced (counted from 1), or cut after it.
std::string with_line(int line, const std::string& text) {
  std::string deck;
  int k = 1;
  for (std::size_t from = 0; from < worked.size(); ++k) {
    const std::size_t to = worked.find('\n', from) + 1;
    deck += k == line ? text : worked.substr(from, to - from);
    from = to;
  }
  return deck;
}

TEST(Deck, Errors) {
  const struct {
    const char* name;
    std::string deck;
    std::string message;
    std::string first_line;  // of the classic diagnostic
    std::string format;
  } cases[] = {
      {"letter in a predictor weight", with_line(3, "  1.000  0.5x0\n"),
       "line 3, columns 8-14 (predictor weights): \"  0.5x0\" is not a number",
       "fmt: read unexpected character", "(6F7.3)"},
      {"tab in the counts", with_line(1, "  2\t 1  1  0  1  2\n"),
       "line 1, columns 4-6 (counts): \"\t 1\" is not a number", "fmt: read unexpected character",
       "(6I3)"},
      {"deck cut after the correlations", worked.substr(0, worked.find(" -1.000")),
       "line 8, columns 1-7 (predictor effect sizes): the deck ends before this record",
       "fmt: end of file", "(10F7.3)"},
      {"last line short and unterminated", with_line(10, "  0.150"),
       "line 10, columns 8-14 (requested selection ratios): the deck's last line ends, without a "
       "line feed, before this field",
       "fmt: end of file", "(10F7.3)"},
      {"row of the matrix with a second point", with_line(6, "  0.300  1.0.0  0.400\n"),
       "line 6, columns 8-14 (correlation matrix row 2): \"  1.0.0\" is not a number",
       "fmt: read unexpected character", "(10F7.3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const DeckReading d = read_deck(c.deck);
    ASSERT_TRUE(d.error.has_value());
    EXPECT_EQ(d.error->message, c.message);
    EXPECT_EQ(d.error->diagnostic, c.first_line + "\napparent state: unit 5 (unnamed)\nlast format: " +
                                       c.format + "\nlately reading sequential formatted external IO\n");
  }
}

// A deck whose count record cannot be used gets its messages, and nothing
// after the count record is read.
TEST(Deck, RejectedCounts) {
  const DeckReading d = read_deck("  3  0  0  1  1  0\nnot read\n");
  EXPECT_FALSE(d.error);
  EXPECT_EQ(d.messages,
            (std::vector<std::string>{
                "Regression weights can not be computed because no\ncriteria are specified",
                "Average criterion quality can not be computed because\nno criteria are specified"}));
}

// Random valid decks, every field form: the deck written from what was read
// reads back to the same problem, bit for bit, with no value rounded.
TEST(Deck, WrittenDecksReadBack) {
  testing::DeckGenerator generator(77);
  for (int k = 0; k < 200; ++k) {
    const testing::RandomDeck random = generator.next(k % 2, k / 2 % 2, k / 4 % 2);
    const DeckReading first = read_deck(random.text);
    ASSERT_TRUE(first.ok()) << random.text;
    int rounded = -1;
    const std::string text = write_deck(first.problem, &rounded);
    EXPECT_EQ(rounded, 0);
    const DeckReading again = read_deck(text);
    ASSERT_TRUE(again.ok()) << text;
    const Problem& a = first.problem;
    const Problem& b = again.problem;
    EXPECT_EQ(a.predictors, b.predictors);
    EXPECT_EQ(a.criteria, b.criteria);
    EXPECT_EQ(a.basis, b.basis);
    EXPECT_EQ(a.applicant_ratio, b.applicant_ratio);
    EXPECT_EQ(a.regression_weights, b.regression_weights);
    EXPECT_EQ(a.quality, b.quality);
    EXPECT_EQ(a.predictor_weights, b.predictor_weights);
    EXPECT_EQ(a.criterion_weights, b.criterion_weights);
    EXPECT_EQ(a.correlations, b.correlations);
    EXPECT_EQ(a.predictor_effects, b.predictor_effects);
    EXPECT_EQ(a.criterion_effects, b.criterion_effects);
    EXPECT_EQ(a.requested_ratios, b.requested_ratios);
  }
}

// Values that need more than three decimals, or an exponent, still fit the
// 7-column fields exactly; values that no 7 columns hold are counted.
TEST(Deck, ValuesBeyondThreeDecimals) {
  Problem p = read_deck(worked).problem;
  p.predictor_weights = {0.12345, 1.5e-12};
  p.criterion_weights = {12345.5};
  p.requested_ratios = {0.123456789};
  int rounded = 0;
  const DeckReading back = read_deck(write_deck(p, &rounded));
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.problem.predictor_weights, p.predictor_weights);
  EXPECT_EQ(back.problem.criterion_weights, p.criterion_weights);
  EXPECT_EQ(rounded, 1);
  EXPECT_NEAR(back.problem.requested_ratios[0], 0.123456789, 5e-6);
  p.predictors = 11;
  EXPECT_THROW(write_deck(p), std::invalid_argument);
}

// Counts at the ends of an int, wherever a problem built in code enters the
// library: each is refused with its message, before any arithmetic on it
// (the sanitizer build catches a sum that overflows).
TEST(Deck, CountsAtTheEndsOfAnInt) {
  const struct {
    int predictors, criteria;
    const char* message;  // of validate(), and of pareto_front()
  } cases[] = {
      {INT_MAX, 1, "Too many predictors and criteria"},
      {2, INT_MAX, "Too many predictors and criteria"},
      {INT_MAX, INT_MAX, "Too many predictors and criteria"},
      {INT_MIN, 1, "Number of predictors must be at least 1"},
      {2, INT_MIN, "Number of criteria can not be negative"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.predictors) + " predictors, " + std::to_string(c.criteria) +
                 " criteria");
    Problem p = read_deck(worked).problem;
    p.predictors = c.predictors;
    p.criteria = c.criteria;
    try {
      write_deck(p);
      ADD_FAILURE() << "write_deck took the counts";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "write_deck: the counts of predictors and criteria do not fit a deck");
    }
    const std::vector<std::string> messages = validate(p);
    EXPECT_NE(std::find(messages.begin(), messages.end(), c.message), messages.end());
    EXPECT_EQ(analyse(p).messages, messages);
    const Front front = pareto_front(p);
    EXPECT_NE(std::find(front.messages.begin(), front.messages.end(), c.message),
              front.messages.end());
  }
  // The points of a front: a count too, refused before any is computed.
  FrontOptions options;
  options.points = INT_MAX;
  EXPECT_EQ(pareto_front(read_deck(worked).problem, options).messages,
            std::vector<std::string>{"The front holds at most 10000 points, got 2147483647"});
}

}  // namespace
}  // namespace fourfifths
