// fourfifths: problem decks, the fixed-column text form of a problem that the
// classic program reads.
//
// A deck is a sequence of records (lines) of fixed fields: integers in 3
// columns, reals in 7 columns with 3 implied decimals (a field with a decimal
// point reads as written). The records: the counts and flags; the applicant
// ratio (overall basis); the predictor weights, six per record (unless
// derived by regression); the criterion weights; one record per row of the
// correlation matrix; the predictor and the criterion effect sizes; the
// requested selection ratios, ten per record.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/study.h"

namespace fourfifths {

// Where and why a deck cannot be read.
struct DeckError {
  int line = 0;          // the line, counted from 1
  int first_column = 0;  // the field's columns, counted from 1 (0 when no field is meant)
  int last_column = 0;
  std::string found;       // the field's characters as they stand (empty at the end of the deck)
  std::string message;     // one line for a person: where, in which record, what was found
  std::string diagnostic;  // the classic program's report of the failure on standard error
};

// A deck as read.
struct DeckReading {
  Problem problem;
  // The count record names counts or flags that no analysis can use: the
  // classic program prints these messages and reads no further. The problem
  // then holds only what the count record gives.
  std::vector<std::string> messages;
  std::optional<DeckError> error;  // the deck cannot be read

  bool ok() const { return messages.empty() && !error; }
};

// Reads a deck held in memory, record by record as the classic program does.
DeckReading read_deck(std::string_view text);

// The deck of a problem: every value with its decimal point, in the shortest
// form of at most 7 columns that reads back to the same double. A value that
// no 7-column form holds exactly is written as the nearest one that fits, and
// counted in rounded_values. Throws std::invalid_argument for a problem whose
// lists do not match its counts, or whose counts a 3-column field cannot hold.
std::string write_deck(const Problem& problem, int* rounded_values = nullptr);

}  // namespace fourfifths
