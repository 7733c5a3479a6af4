// fourfifths-study: the analysis of one problem deck as the classic report,
// CSV or JSON, with finer sweeps of selection ratios and a chart, or of a
// study file of several groups; as the subcommand convert, a deck as a study
// file; and, as the subcommand pareto, the validity-adverse-impact front of
// the deck's predictors (of a study file of several groups: validity against
// the smallest AI, or the surface over two groups' AIs).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "deck/deck.h"
#include "fourfifths/pareto.h"
#include "fourfifths/studyfile.h"
#include "observed.h"
#include "session/ratios.h"
#include "session/session.h"

namespace {

using namespace fourfifths;

constexpr const char* program = "fourfifths-study";

// Exit statuses: a deck that is rejected or cannot be read, and a command
// line that cannot be used.
constexpr int rejected = 1;
constexpr int usage = 2;

// A message as it may be shown on a terminal: control characters (a NUL
// that would cut the message short, the escape that starts a terminal's
// control sequence) and DEL shown as \xHH; line feeds stay.
std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\n') || byte == 0x7f) {
      constexpr const char* hex = "0123456789abcdef";
      out += "\\x";
      out += hex[byte >> 4];
      out += hex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

int fail(int status, const std::string& message) {
  const std::string line = std::string(program) + ": " + printable(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  return status;
}

std::string quoted(const std::string& path) {
  return "'" + path + "'";
}

// Whether two files are one (the same device and inode).
bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The chart must not land on the report or the deck: a usage error naming
// the clash, or an empty string.
std::string chart_clash(const std::string& chart, const std::string& deck) {
  if (chart.empty()) return "--chart: an empty file name";
  if (chart == "-") return "--chart: '-' would be standard output, which the report takes";
  struct stat file = {}, other = {};
  if (stat(chart.c_str(), &file) != 0) return {};
  if (fstat(STDOUT_FILENO, &other) == 0 && same_file(file, other))
    return "--chart: " + quoted(chart) + " is standard output, which the report takes";
  const bool deck_known = deck == "-" ? fstat(STDIN_FILENO, &other) == 0
                                      : stat(deck.c_str(), &other) == 0;
  if (deck_known && same_file(file, other))
    return "--chart: " + quoted(chart) + " is the deck";
  return {};
}

// Writes all of text to fd; false, with errno set, when a write fails.
bool write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t done = ::write(fd, text.data(), text.size());
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = EIO;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(done));
  }
  return true;
}

// Writes the report to standard output.
bool write_output(const std::string& text, std::string& error) {
  if (write_all(STDOUT_FILENO, text)) return true;
  error = std::string("cannot write standard output: ") + std::strerror(errno);
  return false;
}

// Writes the chart whole or not at all: into a new file beside it, which
// replaces it only once every byte is on disk, so that a full disk or a file
// size limit leaves the old chart as it was and no fragment behind. A name
// that stands for something other than a file (a named pipe, a device) is
// written to as it is.
bool write_chart(const std::string& path, const std::string& text, std::string& error) {
  auto failed = [&](const char* what) {
    error = std::string("cannot ") + what + " " + quoted(path) + ": " + std::strerror(errno);
    return false;
  };
  struct stat st = {};
  const bool exists = stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return failed("open");
    const bool ok = write_all(fd, text);
    const int code = errno;
    ::close(fd);
    errno = code;
    return ok || failed("write");
  }
  // The file itself, when the name is a symbolic link to it.
  std::string target = path;
  if (exists) {
    if (char* real = realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  const std::size_t slash = target.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string temporary = (slash == std::string::npos ? std::string() : directory) + "." + name +
                          ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return failed("open");
  // The mode of the chart it replaces, or of a new file.
  mode_t mode = 0;
  if (exists) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  bool ok = fchmod(fd, mode) == 0 && write_all(fd, text) && fsync(fd) == 0;
  int code = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    code = errno;
  }
  if (ok && std::rename(temporary.c_str(), target.c_str()) != 0) {
    ok = false;
    code = errno;
  }
  if (!ok) {
    std::remove(temporary.c_str());
    errno = code;
    return failed("write");
  }
  return true;
}

