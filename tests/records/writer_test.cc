// Write operations: records built from layouts and items, including text,
// nX, "/", repeat counts, nested groups, reversion and the end-of-items rule;
// and layouts that cannot be used.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "records/frame.h"
#include "records/layout.h"

namespace fourfifths {
namespace {

using testing_records::first_line;
using testing_records::run_write;

const double row[] = {1.0, 0.5, 0.3};
const double ten[] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0};
const double pair[] = {0.904, 0.5};

struct Record {
  const char* name;
  const char* layout;
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

// Each record twice: by the general walk when its layout is new, then over
// the flat form made when the layout was kept.
TEST(RecordsWriter, Records) {
  records::forget_layouts();
  for (const char* way : {"new layout", "kept layout"}) {
    for (const Record& r : records()) {
      const RunOutcome outcome = run_write(r.layout, r.items);
      EXPECT_EQ(outcome.out, r.out) << r.name << ", " << way;
      EXPECT_EQ(outcome.err, "") << r.name << ", " << way;
      EXPECT_FALSE(outcome.aborted) << r.name << ", " << way;
    }
  }
}

// A record of any length: the buffer grows beyond its first 1024 characters.
TEST(RecordsWriter, LongRecord) {
  std::vector<double> values(300);
  std::string expected;
  for (std::size_t k = 0; k < values.size(); ++k) {
    values[k] = static_cast<double>(k) / 8;
    char field[16];
    std::snprintf(field, sizeof field, "%7.3f", values[k]);
    expected += field;
  }
  expected += '\n';
  const RunOutcome outcome = run_write("(300F7.3)", Items().add(values));
  EXPECT_EQ(outcome.out, expected);
}

// A layout with more descriptors than fit on the stack.
TEST(RecordsWriter, ManyDescriptors) {
  std::string layout = "(";
  std::string expected;
  for (int k = 0; k < 70; ++k) {
    layout += "'" + std::to_string(k % 10) + "',";
    expected += std::to_string(k % 10);
  }
  layout += "I2)";
  const RunOutcome outcome = run_write(layout, Items().add(42));
  EXPECT_EQ(outcome.out, expected + "42\n");
}

// Finished records go out in pieces no larger than the output block, never
// split, except one record larger than the block, which goes out alone.
TEST(RecordsWriter, OutputPieces) {
  std::vector<std::size_t> pieces;
  records::MemoryRunOptions options;
  options.out_capacity = 16;
  options.out_pieces = &pieces;
  const RunOutcome outcome = records::run_in_memory(
      "",
      [] {
        RecordWriter out;
        out.write("('abcdef')");                // 7 characters with the line feed
        out.write("('ghijkl')");                // 14: still fits
        out.write("('mno')");                   // 18 would not: the first two go out
        out.write("('0123456789abcdefghij')");  // 21: larger than the block
        out.write("('p')");
      },
      options);
  EXPECT_EQ(outcome.out, "abcdef\nghijkl\nmno\n0123456789abcdefghij\np\n");
  EXPECT_EQ(pieces, (std::vector<std::size_t>{14, 4, 21, 2}));
}

// Records built in a small output block: a record that outgrows the free
// part moves to the start of the block once the finished records are out, a
// record longer than the block goes on in a buffer of its own, which doubles
// (past 1024 and 2048 characters), and the records after it are built in the
// block again. Every piece holds whole records.
TEST(RecordsWriter, RecordsLongerThanTheBlock) {
  static std::vector<double> values;
  values.assign(400, 0.0);
  std::string row;
  for (std::size_t k = 0; k < values.size(); ++k) {
    values[k] = static_cast<double>(k) / 4 - 50;
    char field[16];
    std::snprintf(field, sizeof field, " %7.3f", values[k]);
    row += field;
  }
  std::vector<std::size_t> pieces;
  records::MemoryRunOptions options;
  options.out_capacity = 64;
  options.out_pieces = &pieces;
  const RunOutcome outcome = records::run_in_memory(
      "",
      [] {
        RecordWriter out;
        for (int pass = 0; pass < 2; ++pass) {  // the layout new, then kept
          out.write("('abc',3(1X,F7.3))", Items().add(std::span<const double>(values.data(), 3)));
          out.write("(400(1X,F7.3))", Items().add(values));
          out.write("(2('x',I3),/,A3)", Items().add(1).add(2).add("end"));
        }
      },
      options);
  const std::string short_row = "abc -50.000 -49.750 -49.500\n";
  const std::string last = "x  1x  2\nend\n";
  EXPECT_EQ(outcome.out, short_row + row + "\n" + last + short_row + row + "\n" + last);
  std::size_t offset = 0;
  for (const std::size_t piece : pieces) {
    offset += piece;
    EXPECT_EQ(outcome.out[offset - 1], '\n') << "a piece ends inside a record";
    EXPECT_TRUE(piece <= 64 || outcome.out.substr(offset - piece, piece).find('\n') == piece - 1)
        << "a piece larger than the block holds more than one record";
  }
  EXPECT_EQ(offset, outcome.out.size());
}

// Layouts that cannot be parsed end the run before anything is written.
TEST(RecordsWriter, UnparsableLayouts) {
  const char* layouts[] = {
      "I3",    "(I3",   "(I0)",     "(F7)",          "(F7.)",  "(D13.0)", "(Q3)",
      "(,I3)", "(I3,)", "(I3,,I3)", "(2())",         "(I3.2)", "(2'x')",  "('abc)",
      "(0I3)", "(2/)",  "(A)",      "(3000000000X)", "(2(I3)", "",
  };
  for (const char* layout : layouts) {
    const RunOutcome outcome = run_write(layout, Items().add(1));
    EXPECT_TRUE(outcome.aborted) << layout;
    EXPECT_EQ(outcome.out, "") << layout;
    EXPECT_EQ(outcome.err,
              "startio: error in format\n"
              "apparent state: unit 6 (unnamed)\n"
              "last format: " +
                  std::string(layout) +
                  "\n"
                  "lately writing sequential formatted external IO\n")
        << layout;
  }
}

// Faults of the calling program: an item of the wrong type for its
// descriptor, and a reverted layout part with no data descriptor, which
// would otherwise go round for ever.
TEST(RecordsWriter, UnusableItems) {
  struct Case {
    const char* layout;
    Items items;
  } cases[] = {
      {"(I3)", Items().add(1.5)},
      {"(F7.3)", Items().add(1)},
      {"(A3)", Items().add(1)},
      {"(I3)", Items().add("abc")},
      {"(I3,2('x'))", Items().add(1).add(2)},
  };
  for (const Case& c : cases) {
    const RunOutcome outcome = run_write(c.layout, c.items);
    EXPECT_TRUE(outcome.aborted) << c.layout;
    EXPECT_EQ(first_line(outcome.err), "fmt: error in format") << c.layout;
  }
}

// Parsed layouts are kept by the address and length of their text. A layout
// whose characters change in place is parsed afresh; a layout kept before
// fails in the same way as one parsed now, and its error report shows the
// text as given.
TEST(RecordsLayoutTable, TextChangedInPlace) {
  static char layout[] = "(I3,'a')";
  const RunOutcome outcome = records::run_in_memory(
      "",
      [] {
        RecordWriter out;
        out.write(layout, Items().add(5));
        out.write(layout, Items().add(6));
        std::memcpy(layout, "(I4,'b')", sizeof layout);
        out.write(layout, Items().add(7));
        std::memcpy(layout, "(I2,'c')", sizeof layout);
        out.write(layout, Items().add(8));
        out.write(layout, Items().add(9.5));  // a real for I: the run ends here
      },
      {});
  EXPECT_EQ(outcome.out, "  5a\n  6a\n   7b\n 8c\n");
  EXPECT_TRUE(outcome.aborted);
  EXPECT_EQ(outcome.err,
            "fmt: error in format\n"
            "apparent state: unit 6 (unnamed)\n"
            "last format: (I2,'c')\n"
            "lately writing sequential formatted external IO\n");
}

// More layouts than the table holds, each written several times, the later
// ones parsed for every operation; every record stays as its layout says.
TEST(RecordsLayoutTable, MoreLayoutsThanTheTableHolds) {
  static std::vector<std::string> layouts;
  layouts.clear();
  std::string expected;
  for (int k = 0; k < 300; ++k) {
    layouts.push_back("('L" + std::to_string(k) + "',I" + std::to_string(2 + k % 5) + ",2X,'.')");
  }
  for (int round = 0; round < 3; ++round) {
    for (int k = 0; k < 300; ++k) {
      const std::string number = std::to_string(round);
      expected += "L" + std::to_string(k) + std::string(static_cast<std::size_t>(1 + k % 5), ' ') +
                  number + "  .\n";
    }
  }
  const RunOutcome outcome = records::run_in_memory("",
                                                    [] {
                                                      RecordWriter out;
                                                      for (int round = 0; round < 3; ++round) {
                                                        for (const std::string& layout : layouts)
                                                          out.write(layout, Items().add(round));
                                                      }
                                                    },
                                                    {});
  EXPECT_EQ(outcome.out, expected);
  EXPECT_EQ(outcome.err, "");
}

// The same layout read and written: each direction keeps its own parse
// (quoted text has no use on input, so the read fails).
TEST(RecordsLayoutTable, ReadingAndWritingApart) {
  const RunOutcome outcome = records::run_in_memory("  4\n",
                                                    [] {
                                                      static constexpr const char* layout =
                                                          "(I3,'x')";
                                                      RecordWriter().write(layout, Items().add(3));
                                                      int32_t n = 0;
                                                      RecordReader().read(layout, Targets().add(n));
                                                    },
                                                    {});
  EXPECT_EQ(outcome.out, "  3x\n");
  EXPECT_EQ(first_line(outcome.err), "startio: error in format");
}

// Groups nested deeper than the walk keeps in place.
TEST(RecordsLayoutTable, DeeplyNestedGroups) {
  std::string layout = "(";
  for (int k = 0; k < 40; ++k) layout += "1(";
  layout += "I2,'|'";
  for (int k = 0; k < 40; ++k) layout += ")";
  layout += ")";
  for (int pass = 0; pass < 2; ++pass) {  // parsed, then kept
    const RunOutcome outcome = run_write(layout, Items().add(1).add(2).add(3));
    EXPECT_EQ(outcome.out, " 1|\n 2|\n 3|\n") << pass;
    EXPECT_EQ(outcome.err, "") << pass;
  }
}

}  // namespace
}  // namespace fourfifths
