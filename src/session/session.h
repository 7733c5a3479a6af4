// One problem from its input to its renderings, as every front end runs it:
// a deck or a study file read (told apart by its first character), the
// analysis it asks for (a study of two groups, of several groups, or of
// stages; the front of two groups, of several, or the surface over two
// further groups' AIs), the checks of its correlations and rows, and the
// chosen renderings (JSON, CSV, SVG chart; the text apart, session_text()). A refusal carries the
// messages and where in the input the first one points. fourfifths-study
// and the web page are thin callers: they read, print and draw, and the
// flow and its words are this one.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "fourfifths/deck.h"
#include "fourfifths/groupfront.h"
#include "fourfifths/groups.h"
#include "fourfifths/pareto.h"
#include "fourfifths/stages.h"
#include "fourfifths/study.h"
#include "fourfifths/studyfile.h"

namespace fourfifths {

// Where in the input a message points: a line and its columns (0 when the
// message points at no line), or the key of a study file's field ("" when
// none).
struct InputFault {
  int line = 0;
  int column = 0;
  int last_column = 0;
  std::string key;
};

// How a run ended.
enum class Refusal {
  none,      // answered
  input,     // the input, or what is asked of it, cannot be used: one message naming the input
  analysis,  // the analysis refused the problem: its own messages
  usage,     // an option was given that this analysis cannot take
};

// The renderings to make (a front end asks only for what it shows).
struct Renderings {
  bool json = false;
  bool csv = false;
  bool chart = false;
};

// The answer of a run: its kind ("study", "groups", "staged", "front",
// "group_front", "surface" or "conversion"), the renderings asked for and
// the analysis itself (a conversion's text in text), or the refusal and its
// messages.
struct SessionResult {
  Refusal refusal = Refusal::none;
  std::string kind;
  std::vector<std::string> messages;
  InputFault fault;
  std::string json, csv, chart, text;
  std::variant<std::monostate, Study, GroupStudy, StagedStudy, Front, GroupFront, GroupSurface> analysis;

  bool ok() const { return refusal == Refusal::none; }
};

// A problem as read: a deck's problem, or a study file; or why it cannot be.
struct SessionInput {
  std::string name;  // how messages name the input
  bool study_file = false;
  Problem problem;   // a deck's
  StudyFile study;   // a study file's
  SessionResult refusal;

  bool ok() const { return refusal.ok(); }
};

// The input of a text: a study file or a deck, told apart by is_study_file().
SessionInput read_input(const std::string& text, const std::string& name);
// The input of a deck already read (a front end that reads a deck as a
// stream), and of a study file's text.
SessionInput deck_input(const DeckReading& deck, const std::string& name);
SessionInput study_file_input(const std::string& text, const std::string& name);

// How the front end's own controls are named in the messages that refer the
// user to them.
struct SessionWords {
  std::string further_ratios = "--ratios";             // the further selection ratios
  std::string front = "run 'fourfifths-study pareto'";  // how to see the front instead
};

// A study: its rows at the problem's ratios, a study file's sweep, then the
// further ratios.
struct StudyRequest {
  std::vector<double> further_ratios;
  Renderings renderings;
  SessionWords words;
};

SessionResult run_study(const SessionInput& input, const StudyRequest& request);

// A front: of two groups (a deck, or a study file of two groups) with the
// options of the front of two groups, or of a study file of three or more
// groups with its target, or that file's surface.
struct FrontRequest {
  FrontOptions options;        // sr is the problem's first requested ratio (else 0.10) unless sr_given
  bool sr_given = false;
  bool points_given = false;   // the surface's grid is 11 per group unless given
  double target = 0.8;         // several groups: the AI every group must reach
  bool target_given = false;
  bool surface = false;        // exactly two further groups: the surface instead of the front
  bool legend_names = false;   // a study file's predictors named in the front's legend
  Renderings renderings;
};

SessionResult run_front(const SessionInput& input, const FrontRequest& request);

// The problem written as a deck, or as a study file in TOML (headed by the
// comment) or in JSON: the text in SessionResult::text.
enum class Conversion { deck, toml, json };

SessionResult convert(const SessionInput& input, Conversion to, const std::string& comment);

// The text rendering of an answer's analysis: the classic report of a study
// of two groups, the tables of the others ("" for a refusal or a conversion).
std::string session_text(const SessionResult& result);

}  // namespace fourfifths
