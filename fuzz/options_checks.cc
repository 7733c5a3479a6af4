// The options fuzzer's checks: fourfifths-study's ratio-list parser on every
// argument, and the whole program in-process on the command line.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "checks.h"
#include "session/ratios.h"

namespace fourfifths::fuzz {
namespace {

namespace fs = std::filesystem;

// The decks of the scratch directory: the example of the front (with a
// criterion) and the worked example (see examples/).
constexpr std::string_view front_deck =
    "  4  1  1  1  1  1\n"
    "  3.000\n"
    "  1.000\n"
    "  1.000  0.240  0.000  0.190  0.300\n"
    "  0.240  1.000  0.120  0.160  0.300\n"
    "  0.000  0.120  1.000  0.510  0.180\n"
    "  0.190  0.160  0.510  1.000  0.280\n"
    "  0.300  0.300  0.180  0.280  1.000\n"
    " -1.000 -0.230 -0.090 -0.330\n"
    "  0.000\n"
    "  0.100\n";
constexpr std::string_view worked_deck =
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

std::string show(double v) {
  std::ostringstream s;
  s.precision(17);
  s << v;
  return s.str();
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(text.data(),
                                                                 static_cast<std::streamsize>(text.size()));
}

// The ratio-list parser on one text: what it accepts is a list of ratios
// strictly between 0 and 1, a single range rising strictly from FROM to TO;
// what it refuses comes with a message.
void check_ratio_list(std::string_view text, Faults& faults) {
  const std::string what = "parse_ratios('" + std::string(text.substr(0, 80)) + "')";
  std::vector<double> ratios;
  std::string error;
  if (!parse_ratios(text, ratios, error)) {
    if (error.empty()) faults.push_back(what + ": refused without a message");
  } else {
    if (ratios.empty() || ratios.size() > max_sweep_ratios)
      faults.push_back(what + ": " + std::to_string(ratios.size()) + " ratios");
    for (double r : ratios)
      if (!(std::isfinite(r) && r > 0 && r < 1)) {
        faults.push_back(what + ": the ratio " + show(r) + " is not strictly between 0 and 1");
        break;
      }
    const std::size_t first = text.find(':');
    if (text.find(',') == std::string_view::npos && first != std::string_view::npos) {
      const std::size_t second = text.find(':', first + 1);
      double from = 0, to = 0;
      if (parse_ratio(text.substr(0, first), from) &&
          parse_ratio(text.substr(first + 1, second - first - 1), to) &&
          (ratios.front() != from || ratios.back() != to))
        faults.push_back(what + ": the range does not run from FROM to TO");
      for (std::size_t k = 1; k < ratios.size(); ++k)
        if (!(ratios[k] > ratios[k - 1])) {
          faults.push_back(what + ": the range does not rise strictly (" + show(ratios[k - 1]) +
                           " then " + show(ratios[k]) + ")");
          break;
        }
    }
  }
  double ratio = 0;
  if (parse_ratio(text, ratio) && !(std::isfinite(ratio) && ratio > 0 && ratio < 1))
    faults.push_back("parse_ratio('" + std::string(text) + "'): " + show(ratio));
}

// Whether a run of the program on these arguments stays within the scratch
// directory and is short enough for a fuzzer.
bool runnable(const std::vector<std::string>& args) {
  if (args.size() > 24) return false;
  for (const std::string& a : args) {
    if (a.find('/') != std::string::npos || a.size() > 256) return false;
    for (std::string_view v : {std::string_view(a), std::string_view(a).substr(a.find('=') + 1)}) {
      std::vector<double> ratios;
      std::string error;
      if (parse_ratios(v, ratios, error) && ratios.size() > 1000) return false;
      const std::string value(v);
      const double number = std::strtod(value.c_str(), nullptr);
      if (std::fabs(number) > 200) return false;  // --points: a long front
    }
  }
  return true;
}

// The scratch directory of this process, removed at its end.
class Scratch {
 public:
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                          "/fourfifths-options-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("fourfifths options check: mkdtemp");
      std::abort();
    }
    root_ = pattern;
    write_file(root_ / "stdin.deck", front_deck);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const fs::path& root() const { return root_; }
  fs::path run() const { return root_ / "run"; }

