// Fixed-field text records: the run's three standard streams.
//
// Standard input is pulled in large blocks with read(2), and only when the
// reader needs another character, so a deck is acted on while its sender may
// still be writing. Finished report records collect in one output block that
// goes to standard output with write(2) when the next record would not fit and
// at every end of the run; the writer builds each record in the block's free
// part, and only a finished record is counted in and handed out. Diagnostics
// go to standard error at once. An in-process run points the same machinery
// at an in-memory deck and in-memory output.
#pragma once

#include <signal.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace fourfifths::records {

// Where the streams of an in-process run lead.
struct MemoryStreams {
  std::string_view deck;                           // standard input
  std::string* out;                                // standard output
  std::string* err;                                // standard error
  std::size_t out_capacity = 0;                    // output block size; 0 for the normal size
  std::vector<std::size_t>* out_pieces = nullptr;  // if set, the size of every piece handed out
};

// The bytes of standard input at hand and not yet taken: [next, end).
struct InputWindow {
  const char* next;
  const char* end;
};
extern constinit InputWindow input;

// Makes at least n bytes (1 or 2) available at input.next, reading standard
// input as needed; returns the number at hand, fewer than n only when the
// data has ended. A read error ends the run through the run-time error report.
std::size_t input_ensure(std::size_t n);

// Appends one finished record (its characters and line feed) to the output
// block, handing the block out first when the record would not fit.
void output_record(const char* data, std::size_t size);

// The free part of the output block, after the finished records, where the
// writer builds the next record in place: where it starts and how many
// characters it holds. Eight characters beyond those may be overwritten;
// they are never handed out.
struct OutputSpace {
  char* data;
  std::size_t room;
};
OutputSpace output_space();

// The record of size characters (its line feed included) at the start of the
// free part is finished.
void output_commit(std::size_t size);

// Makes the most room for the record of size characters under construction
// at data, the start of the free part: hands out the finished records and
// moves the record to the start of the block. Returns the free part.
OutputSpace output_restart(const char* data, std::size_t size);

// Hands every finished record to standard output.
void output_flush();

// The same, from inside a signal handler: async-signal-safe.
void output_flush_in_handler();

// Writes to standard error at once.
void error_write(const char* data, std::size_t size);
inline void error_write(std::string_view text) {
  error_write(text.data(), text.size());
}

// Points the streams at in-memory buffers (streams not null) or back at the
// process's descriptors (null). Either way nothing is pending afterwards.
void use_memory_streams(const MemoryStreams* streams);

// True during an in-process run.
bool in_memory();

// The four signals that end a run, blocked while the output block is handed
// out so that a handler never sees a half-written block.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t saved_;  // the mask to restore
  bool held_;
};

}  // namespace fourfifths::records
