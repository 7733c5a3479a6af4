// Test harness for the record subsystem: one write or read operation run
// inside the process over an in-memory deck, with what it produced.
#pragma once

#include <string>
#include <string_view>

#include "records/records.h"

namespace fourfifths::testing_records {

// Runs one write operation and returns the run's outcome.
inline RunOutcome run_write(std::string_view layout, const Items& items) {
  static std::string_view current_layout;
  static const Items* current_items;
  current_layout = layout;
  current_items = &items;
  return run_in_memory("", [] { RecordWriter().write(current_layout, *current_items); });
}

// The first line of standard error: the failure that ended the run.
inline std::string first_line(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

}  // namespace fourfifths::testing_records
