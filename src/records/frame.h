// Fixed-field text records: the parts of the run frame that the reader, the
// writer and the tests share beyond the public interface.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "records/records.h"

namespace fourfifths::records {

// Thrown by stop, quiet_end and abnormal_end during an in-process run only,
// and caught by run_in_memory; a process run never throws.
struct RunEnded {
  bool aborted;
  int status;
};

// Settings of an in-process run beyond the deck.
struct MemoryRunOptions {
  std::size_t out_capacity = 0;                    // output block size; 0 for the normal size
  std::vector<std::size_t>* out_pieces = nullptr;  // if set, receives the size of every piece
};

RunOutcome run_in_memory(std::string_view deck, void (*main_routine)(),
                         const MemoryRunOptions& options);

// Fresh reader and writer state for a new run.
void reset_reader();
void reset_writer();

// Whether the reader may take real fields of the plain form (blanks, sign,
// digits and point) by its direct way: tests turn it off to compare the two.
void use_plain_reals(bool use);

}  // namespace fourfifths::records
