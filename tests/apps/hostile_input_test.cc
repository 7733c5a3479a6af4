// Both programs as a hostile user or an accident would run them: endless
// input, under an address-space limit; fourfifths-study's chart beside the
// report and the deck, under a file size limit; options given before
// "pareto"; numbers and lists that read otherwise than they look; and bytes
// of a deck that a terminal would obey.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "report/report.h"
#include "support/process.h"

namespace fourfifths {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::Spawn;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;  // the sanitizer's shadow memory needs the address space
#else
constexpr bool sanitized = false;
#endif

// A few MB: both programs run the example decks in 4 MB of address space.
constexpr long address_limit = 8L << 20;

const std::string examples = FOURFIFTHS_SOURCE_DIR "/examples/";

// A scratch directory, removed with what it holds.
struct Scratch {
  fs::path dir;
  Scratch() {
    char name[] = "/tmp/fourfifths-hostile-XXXXXX";
    dir = mkdtemp(name);
  }
  ~Scratch() { fs::remove_all(dir); }
  std::string put(const std::string& name, const std::string& text) const {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir)) out.push_back(entry.path().filename());
    std::sort(out.begin(), out.end());
    return out;
  }
};

void limit(Spawn& s) {
  if (!sanitized) s.address_space_limit = address_limit;
}