 private:
  fs::path root_;
};

// Standard input from the front's deck, standard output to a file and the
// working directory in the scratch directory, for as long as it lives.
class Redirect {
 public:
  explicit Redirect(const Scratch& scratch) {
    std::fflush(stdout);
    std::cout.flush();
    saved_in_ = dup(0);
    saved_out_ = dup(1);
    saved_cwd_ = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int in = open((scratch.root() / "stdin.deck").c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open((scratch.root() / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (saved_in_ < 0 || saved_out_ < 0 || saved_cwd_ < 0 || in < 0 || out < 0 ||
        dup2(in, 0) < 0 || dup2(out, 1) < 0 || chdir(scratch.run().c_str()) != 0) {
      std::perror("fourfifths options check: redirect");
      std::abort();
    }
    close(in);
    close(out);
    std::clearerr(stdin);
    std::fseek(stdin, 0, SEEK_SET);
    std::clearerr(stdout);
    std::cin.clear();
  }
  ~Redirect() {
    std::cout.flush();
    std::cout.clear();
    std::fflush(stdout);
    std::clearerr(stdout);
    if (fchdir(saved_cwd_) != 0 || dup2(saved_in_, 0) < 0 || dup2(saved_out_, 1) < 0) {
      std::perror("fourfifths options check: restore");
      std::abort();
    }
    close(saved_cwd_);
    close(saved_in_);
    close(saved_out_);
    std::clearerr(stdin);
  }
  Redirect(const Redirect&) = delete;
  Redirect& operator=(const Redirect&) = delete;

 private:
  int saved_in_ = -1;
  int saved_out_ = -1;
  int saved_cwd_ = -1;
};

void check_run(const std::vector<std::string>& args, CommandMain command, Faults& faults) {
  static Scratch scratch;
  std::error_code ignored;
  fs::remove_all(scratch.run(), ignored);
  fs::create_directory(scratch.run());
  write_file(scratch.run() / "p.deck", front_deck);
  write_file(scratch.run() / "w.deck", worked_deck);

  std::string line = "fourfifths-study";
  for (const std::string& a : args) line += " '" + a + "'";
  auto fault = [&](const std::string& why) { faults.push_back(line + ": " + why); };

  std::vector<std::string> argv_text = {"fourfifths-study"};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  int status = 0;
  {
    const Redirect redirect(scratch);
    try {
      status = command(static_cast<int>(argv.size() - 1), argv.data());
    } catch (const std::exception& e) {
      fault(std::string("an exception escapes: ") + e.what());
      return;
    }
  }
  const std::string out = read_file(scratch.root() / "stdout");

  if (status < 0 || status > 2) fault("exit status " + std::to_string(status));
  // A deck may be overwritten only as the chart the command line asks for
  // (with the deck read from standard input, --chart w.deck names a file
  // like any other).
  std::set<std::string> charted;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--chart" && i + 1 < args.size()) charted.insert(args[i + 1]);
    if (args[i].rfind("--chart=", 0) == 0) charted.insert(args[i].substr(8));
  }
  if ((read_file(scratch.run() / "p.deck") != front_deck && charted.count("p.deck") == 0) ||
      (read_file(scratch.run() / "w.deck") != worked_deck && charted.count("w.deck") == 0))
    fault("an input deck was changed");
  std::set<std::string> left;
  for (const auto& entry : fs::directory_iterator(scratch.run())) {
    const std::string name = entry.path().filename().string();
    if (name != "p.deck" && name != "w.deck") left.insert(name);
  }
  if (status != 0) {
    if (!left.empty()) fault("exit status " + std::to_string(status) + " leaves the file '" + *left.begin() + "'");
    if (!out.empty()) fault("exit status " + std::to_string(status) + " with standard output");
    return;
  }
  // An empty argument is no deck, chart, ratio list or value: it is refused
  // (unless help or the version was asked for, which ends the reading).
  bool asked = false;
  for (const std::string& a : args)
    asked = asked || a.rfind("--help", 0) == 0 || a.rfind("--version", 0) == 0 ||
            (a.size() > 1 && a[0] == '-' && a[1] != '-' && a.find('h') != std::string::npos);
  for (const std::string& a : args)
    if (a.empty() && !asked) fault("success with an empty argument");
  for (const std::string& name : left) check_svg(read_file(scratch.run() / name), faults, line + ": chart '" + name + "'");
  if (out.empty()) fault("success without standard output");
  if (out.rfind("{", 0) == 0) {
    try {
      if (nlohmann::json::parse(out).is_discarded()) fault("JSON that does not parse");
    } catch (const nlohmann::json::exception& e) {
      fault(std::string("JSON that does not parse: ") + e.what());
    }
  }
  if (out.rfind("kind,", 0) == 0) csv_records(out, faults, line + ": CSV");
}

}  // namespace

Faults check_options(std::string_view bytes, CommandMain command) {
  Faults faults;
  std::vector<std::string> args;
  for (std::string_view rest = bytes; !rest.empty();) {
    const std::size_t feed = rest.find('\n');
    std::string_view arg = rest.substr(0, feed);
    // An argument of a real command line ends at its first NUL.
    args.emplace_back(arg.substr(0, arg.find('\0')));
    rest = feed == std::string_view::npos ? std::string_view() : rest.substr(feed + 1);
  }
  try {
    for (const std::string& a : args) {
      check_ratio_list(a, faults);
      if (const std::size_t eq = a.find('='); eq != std::string::npos)
        check_ratio_list(std::string_view(a).substr(eq + 1), faults);
    }
    if (runnable(args)) check_run(args, command, faults);
  } catch (const std::exception& e) {
    faults.push_back(std::string("undocumented exception: ") + e.what());
  }
  return faults;
}

}  // namespace fourfifths::fuzz
