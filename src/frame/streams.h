// The run frame's standard streams, shared by the frame's ends and handlers.
#pragma once

#include <cstdint>
#include <string_view>

namespace fourfifths::frame {

// What the run-time error report says about the current or last operation.
struct OperationState {
  int32_t unit;
  bool reading;
  bool active;  // an operation is under way: its layout is shown
  std::string_view layout;
};
const OperationState& operation();

// Hands every finished record to standard output; a write that standard
// output refuses ends the run through the run-time error report. Does
// nothing once a write has failed.
void output_flush();

// From inside a signal handler: hands out the finished records not yet out,
// as far as standard output takes them without waiting, and nothing when the
// handler interrupted a write (whose bytes may or may not be out).
void output_flush_in_handler();

// Writes to standard error at once (async-signal-safe: write(2) alone).
void error_write(std::string_view text);

}  // namespace fourfifths::frame