// Endless input ends promptly, in bounded memory, with what the same deck
// cut to a finite length gives (or, past the longest line, a diagnostic of
// its own) from either program.
TEST(HostileInput, EndlessInputEndsPromptlyInBoundedMemory) {
  Scratch scratch;
  const std::string sparse = (scratch.dir / "sparse").string();
  {
    const int fd = open(sparse.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_EQ(ftruncate(fd, 1L << 30), 0);  // 1 GiB of zeros, none on disk
    close(fd);
  }
  const std::string worked = read_file(examples + "worked.deck");
  const std::string long_count_record = "  2  1  1  0  1  1";
  const struct {
    const char* name;
    std::string path;       // the deck as a file (empty: from a pipe)
    std::string start;      // what the pipe carries first,
    std::string endless;    // then again and again
    std::string finite;     // a finite deck that must give the same (empty: see below)
  } cases[] = {
      {"a device of zeros", "/dev/zero", "", "", std::string(1000, '\0')},
      {"a sparse file of 1 GiB", sparse, "", "", std::string(1000, '\0')},
      {"empty lines", "", "", "\n", std::string(1000, '\n')},
      {"the worked deck, then zeros", "", worked, std::string(4096, '\0'), worked},
      {"the worked deck, then lines", "", worked + "\n", "more\n", worked},
      {"a count record running on in blanks", "", long_count_record, std::string(4096, ' '), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string finite = scratch.put("finite.deck", c.finite);
    // The classic program, with the deck on standard input.
    Spawn classic{.program = FOURFIFTHS_BINARY, .input = c.start, .endless_input = c.endless,
                  .input_path = c.path};
    limit(classic);
    const auto r = testing::spawn(classic);
    EXPECT_FALSE(r.timed_out);
    EXPECT_LT(r.seconds_after_signals, 5);
    if (!c.finite.empty()) {
      const ClassicOutcome expected = run_classic(c.finite);
      EXPECT_EQ(r.out, expected.out);
      EXPECT_EQ(r.err, expected.err);
      EXPECT_EQ(!r.exited && r.signal == SIGABRT, expected.aborted);
    } else {
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(r.err,
                "malloc failure: out of free space\napparent state: unit 5 (unnamed)\n"
                "last format: (10F7.3)\nlately reading sequential formatted external IO\n");
      EXPECT_EQ(r.signal, SIGABRT);
    }
    // fourfifths-study, with the deck named or on standard input.
    Spawn study{.program = FOURFIFTHS_STUDY_BINARY, .input = c.start,
                .endless_input = c.endless};
    if (!c.path.empty()) study.args = {c.path};
    limit(study);
    const auto s = testing::spawn(study);
    EXPECT_FALSE(s.timed_out);
    EXPECT_LT(s.seconds_after_signals, 5);
    EXPECT_TRUE(s.exited);
    if (!c.finite.empty()) {
      const auto expected = testing::spawn({.program = FOURFIFTHS_STUDY_BINARY, .args = {finite}});
      EXPECT_EQ(s.out, expected.out);
      std::string err = expected.err;
      if (const std::size_t at = err.find(finite); at != std::string::npos)
        err.replace(at, finite.size(), c.path.empty() ? "standard input" : c.path);
      EXPECT_EQ(s.err, err);
      EXPECT_EQ(s.status, expected.status);
    } else {
      EXPECT_EQ(s.err,
                "fourfifths-study: standard input: line 1: runs on past 65536 characters without "
                "a line feed (before the applicant ratio)\n");
      EXPECT_EQ(s.status, 1);
    }
  }
}

// A line as long as a deck line may be reads as any other.
TEST(HostileInput, TheLongestLineReads) {
  std::string worked = read_file(examples + "worked.deck");
  std::string padded = worked;
  padded.insert(padded.find('\n'), 65536 - padded.find('\n'), ' ');
  const auto a = testing::spawn({.program = FOURFIFTHS_BINARY, .input = worked});
  const auto b = testing::spawn({.program = FOURFIFTHS_BINARY, .input = padded});
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(b.err, "");
  EXPECT_EQ(b.status, 0);
}

// The chart never lands on the report or the deck, and is written whole or
// not at all: under a file size limit the old chart stays as it was, with
// nothing left beside it.
TEST(HostileInput, TheChartNeverDestroysAnotherOutput) {
  Scratch scratch;
  const std::string worked = read_file(examples + "worked.deck");
  const std::string deck = scratch.put("worked.deck", worked);
  const struct {
    const char* name;
    std::vector<std::string> args;
    bool deck_on_input;
    const char* message;
  } clashes[] = {
      {"the deck", {"--chart", deck, deck}, false, "is the deck"},
      {"the deck on standard input", {"--chart", deck}, true, "is the deck"},
      {"the front's deck", {"pareto", "--chart", deck, deck}, false, "is the deck"},
      {"standard output", {"--chart", "/dev/stdout", deck}, false, "is standard output"},
      {"standard output by '-'", {"--chart", "-", deck}, false, "standard output"},
      {"no name", {"--chart", "", deck}, false, "--chart: an empty file name"},
      {"no name, before pareto", {"--chart", "", "pareto", deck}, false, "--chart: an empty file name"},
  };
  for (const auto& c : clashes) {
    SCOPED_TRACE(c.name);
    Spawn s{.program = FOURFIFTHS_STUDY_BINARY, .args = c.args};
    if (c.deck_on_input) s.input_path = deck;
    const auto r = testing::spawn(s);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(deck), worked);
  }

  const std::string chart = scratch.put("chart.svg", "the old chart\n");
  for (const bool signal_default : {false, true}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--chart", chart, deck},
          std::vector<std::string>{"pareto", "--chart", chart, deck}}) {
      SCOPED_TRACE(args[0] + (signal_default ? ", SIGXFSZ at its default" : ""));
      const auto r = testing::spawn({.program = FOURFIFTHS_STUDY_BINARY, .args = args,
                                     .file_size_limit = 4096, .file_size_signal = signal_default});
      EXPECT_TRUE(r.exited);
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find("cannot write '" + chart + "': File too large"), std::string::npos)
          << r.err;
      EXPECT_EQ(read_file(chart), "the old chart\n");
      EXPECT_EQ(scratch.names(), (std::vector<std::string>{"chart.svg", "worked.deck"}));
    }
  }
  // Without the limit the chart replaces the old one, keeping its mode.
  chmod(chart.c_str(), 0640);
  const auto r = testing::spawn({.program = FOURFIFTHS_STUDY_BINARY, .args = {"--chart", chart, deck}});
  EXPECT_EQ(r.status, 0);
  const std::string svg = read_file(chart);
  EXPECT_EQ(svg.rfind("</svg>\n"), svg.size() - 7);
  struct stat st = {};
  stat(chart.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(scratch.names(), (std::vector<std::string>{"chart.svg", "worked.deck"}));
}