// The messages of a problem that cannot be analysed, on standard error.
int reject(const std::vector<std::string>& messages) {
  std::string text;
  for (const std::string& m : messages) text += printable(m) + "\n";
  std::fwrite(text.data(), 1, text.size(), stderr);
  return rejected;
}

// The input of a command, a deck or a study file, from the file named or
// from standard input for "-". Its first block is read at once, so that a
// study file can be told from a deck (see is_study_file) before a deck is
// read as a stream, only as far as its records go: endless input ends at a
// line too long to be a deck's, and a study file is read whole up to
// max_study_file bytes.
class Input final : public BlockLines {
 public:
  static constexpr std::size_t head_size = 64 * 1024;
  static constexpr std::size_t max_study_file = 1024 * 1024;

  ~Input() override {
    if (file_ != nullptr && file_ != stdin) std::fclose(file_);
  }

  // False, with the message on standard error, when the input cannot be
  // opened or its first block cannot be read.
  bool open(const std::string& path) {
    name_ = path == "-" ? "standard input" : path;
    file_ = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
      fail(rejected, "cannot open " + quoted(path) + ": " + std::strerror(errno));
      return false;
    }
    head_.resize(head_size);
    head_.resize(read_file(head_.data(), head_size));
    return read_ok();
  }

  const std::string& name() const { return name_; }
  bool study_file() const { return is_study_file(head_); }

  // The whole study file; false, with the message on standard error, when it
  // cannot be read or is larger than any study file needs to be.
  bool whole(std::string& text) {
    text = head_;
    char block[head_size];
    for (std::size_t n; (n = read_file(block, sizeof block)) > 0;) {
      if (text.size() + n > max_study_file) {
        fail(rejected, name_ + ": larger than " + std::to_string(max_study_file / 1024 / 1024) +
                           " MiB, more than a study file of ten variables can hold");
        return false;
      }
      text.append(block, n);
    }
    return read_ok();
  }

  // False, with the message on standard error, when a read failed.
  bool read_ok() const {
    if (error_ == 0) return true;
    fail(rejected, "cannot read " + quoted(name_) + ": " + std::strerror(error_));
    return false;
  }

 private:
  // The first block, then the rest of the file.
  std::size_t fill(char* buffer, std::size_t size) override {
    if (served_ < head_.size()) {
      const std::size_t n = std::min(size, head_.size() - served_);
      std::memcpy(buffer, head_.data() + served_, n);
      served_ += n;
      return n;
    }
    return read_file(buffer, size);
  }

  std::size_t read_file(char* buffer, std::size_t size) {
    if (error_ != 0) return 0;
    const std::size_t n = std::fread(buffer, 1, size, file_);
    if (n < size && std::ferror(file_)) error_ = errno != 0 ? errno : EIO;
    return n;
  }

  std::FILE* file_ = nullptr;
  std::string name_;
  std::string head_;
  std::size_t served_ = 0;
  int error_ = 0;
};

// The input as the session reads it; false, with the message on standard
// error, when the file cannot be read (what it says is the session's to
// judge).
bool read_input(Input& input, SessionInput& read) {
  if (input.study_file()) {
    std::string text;
    if (!input.whole(text)) return false;
    read = study_file_input(text, input.name());
    return true;
  }
  const DeckReading deck = read_deck(input);
  if (!input.read_ok()) return false;
  read = deck_input(deck, input.name());
  return true;
}

// A refusal on standard error: a message naming the input or an option
// after the program's name, the analysis' own messages as they are.
int refuse(const SessionResult& result) {
  if (result.refusal == Refusal::analysis) return reject(result.messages);
  return fail(result.refusal == Refusal::usage ? usage : rejected, result.messages.front());
}

// The renderings asked for, for the chosen format and the chart.
Renderings renderings(const std::string& format, const std::string& chart_path) {
  return {.json = format == "json", .csv = format == "csv", .chart = !chart_path.empty()};
}

