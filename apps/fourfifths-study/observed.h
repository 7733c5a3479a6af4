// The subcommands observed and planning of fourfifths-study: adverse impact
// observed in one selection, from each group's applicants and selected given
// in a small CSV file or on the command line; and what samples of a planned
// size will show.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "fourfifths/studyfile.h"

namespace fourfifths {

class ObservedCommand {
 public:
  // Adds the subcommand and its options to the program's command line.
  explicit ObservedCommand(CLI::App& app);

  bool parsed() const { return command_->parsed(); }

  // The table in the chosen format (status 0), or the reason it cannot be
  // made: status 1 for counts or a file that are refused, 2 for a command
  // line that cannot be used; message may hold several lines.
  int run(std::string& out, std::string& message) const;

 private:
  CLI::App* command_;
  std::string input_;
  std::vector<std::string> groups_;
  std::string reference_ = "highest";
  std::string alpha_text_;
  std::string interval_ = "adjusted-log";
  std::string format_ = "text";
};

// The subcommand planning: what samples of a planned size will show, the two
// groups' selection probabilities given, or taken from a deck's model at one
// selection ratio.
class PlanningCommand {
 public:
  explicit PlanningCommand(CLI::App& app);

  bool parsed() const { return command_->parsed(); }

  // As ObservedCommand::run; with --chart, chart receives the SVG of the
  // probabilities against the number of applicants.
  int run(std::string& out, std::string& chart, std::string& message) const;

  // Whether --chart was given, the file it names, and the deck named (or empty).
  bool chart_asked() const { return command_->count("--chart") > 0; }
  const std::string& chart_path() const { return chart_path_; }
  const std::string& deck() const { return deck_; }

 private:
  // A plan of several groups, their probabilities from --probabilities or
  // from study's model at --sr.
  int run_several(std::string& out, std::string& chart, std::string& message, const StudyFile* study) const;

  CLI::App* command_;
  std::string deck_;
  std::string applicants_;
  std::string probabilities_;
  std::string sr_text_;
  std::string alpha_text_;
  std::string format_ = "text";
  std::string chart_path_;
};

}  // namespace fourfifths
