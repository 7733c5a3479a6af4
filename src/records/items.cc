// Fixed-field text records: the item lists of write operations and the target
// lists of read operations, kept as short lists of segments (a single value
// or a run of reals) that point at the caller's storage.
#include "records/records.h"

#include <memory>

namespace fourfifths {

namespace {

// The lists have a fixed capacity; a longer one is a fault of the program
// itself, which ends the run rather than drop a value.
template <class Segment>
Segment& next_segment(Segment* segments, std::size_t& count, std::size_t capacity) {
  if (count == capacity) abnormal_end("record operation with more than 8 item segments");
  return segments[count++];
}

}  // namespace

// The same for an item list, whose unused segments are left unset: the next
// segment's lifetime begins here, with every member at its default.
Items::Segment& Items::next_segment() {
  if (count_ == capacity) abnormal_end("record operation with more than 8 item segments");
  return *std::construct_at(&segments_[count_++]);
}

Items& Items::add(int32_t value) {
  Segment& s = next_segment();
  s.kind = Kind::integer;
  s.integer = value;
  return *this;
}

Items& Items::add(double value) {
  Segment& s = next_segment();
  s.kind = Kind::real;
  s.real = value;
  return *this;
}

Items& Items::add(std::string_view text) {
  Segment& s = next_segment();
  s.kind = Kind::text;
  s.text = text;
  return *this;
}

Items& Items::add(std::span<const double> values) {
  Segment& s = next_segment();
  s.kind = Kind::reals;
  s.reals = values;
  return *this;
}

Targets& Targets::add(int32_t& target) {
  Segment& s = next_segment(segments_, count_, capacity);
  s = Segment{};
  s.kind = Kind::integer;
  s.integer = &target;
  return *this;
}

Targets& Targets::add(double& target) {
  Segment& s = next_segment(segments_, count_, capacity);
  s = Segment{};
  s.kind = Kind::real;
  s.real = &target;
  return *this;
}

Targets& Targets::add(std::span<double> targets) {
  Segment& s = next_segment(segments_, count_, capacity);
  s = Segment{};
  s.kind = Kind::reals;
  s.reals = targets;
  return *this;
}

}  // namespace fourfifths
