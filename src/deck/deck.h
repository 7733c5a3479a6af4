// Problem decks: reading a deck record by record into a problem, and writing
// a problem as a deck. The public interface is include/fourfifths/deck.h; this
// header adds reading from any source of lines, which the classic program
// uses on its standard input.
#pragma once

#include "fourfifths/deck.h"
#include "records/records.h"

namespace fourfifths {

// Reads the count record (and the applicant ratio of the overall basis),
// checks the counts and flags, and only when they pass reads the rest of the
// deck. Takes no line beyond those the deck needs.
DeckReading read_deck(LineSource& lines);

}  // namespace fourfifths
