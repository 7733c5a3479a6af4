// Fixed-field text records: the RecordWriter, which builds report records from
// a layout and a list of items, and the item lists it takes.
#include <cstring>

#include "records/records.h"

namespace fourfifths {
namespace {

using records::Descriptor;
using records::Op;

// Walks the items of a write operation in order.
class ItemCursor {
 public:
  explicit ItemCursor(const Items& items) : segments_(items.segments()) { settle(); }

  bool more() const { return index_ < segments_.size(); }
  const Items::Segment& segment() const { return segments_[index_]; }
  double real() const {
    const Items::Segment& s = segment();
    return s.kind == Items::Kind::reals ? s.reals[offset_] : s.real;
  }

  void advance() {
    if (segment().kind == Items::Kind::reals && ++offset_ < segment().reals.size()) return;
    ++index_;
    offset_ = 0;
    settle();
  }

 private:
  // Passes over empty runs.
  void settle() {
    while (more() && segment().kind == Items::Kind::reals && segment().reals.empty()) ++index_;
  }

  std::span<const Items::Segment> segments_;
  std::size_t index_ = 0;
  std::size_t offset_ = 0;
};

}  // namespace

Items::Segment& Items::next_segment() {
  if (count_ == capacity) throw LayoutMismatch("record operation with more than 8 item segments");
  segments_[count_] = Segment{};
  return segments_[count_++];
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

void RecordWriter::apply_pending_advance() {
  record_.append(pending_, ' ');
  pending_ = 0;
}

// The record is finished: its characters and a line feed go to the sink,
// even when it is empty; the next one begins.
void RecordWriter::finish_record() {
  record_.push_back('\n');
  sink_.put(record_);
  record_.clear();
  pending_ = 0;
}

void RecordWriter::write_line(std::string_view text) {
  record_.assign(text);
  finish_record();
}

const records::ParsedLayout& RecordWriter::parsed(std::string_view text) {
  for (const auto& [known, layout] : layouts_)
    if (known.data() == text.data() && known.size() == text.size()) return *layout;
  layouts_.emplace_back(text,
                        std::make_unique<records::ParsedLayout>(records::parse_layout(text, false)));
  return *layouts_.back().second;
}

void RecordWriter::write(WriteLayout layout_text, const Items& items) {
  const std::string_view text = layout_text.text();
  const records::ParsedLayout& layout = parsed(text);
  records::LayoutWalk walk(layout);
  sink_.begin_operation(text);
  record_.clear();
  pending_ = 0;

  // The non-data descriptors that the operation passes.
  auto perform = [&](const Descriptor& d) {
    switch (d.op) {
      case Op::text:
        apply_pending_advance();
        records::quoted_text(text, d, [&](std::string_view s) { record_.append(s); });
        break;
      case Op::advance:
        pending_ += static_cast<std::size_t>(d.repeat);
        break;
      default:
        finish_record();  // "/" and reversion
        break;
    }
  };

  ItemCursor cursor(items);
  while (cursor.more()) {
    const Descriptor* d = walk.next(true);
    if (d == nullptr) throw LayoutMismatch("items left over for a layout without data descriptors");
    if (!records::is_data(d->op)) {
      perform(*d);
      continue;
    }
    const Items::Kind kind = cursor.segment().kind;
    const bool real = kind == Items::Kind::real || kind == Items::Kind::reals;
    const bool fits = d->op == Op::integer ? kind == Items::Kind::integer
                      : d->op == Op::chars ? kind == Items::Kind::text
                                           : real;
    if (!fits) throw LayoutMismatch("an item of the wrong type for its field");
    apply_pending_advance();
    const std::size_t w = static_cast<std::size_t>(d->width);
    const std::size_t at = record_.size();
    record_.resize(at + w);
    char* field = record_.data() + at;
    switch (d->op) {
      case Op::integer:
        render_integer(field, w, cursor.segment().integer);
        break;
      case Op::fixed:
        render_fixed(field, w, d->digits, cursor.real());
        break;
      case Op::exponent:
        render_exponent(field, w, d->digits, cursor.real());
        break;
      default:
        render_chars(field, w, cursor.segment().text);
        break;
    }
    cursor.advance();
  }
  while (const Descriptor* d = walk.next(false)) perform(*d);
  finish_record();
  sink_.end_operation();
}

}  // namespace fourfifths