// The chosen rendering on standard output, and the chart when one is asked for.
int deliver(const SessionResult& result, const std::string& format, const std::string& chart_path) {
  if (!result.ok()) return refuse(result);
  const std::string out = format == "csv" ? result.csv : format == "json" ? result.json : session_text(result);
  std::string error;
  if (!chart_path.empty() && !write_chart(chart_path, result.chart, error)) return fail(rejected, error);
  if (!write_output(out, error)) return fail(rejected, error);
  return 0;
}

int run_study(const std::string& deck_path, const std::string& format,
              const std::vector<double>& sweep, const std::string& chart_path) {
  Input input;
  SessionInput read;
  if (!input.open(deck_path) || !read_input(input, read)) return rejected;
  return deliver(fourfifths::run_study(read, {.further_ratios = sweep,
                                              .renderings = renderings(format, chart_path),
                                              .words = {}}),
                 format, chart_path);
}

// A deck as a study file, or a study file in the other form.
int run_convert(const std::string& path, const std::string& format) {
  Input input;
  SessionInput read;
  if (!input.open(path) || !read_input(input, read)) return rejected;
  const SessionResult result =
      convert(read, format == "json" ? Conversion::json : Conversion::toml,
              "fourfifths study file, converted from " + input.name());
  if (!result.ok()) return refuse(result);
  std::string error;
  if (!write_output(result.text, error)) return fail(rejected, error);
  return 0;
}

int run_pareto(const std::string& deck_path, const std::string& format, FrontRequest request,
               const std::string& chart_path) {
  Input input;
  SessionInput read;
  if (!input.open(deck_path) || !read_input(input, read)) return rejected;
  request.renderings = renderings(format, chart_path);
  return deliver(run_front(read, request), format, chart_path);
}


// What --help and --version print: on standard output, which must take it.
int finish_printing(int status) {
  std::cout.flush();
  if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout))
    return fail(rejected, std::string("cannot write standard output: ") +
                              std::strerror(errno != 0 ? errno : EIO));
  return status;
}

