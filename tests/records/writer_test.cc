// Write operations: records built from layouts and items, including text,
// nX, "/", repeat counts, nested groups, reversion and the end-of-items rule;
// layouts that do not parse and items that do not fit their layout.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "records/records.h"

namespace fourfifths {
namespace {

std::string write(WriteLayout layout, const Items& items) {
  std::string out;
  StringSink sink(out);
  RecordWriter(sink).write(layout, items);
  return out;
}

const double row[] = {1.0, 0.5, 0.3};
const double ten[] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};
const double pair[] = {0.904, 0.5};

struct Record {
  const char* name;
  WriteLayout layout;
  Items items;
  const char* out;
};

std::vector<Record> records() {
  return {
      {"row", "('   Row ',I2,10F7.3)", Items().add(1).add(row), "   Row  1  1.000  0.500  0.300\n"},
      {"end of items keeps trailing text", "('to ',2F7.3,' , respectively')", Items().add(pair),
       "to   0.904  0.500 , respectively\n"},
      {"text before a data descriptor without item", "(' a',I3,' b',I3)", Items().add(5),
       " a  5 b\n"},
      {"reversion to the group, leading 3X not repeated", "(3X,8(F7.3,1X))", Items().add(ten),
       "     0.100   0.200   0.300   0.400   0.500   0.600   0.700   0.800\n"
       "  0.900   1.000\n"},
      {"group cut short by the items", "(6(F7.3,1X))", Items().add(std::span(row)),
       "  1.000   0.500   0.300\n"},
      {"reversion to the beginning", "(2I3)", Items().add(1).add(2).add(3).add(4).add(5),
       "  1  2\n  3  4\n  5\n"},
      {"reversion with the group's full count", "('x',2(I2,'-'),'y')",
       Items().add(1).add(2).add(3).add(4).add(5), "x 1- 2-y\n 3- 4-y\n 5-\n"},
      {"nested groups", "(2(I1,2(I1,'.')))", Items().add(1).add(2).add(3).add(4).add(5).add(6),
       "12.3.45.6.\n"},
      {"reversion to the last top-level group", "(I1,2(I1),'|',3(I1,'.'))",
       Items().add(1).add(2).add(3).add(4).add(5).add(6).add(7).add(8), "123|4.5.6.\n7.8.\n"},
      {"text only, with empty lines", "(/,' Error',/,/,' stop',/)", Items(),
       "\n Error\n\n stop\n\n"},
      {"trailing 1X writes nothing", "(I3,1X)", Items().add(7), "  7\n"},
      {"1X before reversion writes nothing", "(I3,1X)", Items().add(7).add(8), "  7\n  8\n"},
      {"pending advance before text", "(I1,3X,'x')", Items().add(7), "7   x\n"},
      {"advance dropped by /", "('a',2X,/,'b')", Items(), "a\nb\n"},
      {"doubled quote", "('it''s',I2,\"say \"\"x\"\"\")", Items().add(5), "it's 5say \"x\"\n"},
      {"character fields", "(A3,1X,A3)", Items().add("Yes").add("No "), "Yes No \n"},
      {"empty layout", "()", Items(), "\n"},
      {"blanks, lower case, no commas", "( 2 i3 f5 . 1 'z' )", Items().add(1).add(2).add(0.3),
       "  1  2  0.3z\n"},
      {"text after the layout's parenthesis is ignored", "(I2) not a descriptor", Items().add(3),
       " 3\n"},
      {"items as single reals and runs", "(4F4.1)",
       Items().add(0.5).add(std::span(row, 2)).add(0.3), " 0.5 1.0 0.5 0.3\n"},
      {"empty run of reals", "(I2,F4.1)", Items().add(1).add(std::span<const double>()).add(0.3),
       " 1 0.3\n"},
      {"exponent fields", "(4D13.4)", Items().add(1234.5678).add(-1234.5678),
       "   0.1235E+04  -0.1235E+04\n"},
  };
}

TEST(RecordsWriter, Records) {
  for (const Record& r : records()) EXPECT_EQ(write(r.layout, r.items), r.out) << r.name;
}

// A record of any length.
TEST(RecordsWriter, LongRecord) {
  std::vector<double> values(300);
  std::string expected;
  for (std::size_t k = 0; k < values.size(); ++k) {
    values[k] = static_cast<double>(k) / 8;
    char field[16];
    std::snprintf(field, sizeof field, "%7.3f", values[k]);
    expected += field;
  }
  EXPECT_EQ(write("(300F7.3)", Items().add(values)), expected + "\n");
}

// Texts that are not layouts, for writing or for reading. The program's own
// layouts are checked when it is built (see the layout_check test); these
// are the parser's verdicts.
TEST(RecordsWriter, UnparsableLayouts) {
  const char* layouts[] = {
      "I3",    "(I3",   "(I0)",     "(F7)",          "(F7.)",  "(D13.0)", "(Q3)",
      "(,I3)", "(I3,)", "(I3,,I3)", "(2())",         "(I3.2)", "(2'x')",  "('abc)",
      "(0I3)", "(2/)",  "(A)",      "(3000000000X)", "(2(I3)", "",
  };
  for (const char* layout : layouts) EXPECT_FALSE(records::parse_layout(layout, false).ok) << layout;
  for (const char* layout : {"('x',I3)", "(A3)", "(2(2(2(2(2(2(2(2(2(I1))))))))))"})
    EXPECT_FALSE(records::parse_layout(layout, true).ok) << layout;
  EXPECT_TRUE(records::parse_layout("(2(2(2(2(2(2(2(2(I1)))))))))", true).ok);
}

// Faults of the calling program: an item of the wrong type for its
// descriptor, and a reverted layout part with no data descriptor, which
// would otherwise go round for ever.
TEST(RecordsWriter, UnusableItems) {
  struct Case {
    WriteLayout layout;
    Items items;
  } cases[] = {
      {"(I3)", Items().add(1.5)},
      {"(F7.3)", Items().add(1)},
      {"(A3)", Items().add(1)},
      {"(I3)", Items().add("abc")},
      {"(I3,2('x'))", Items().add(1).add(2)},
  };
  for (const Case& c : cases) EXPECT_THROW(write(c.layout, c.items), LayoutMismatch) << c.layout.text();
}

}  // namespace
}  // namespace fourfifths
