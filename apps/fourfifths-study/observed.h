// The subcommand observed of fourfifths-study: adverse impact observed in one
// selection, from each group's applicants and selected, given in a small CSV
// file or on the command line.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

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

}  // namespace fourfifths