// An option of the study given before "pareto" applies to the front when
// the front has the same option and it is not given after "pareto" too.
std::string merge_option(const CLI::Option* before, const CLI::Option* after, std::string& into,
                         const std::string& value) {
  if (before->count() == 0) return {};
  if (after->count() > 0)
    return before->get_name() + ": given both before and after 'pareto'";
  into = value;
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file size limit a write fails (EFBIG) and is reported, instead of
  // the signal ending the run with a chart half written.
  std::signal(SIGXFSZ, SIG_IGN);
  CLI::App app{"The analysis of one selection problem deck (the classic fourfifths deck format)\n"
               "as the classic report, CSV or JSON, with finer sweeps of selection ratios\n"
               "and a chart; or of a study file of several groups in one pool.",
               program};
  app.set_version_flag("--version", std::string(program) + " " FOURFIFTHS_VERSION);
  app.footer(
      "Examples:\n"
      "  fourfifths-study --format csv --ratios 0.01:0.99:0.01 --chart ai.svg examples/worked.deck\n"
      "  fourfifths-study pareto --sr 0.10 --format csv examples/pareto.deck\n"
      "  fourfifths-study --format csv --chart groups.svg examples/groups.toml\n"
      "  fourfifths-study convert examples/worked.deck > worked.toml\n"
      "Exit status: 0 success, 1 deck or study file rejected or unreadable, 2 usage error.");

  std::string deck_path = "-";
  std::string format = "text";
  std::string ratios_text;
  std::string chart_path;
  CLI::Option* deck_option =
      app.add_option("DECK", deck_path,
                     "problem deck or study file (told apart by the first character); '-' or "
                     "none: standard input");
  CLI::Option* format_option =
      app.add_option("--format", format,
                     "text (the classic report), csv (one line per row) or json (everything)")
          ->check(CLI::IsMember({"text", "csv", "json"}));
  CLI::Option* ratios_option = app.add_option(
      "--ratios", ratios_text,
      "further selection ratios (rows of kind sweep): numbers and ranges "
      "FROM:TO:STEP, comma-separated");
  CLI::Option* chart_option = app.add_option(
      "--chart", chart_path,
      "also write an SVG chart to this file (replaced only once the chart is complete)");

  CLI::App* pareto = app.add_subcommand(
      "pareto",
      "The validity-adverse-impact front of the deck's predictors: the weightings for which no "
      "other is both more valid and of less adverse impact at one selection ratio; for a study file "
      "of three or more groups, validity against the smallest AI over the groups, with the most "
      "valid weighting that gives every group at least --target. The deck's own predictor weights "
      "are not used. --format and --chart may also stand before 'pareto'.");
  std::string pareto_deck = "-";
  std::string pareto_format = "text";
  std::string pareto_chart;
  std::string points_text;
  std::string sr_text;
  FrontRequest front;
  bool free_weights = false;
  CLI::Option* pareto_deck_option =
      pareto->add_option("DECK", pareto_deck,
                         "problem deck or study file; '-' or none: standard input");
  pareto
      ->add_option("--points", points_text,
                   "points evenly spaced in AI between the ends, 2 to " +
                       std::to_string(max_front_points) + " (default: 21)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            int points = 0;
            return parse_count(text, 2, max_front_points, points)
                       ? std::string()
                       : "a whole number from 2 to " + std::to_string(max_front_points);
          },
          "POINTS"));
  CLI::Option* sr_option =
      pareto->add_option("--sr", sr_text,
                         "selection ratio of the deck's basis (default: the deck's first "
                         "requested ratio, else 0.10)")
          ->check(CLI::Validator(
              [](const std::string& text) {
                double ratio = 0;
                return parse_ratio(text, ratio) ? std::string()
                                                 : "a selection ratio strictly between 0 and 1";
              },
              "RATIO"));
  pareto->add_flag("--free-weights", free_weights, "allow negative weights");
  // Counts up to a billion: a sample beyond that shrinks nothing a double shows.
  constexpr int most_applicants = 1000000000;
  auto whole_number = [](const char* what) {
    return CLI::Validator(
        [what](const std::string& text) {
          int count = 0;
          return parse_count(text, 1, most_applicants, count)
                     ? std::string()
                     : std::string("a whole number of ") + what + " from 1 to 1000000000";
        },
        "N");
  };
  std::string sample_text;
  std::string screened_text;
  CLI::Option* sample_option =
      pareto
          ->add_option("--sample-size", sample_text,
                       "the deck's correlations and effect sizes come from a validation sample of "
                       "N: add each point's validity and AI expected on new applicants")
          ->check(whole_number("applicants"));
  CLI::Option* screened_option =
      pareto
          ->add_option("--predictors-screened", screened_text,
                       "predictors screened in that sample (default: the deck's predictors)")
          ->check(whole_number("predictors"));
  std::string target_text;
  CLI::Option* target_option =
      pareto
          ->add_option("--target", target_text,
                       "study file of three or more groups: the AI every group must reach at the front's "
                       "target point, in (0, 1] (default: 0.8)")
          ->check(CLI::Validator(
              [](const std::string& text) {
                char* end = nullptr;
                const double t = std::strtod(text.c_str(), &end);
                return !text.empty() && *end == '\0' && t > 0 && t <= 1 ? std::string()
                                                                         : "an AI in (0, 1]";
              },
              "AI"));
  pareto->add_flag("--surface", front.surface,
                   "study file of exactly two further groups: the most valid weighting over a grid of "
                   "both groups' AI targets (--points per group, default 11) instead of the front");
  CLI::Option* pareto_format_option =
      pareto->add_option("--format", pareto_format,
                         "text (a table), csv (one line per point) or json")
          ->check(CLI::IsMember({"text", "csv", "json"}));
  CLI::Option* pareto_chart_option = pareto->add_option(
      "--chart", pareto_chart,
      "also write an SVG chart: validity, and the weights, against AI (replaced only once the "
      "chart is complete)");

  CLI::App* convert = app.add_subcommand(
      "convert",
      "Write a deck as a study file (TOML, or JSON), or a study file in the other form, on standard "
      "output.");
  std::string convert_input = "-";
  std::string convert_format = "toml";
  convert->add_option("INPUT", convert_input, "deck or study file; '-' or none: standard input");
  convert->add_option("--format", convert_format, "toml (for people) or json (for programs)")
      ->check(CLI::IsMember({"toml", "json"}));
  const ObservedCommand observed(app);
  const PlanningCommand planning(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    errno = 0;  // what a failed write of the help or the version leaves
    const int status = app.exit(e) == 0 ? 0 : usage;
    return finish_printing(status);
  }

  if (convert->parsed()) {
    // The study's options have no meaning for a conversion.
    for (const CLI::Option* option : {deck_option, format_option, ratios_option, chart_option})
      if (option->count() > 0)
        return fail(usage, option->get_name() + ": not an option of 'convert' (give it after "
                                                "'convert', or leave it out)");
    return run_convert(convert_input, convert_format);
  }
  if (observed.parsed() || planning.parsed()) {
    const std::string name = observed.parsed() ? "observed" : "planning";
    for (const CLI::Option* option : {deck_option, format_option, ratios_option, chart_option})
      if (option->count() > 0)
        return fail(usage, option->get_name() + ": not an option of '" + name + "' (give it after '" +
                               name + "', or leave it out)");
    if (planning.parsed() && planning.chart_asked())
      if (const std::string clash =
              chart_clash(planning.chart_path(), planning.deck().empty() ? "-" : planning.deck());
          !clash.empty())
        return fail(usage, clash);
    std::string out, chart, message;
    const int status =
        observed.parsed() ? observed.run(out, message) : planning.run(out, chart, message);
    if (status != 0) return fail(status, message);
    if (planning.parsed() && planning.chart_asked() && !write_chart(planning.chart_path(), chart, message))
      return fail(rejected, message);
    if (!write_output(out, message)) return fail(rejected, message);
    return 0;
  }
  if (pareto->parsed()) {
    // Every option given before "pareto" applies to the front, or is refused.
    if (ratios_option->count() > 0)
      return fail(usage, "--ratios: the front has no sweep of ratios (its one ratio is pareto --sr)");
    for (const std::string& clash :
         {merge_option(format_option, pareto_format_option, pareto_format, format),
          merge_option(chart_option, pareto_chart_option, pareto_chart, chart_path),
          merge_option(deck_option, pareto_deck_option, pareto_deck, deck_path)}) {
      if (!clash.empty()) return fail(usage, clash);
    }
    if (pareto_chart_option->count() > 0 || chart_option->count() > 0)
      if (const std::string clash = chart_clash(pareto_chart, pareto_deck); !clash.empty())
        return fail(usage, clash);
    if (!points_text.empty()) parse_count(points_text, 2, max_front_points, front.options.points);
    if (sr_option->count() > 0) parse_ratio(sr_text, front.options.sr);
    front.options.nonnegative = !free_weights;
    if (screened_option->count() > 0 && sample_option->count() == 0)
      return fail(usage, "--predictors-screened: give the validation sample's --sample-size too");
    if (sample_option->count() > 0) parse_count(sample_text, 1, most_applicants, front.options.sample_size);
    if (screened_option->count() > 0)
      parse_count(screened_text, 1, most_applicants, front.options.predictors_screened);
    front.points_given = !points_text.empty();
    front.sr_given = sr_option->count() > 0;
    front.target_given = target_option->count() > 0;
    if (front.target_given) front.target = std::strtod(target_text.c_str(), nullptr);
    return run_pareto(pareto_deck, pareto_format, front, pareto_chart);
  }
  std::vector<double> sweep;
  std::string error;
  if (ratios_option->count() > 0 && !parse_ratios(ratios_text, sweep, error))
    return fail(usage, "--ratios: " + error);
  if (chart_option->count() > 0)
    if (const std::string clash = chart_clash(chart_path, deck_path); !clash.empty())
      return fail(usage, clash);
  return run_study(deck_path, format, sweep, chart_path);
}
