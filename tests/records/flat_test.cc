// Write operations over the flat form of a layout against the general walk:
// for every layout below and every item count from none to beyond the second
// reversion, both give the same records, the same error report and the same
// end. Each layout is first written without items, which keeps it in the
// layout table and makes its flat form; the reference run has the flat forms
// turned off.
#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "records/frame.h"
#include "records/layout.h"
#include "records/records.h"

namespace fourfifths {
namespace {

// Reals that take every way through an F or D field: plain values, a tie at
// three decimals, a negative value that rounds to zero, values too wide for
// F7.3 (also after rounding), a NaN and a three-digit exponent.
const double real_pool[] = {
    0.5,    -0.5,     12.3456,  0.0625, -0.0004,
    1234.5, -123.456, 999.9996, -7.25,  std::numeric_limits<double>::quiet_NaN(),
    1e-120, 3.0,      -99.9995, 0.1875, 42.0};
constexpr std::size_t real_count = sizeof real_pool / sizeof real_pool[0];
const char* const text_pool[] = {"Yes", "No ", "abcd", "x"};

struct FlatCase {
  const char* layout;
  const char* first;  // item kinds of the first pass: I, F (real) or A (text)
  const char* again;  // item kinds of each pass after a reversion
  bool flat;          // the layout has a flat form
};

const FlatCase cases[] = {
    // The report's own layouts.
    {"(9(F7.3,1X))", "FFFFFFFFF", "FFFFFFFFF", true},
    {"(3X,8(F7.3,1X))", "FFFFFFFF", "FFFFFFFF", true},
    {"(6(F7.3,1X))", "FFFFFF", "FFFFFF", true},
    {"('   Row ',I2,10F7.3)", "IFFFFFFFFFF", "IFFFFFFFFFF", true},
    {"('to ',2F7.3,' , respectively')", "FF", "FF", true},
    {"(5X,10F9.5)", "FFFFFFFFFF", "FFFFFFFFFF", true},
    {"(5X,10F7.3)", "FFFFFFFFFF", "FFFFFFFFFF", true},
    {"('ERROR ZERO ',I3,4D13.4)", "IFFFF", "IFFFF", true},
    {"('ERROR RATIO ',D13.4)", "F", "F", true},
    {"('Ratio number of majority vs number of minority applicants:',F6.3)", "F", "F", true},
    {"(/'Effect size predictor composite',F7.3)", "F", "F", true},
    {"(/,' Error',/,/,' stop',/)", "", "", true},
    // Text, advances and record ends around fields.
    {"(' a',I3,' b',I3)", "II", "II", true},
    {"('x',2(I2,'-'),'y')", "II", "II", true},
    {"(2(I1,2(I1,'.')))", "IIIIII", "IIIIII", true},
    {"(I1,2(I1),'|',3(I1,'.'))", "IIIIII", "III", true},
    {"(I3,1X)", "I", "I", true},
    {"(I1,3X,'x')", "I", "I", true},
    {"('a',2X,/,'b')", "", "", true},
    {"('it''s',I2,\"say \"\"x\"\"\")", "I", "I", true},
    {"(A3,1X,A3)", "AA", "AA", true},
    {"()", "", "", true},
    {"( 2 i3 f5 . 1 'z' )", "IIF", "IIF", true},
    {"(4F4.1)", "FFFF", "FFFF", true},
    {"(F7.3,12X,F7.3,3X,2X,F7.3)", "FFF", "FFF", true},
    {"(8X,F7.3,2(8X,F7.3),9X,F7.3)", "FFFF", "FF", true},
    {"(2X,3(1X,F7.3),4X)", "FFF", "FFF", true},
    {"(F7.3,F7.3,2F7.3,1X,F7.3)", "FFFFF", "FFFFF", true},
    {"(F7.3,1X,2F7.3,1X,F7.3)", "FFFF", "FFFF", true},
    {"(I2,3X,3I2,1X,I2)", "IIIII", "IIIII", true},
    {"(2(F7.3,'|'),/,3X,F6.3)", "FFF", "FFF", true},
    {"(I2,2X,/,3X)", "I", "I", true},
    {"(3(F7.3,2X),'end',2X)", "FFF", "FFF", true},
    {"(F7.3,I3,F7.3)", "FIF", "FIF", true},
    {"(10X,'t',2(2X,'u',I2))", "II", "II", true},
    {"(D13.4,F7.3,D13.4)", "FFF", "FFF", true},
    {"(2X,'a''b',3X,'c',1X,'',F7.3)", "F", "F", true},
    {"('only text')", "", "", true},
    {"(I2,2('x'))", "I", "", true},
    {"(2(F7.3,9X),2(1X,F5.1))", "FFFF", "FF", true},
    {"(F7.3,/,/,2F7.3)", "FFF", "FFF", true},
    {"(2(1X,A3,F7.3))", "AFAF", "AFAF", true},
    // Beyond the flat form's limits: the general walk alone.
    {"(300X,I2)", "I", "I", false},
    {"(F300.3)", "F", "F", false},
    {"(200(I1,'x'))", "IIIIIIII", "IIIIIIII", false},
    {"(20(20(20(1X))),I2)", "I", "I", false},
    {"(1(1(1(1(1(1(1(1(1(1(1(1(1(1(1(1(1(I2,'|'))))))))))))))))))", "I", "I", false},
};

// The kind of the k-th item of a case: the first pass, then the reverted
// passes over and over.
char kind_of(const FlatCase& c, std::size_t k) {
  const std::size_t first = std::strlen(c.first);
  if (k < first) return c.first[k];
  const std::size_t again = std::strlen(c.again);
  if (again == 0) return 'I';  // beyond a layout that takes no more items
  return c.again[(k - first) % again];
}

// The item list of the first n items of a case, reals from the pool in
// order; consecutive reals form one run, or each is a single real when
// single_reals is set. False when the list would need more segments than an
// item list holds.
bool make_items(const FlatCase& c, std::size_t n, bool single_reals, Items& items,
                std::vector<double>& reals) {
  reals.clear();
  reals.reserve(n);
  std::size_t segments = 0;
  std::size_t run_start = 0;
  std::size_t run_length = 0;
  std::vector<char> layout_kinds;
  for (std::size_t k = 0; k < n; ++k) layout_kinds.push_back(kind_of(c, k));
  auto close_run = [&] {
    if (run_length == 0) return true;
    if (++segments > Items::capacity) return false;
    items.add(std::span<const double>(reals.data() + run_start, run_length));
    run_length = 0;
    return true;
  };
  std::size_t text = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const char kind = layout_kinds[k];
    if (kind == 'F') {
      reals.push_back(real_pool[reals.size() % real_count]);
      if (single_reals) {
        if (++segments > Items::capacity) return false;
        items.add(reals.back());
      } else {
        if (run_length == 0) run_start = reals.size() - 1;
        ++run_length;
      }
      continue;
    }
    if (!close_run() || ++segments > Items::capacity) return false;
    if (kind == 'I') {
      items.add(static_cast<int32_t>(k * 7 % 23) - 5);
    } else {
      items.add(std::string_view(text_pool[text++ % 4]));
    }
  }
  return close_run();
}

// What one write of the layout with the items gave.
struct Written {
  RunOutcome outcome;
  bool flat = false;  // the write found a flat form
};

const char* current_layout;
const Items* current_items;

// One write operation, after a first write without items that has the
// layout kept in the table (and made flat) if there is room.
Written write_once(const char* layout, const Items& items, bool use_flat) {
  current_layout = layout;
  current_items = &items;
  records::forget_layouts();
  records::use_write_programs(use_flat);
  run_in_memory("", [] { RecordWriter().write(current_layout); });
  Written w;
  w.flat = records::find_write_program(layout) != nullptr;
  w.outcome = run_in_memory("", [] { RecordWriter().write(current_layout, *current_items); });
  records::use_write_programs(true);
  return w;
}

TEST(RecordsFlatLayouts, AgreeWithTheGeneralWalk) {
  for (const FlatCase& c : cases) {
    const std::size_t first = std::strlen(c.first);
    const std::size_t again = std::strlen(c.again);
    // Past the second reversion; a layout without data descriptors takes
    // one item to fail.
    const std::size_t most = again == 0 ? first + 1 : first + 2 * again + 1;
    for (std::size_t n = 0; n <= most; ++n) {
      for (const bool single_reals : {false, true}) {
        Items items;
        std::vector<double> reals;
        if (!make_items(c, n, single_reals, items, reals)) continue;
        const Written flat = write_once(c.layout, items, true);
        const Written walk = write_once(c.layout, items, false);
        const std::string what = std::string(c.layout) + " with " + std::to_string(n) +
                                 (single_reals ? " single items" : " items");
        EXPECT_EQ(flat.flat, c.flat) << what;
        EXPECT_FALSE(walk.flat) << what;
        EXPECT_EQ(flat.outcome.out, walk.outcome.out) << what;
        EXPECT_EQ(flat.outcome.err, walk.outcome.err) << what;
        EXPECT_EQ(flat.outcome.aborted, walk.outcome.aborted) << what;
        EXPECT_EQ(flat.outcome.status, walk.outcome.status) << what;
      }
    }
  }
}

// An item of the wrong kind for its descriptor in the middle of a run of
// fields: the records finished before it are written, the one under way is
// not, and the run ends with the same report either way.
TEST(RecordsFlatLayouts, WrongItemInARun) {
  const double reals[] = {0.25, 0.5, 0.75};
  const char* layouts[] = {"(2F7.3,/,3(F7.3,1X))", "(2(F7.3,1X),/,I2,F7.3)"};
  for (const char* layout : layouts) {
    Items items;
    items.add(std::span<const double>(reals, 2)).add(reals[2]).add(4).add(5);
    const Written flat = write_once(layout, items, true);
    const Written walk = write_once(layout, items, false);
    EXPECT_TRUE(flat.flat) << layout;
    EXPECT_EQ(flat.outcome.out, walk.outcome.out) << layout;
    EXPECT_EQ(flat.outcome.err, walk.outcome.err) << layout;
    EXPECT_TRUE(flat.outcome.aborted) << layout;
  }
}

// A flat layout with a run of F7.3 fields longer than one batch (256) and a
// record that outgrows the first 1024 characters of the record buffer.
TEST(RecordsFlatLayouts, LongRuns) {
  std::vector<double> values(700);
  std::string expected;
  for (std::size_t k = 0; k < values.size(); ++k) {
    values[k] = (static_cast<double>(k) - 350) / 16;
    char field[16];
    std::snprintf(field, sizeof field, " %7.3f", values[k]);
    expected += field;
  }
  expected += '\n';
  Items items;
  items.add(values);
  const Written flat = write_once("(1000(1X,F7.3))", items, true);
  EXPECT_TRUE(flat.flat);
  EXPECT_EQ(flat.outcome.out, expected);
}

// Empty runs of reals before, between and after the reals of a report row:
// the same records as the general walk.
TEST(RecordsFlatLayouts, EmptyRuns) {
  const double reals[] = {0.25, -0.5, 0.75};
  const std::span<const double> none;
  const Items lists[] = {
      Items().add(none),
      Items().add(none).add(std::span<const double>(reals)),
      Items()
          .add(std::span<const double>(reals, 1))
          .add(none)
          .add(std::span<const double>(reals + 1, 2)),
      Items().add(std::span<const double>(reals)).add(none),
  };
  for (const Items& items : lists) {
    const Written flat = write_once("(9(F7.3,1X))", items, true);
    const Written walk = write_once("(9(F7.3,1X))", items, false);
    EXPECT_TRUE(flat.flat);
    EXPECT_EQ(flat.outcome.out, walk.outcome.out);
    EXPECT_EQ(flat.outcome.err, "");
  }
}

// A kept layout whose characters change in place, one position at a time and
// at every length from 4 to 30: each write shows the text as it now stands.
TEST(RecordsFlatLayouts, TextChangedInPlaceAtAnyPosition) {
  static char layout[40];
  records::forget_layouts();
  for (std::size_t length = 4; length <= 30; ++length) {
    // ('aaa...') with length characters in all.
    std::string text = "(" + std::string(1, '\'') + std::string(length - 4, 'a') + "')";
    std::memcpy(layout, text.c_str(), text.size() + 1);
    for (std::size_t k = 2; k + 2 < length; ++k) {
      const RunOutcome outcome = run_in_memory("", [] {
        RecordWriter out;
        out.write(layout);
        out.write(layout);
      });
      std::string shown = text.substr(2, length - 4) + "\n";
      EXPECT_EQ(outcome.out, shown + shown) << text;
      layout[k] = 'b';  // the next run must see it
      text[k] = 'b';
    }
  }
}

}  // namespace
}  // namespace fourfifths