// Every option given before "pareto" applies to the front, or is a usage
// error naming it.
TEST(HostileInput, OptionsBeforeParetoApplyOrAreRefused) {
  Scratch scratch;
  const std::string deck = examples + "pareto.deck";
  auto study = [](std::vector<std::string> args) {
    return testing::spawn({.program = FOURFIFTHS_STUDY_BINARY, .args = std::move(args)});
  };
  const auto csv = study({"pareto", "--format", "csv", deck});
  ASSERT_EQ(csv.status, 0);
  EXPECT_EQ(study({"--format", "csv", "pareto", deck}).out, csv.out);
  const auto text = study({"pareto", deck});
  EXPECT_EQ(study({deck, "pareto"}).out, text.out);
  const std::string chart = (scratch.dir / "front.svg").string();
  EXPECT_EQ(study({"--chart", chart, "pareto", deck}).out, text.out);
  EXPECT_NE(read_file(chart).find("</svg>"), std::string::npos);

  const struct {
    std::vector<std::string> args;
    const char* message;
  } refused[] = {
      {{"--ratios", "bogus", "pareto", deck}, "--ratios"},
      {{"--ratios", "0.5", "pareto", deck}, "--ratios"},
      {{"--format", "csv", "pareto", "--format", "json", deck}, "--format: given both"},
      {{deck, "pareto", deck}, "DECK: given both"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.message);
    const auto r = study(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

// Numbers read as they look: decimal whatever their leading zeros, blanks
// refused at either end; lists never empty; a range whose ratios would not
// all differ is refused; help and version that cannot be written fail.
TEST(HostileInput, ArgumentsReadAsTheyLook) {
  const std::string deck = examples + "pareto.deck";
  const std::string worked = examples + "worked.deck";
  auto study = [](std::vector<std::string> args) {
    return testing::spawn({.program = FOURFIFTHS_STUDY_BINARY, .args = std::move(args)});
  };
  const auto ten = study({"pareto", "--points", "10", deck});
  ASSERT_EQ(ten.status, 0);
  EXPECT_EQ(study({"pareto", "--points", "010", deck}).out, ten.out);
  const struct {
    std::vector<std::string> args;
    const char* message;
  } refused[] = {
      {{"pareto", "--points", " 5", deck}, "--points"},
      {{"pareto", "--points", "5 ", deck}, "--points"},
      {{"pareto", "--points", "+5", deck}, "--points"},
      {{"pareto", "--points", "0x10", deck}, "--points"},
      {{"pareto", "--sr", " 0.1", deck}, "--sr"},
      {{"pareto", "--sr", "0.1 ", deck}, "--sr"},
      {{"--ratios", "", worked}, "--ratios: an empty list"},
      {{"--ratios", "0.5:0.5000000000000001:1.1102230246251565e-17", worked}, "STEP is too fine"},
      {{"--ratios", "0.9999999999999998:0.9999999999999999:1.1102230246251565e-16", worked},
       "STEP is too fine"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.args[c.args.size() - 2]);
    const auto r = study(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  for (const char* option : {"--help", "--version"}) {
    SCOPED_TRACE(option);
    const auto r = testing::spawn({.program = FOURFIFTHS_STUDY_BINARY, .args = {option},
                                   .output = testing::Output::full_device});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "fourfifths-study: cannot write standard output: No space left on device\n");
  }
}

// Bytes of a deck that a terminal would obey, or that would end a C string,
// reach standard error escaped and whole.
TEST(HostileInput, DeckBytesInMessagesAreEscaped) {
  const auto r = testing::spawn(
      {.program = FOURFIFTHS_STUDY_BINARY, .input = std::string("\x1b[2J\0\x7f  1  1\n", 13)});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "fourfifths-study: standard input: line 1, columns 1-3 (counts): \"\\x1b[2\" is not a "
            "number\n");
  const auto nul = testing::spawn(
      {.program = FOURFIFTHS_STUDY_BINARY, .input = std::string("  2\0 x\n", 7)});
  EXPECT_EQ(nul.err,
            "fourfifths-study: standard input: line 1, columns 4-6 (counts): \"\\x00 x\" is not a "
            "number\n");
}

}  // namespace
}  // namespace fourfifths
