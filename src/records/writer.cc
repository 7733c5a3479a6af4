// Fixed-field text records: the RecordWriter, which builds report records on
// unit 6 from a layout and a list of items.
//
// A record is assembled in place in the free part of the run's output block
// (static storage), and counted in with its line feed only when it is
// finished (by "/", by reversion or by the end of the operation). When it
// outgrows the free part, the finished records are handed out and the record
// moves to the start of the block; a record longer than the whole block goes
// on in a heap buffer that starts with room for 1024 characters and doubles
// as needed, so a record has no length limit. Each field is rendered straight
// into the record. nX only notes a pending advance, which becomes blanks when
// text or a field follows in the same record, so no record ends in blanks
// made by X. No carriage control: the first character of a record is written
// like any other.
#include <cstdlib>
#include <cstring>

#include "records/fields.h"
#include "records/frame.h"
#include "records/layout.h"
#include "records/records.h"
#include "records/streams.h"

namespace fourfifths {

namespace {

using records::Descriptor;
using records::Op;

// The record under construction. Eight characters beyond its capacity may
// be overwritten, which lets a field or a few blanks be stored whole.
struct RecordBuffer {
  char* data;
  std::size_t size;
  std::size_t capacity;
  std::size_t pending;  // columns of nX not yet written
  bool in_block;        // data lies in the free part of the output block
};
constinit RecordBuffer record = {nullptr, 0, 0, 0, false};

// Storage for a record longer than the output block, kept for reuse.
constexpr std::size_t first_capacity = 1024;
constinit char* long_record = nullptr;
constinit std::size_t long_capacity = 0;

// A new, empty record in the free part of the output block.
void start_record() {
  const records::OutputSpace space = records::output_space();
  record = {space.data, 0, space.room, 0, true};
}

// Makes room for needed characters in all: first by handing out the
// finished records, then in the heap buffer, doubled until they fit.
[[gnu::noinline]] void make_room(std::size_t needed) {
  if (record.in_block) {
    const records::OutputSpace space = records::output_restart(record.data, record.size);
    record.data = space.data;
    record.capacity = space.room;
    if (needed <= record.capacity) return;
  }
  std::size_t capacity = long_capacity < first_capacity ? first_capacity : long_capacity;
  while (capacity < needed) {
    if (capacity > (static_cast<std::size_t>(-1) - 8) / 2) {
      runtime_error(err_out_of_space, "malloc failure");
    }
    capacity *= 2;
  }
  if (capacity > long_capacity) {
    char* grown = static_cast<char*>(std::realloc(long_record, capacity + 8));
    if (grown == nullptr) runtime_error(err_out_of_space, "malloc failure");
    long_record = grown;
    long_capacity = capacity;
  }
  if (record.in_block) std::memcpy(long_record, record.data, record.size);
  record.data = long_record;
  record.capacity = long_capacity;
  record.in_block = false;
}

// Room for extra more characters (and eight beyond them that may be
// overwritten).
inline char* room_for(std::size_t extra) {
  if (extra > record.capacity - record.size) {
    const std::size_t needed = record.size + extra;
    if (needed < extra) runtime_error(err_out_of_space, "malloc failure");
    make_room(needed);
  }
  return record.data + record.size;
}

void append(const char* text, std::size_t size) {
  if (size == 0) return;
  std::memcpy(room_for(size), text, size);
  record.size += size;
}

void apply_pending_advance() {
  if (record.pending == 0) return;
  std::memset(room_for(record.pending), ' ', record.pending);
  record.size += record.pending;
  record.pending = 0;
}

// The record is finished: its characters and a line feed go to the output,
// even when it is empty.
void end_record() {
  *room_for(1) = '\n';
  ++record.size;
  if (record.in_block) {
    records::output_commit(record.size);
  } else {
    records::output_record(record.data, record.size);
  }
}

// The record is finished and the next one begins.
void finish_record() {
  end_record();
  start_record();
}

// Walks the items of a write operation in order.
class ItemCursor {
 public:
  explicit ItemCursor(const Items& items)
      : segment_(items.segments().data()), end_(segment_ + items.segments().size()) {
    enter();
  }

  bool more() const { return segment_ != end_; }

  const Items::Segment& segment() const { return *segment_; }
  double real() const { return *real_; }  // the item is a real or one of a run

  // The item is a real or one of a run: the reals from it to the end of its
  // segment, and how many they are.
  bool at_real() const {
    return segment_->kind == Items::Kind::real || segment_->kind == Items::Kind::reals;
  }
  const double* reals() const { return real_; }
  std::size_t reals_left() const { return left_; }

  void advance() {
    if (--left_ != 0) {
      ++real_;
      return;
    }
    ++segment_;
    enter();
  }

  // Passes over n items of the current segment, n <= reals_left().
  void skip(std::size_t n) {
    left_ -= n;
    if (left_ != 0) {
      real_ += n;
      return;
    }
    ++segment_;
    enter();
  }

 private:
  // At the start of a segment: passes over empty runs and points at the
  // first item.
  void enter() {
    for (; segment_ != end_; ++segment_) {
      if (segment_->kind != Items::Kind::reals) {
        real_ = &segment_->real;
        left_ = 1;
        return;
      }
      if (!segment_->reals.empty()) {
        real_ = segment_->reals.data();
        left_ = segment_->reals.size();
        return;
      }
    }
  }

  const Items::Segment* segment_;
  const Items::Segment* end_;
  const double* real_ = nullptr;  // the current real item
  std::size_t left_ = 0;          // items left in the current segment, this one included
};

// A data descriptor with its item: the pending advance, then the field.
inline void transfer(Op op, int32_t width, int32_t digits, const ItemCursor& item) {
  const Items::Kind kind = item.segment().kind;
  const bool real = kind == Items::Kind::real || kind == Items::Kind::reals;
  const bool fits = op == Op::integer ? kind == Items::Kind::integer
                    : op == Op::chars ? kind == Items::Kind::text
                                      : real;
  if (!fits) runtime_error(err_bad_format, "fmt");
  const std::size_t w = static_cast<std::size_t>(width);
  char* field = nullptr;
  if (record.pending <= 8) {
    // A short advance is one 8-byte store of blanks that the field then
    // partly overwrites; the buffer has room for both.
    const std::size_t pending = record.pending;
    field = room_for(pending + w);
    std::memcpy(field, "        ", 8);
    field += pending;
    record.size += pending;
    record.pending = 0;
  } else {
    apply_pending_advance();
    field = room_for(w);
  }
  switch (op) {
    case Op::integer:
      records::render_integer(field, w, item.segment().integer);
      break;
    case Op::fixed:
      records::render_fixed(field, w, digits, item.real());
      break;
    case Op::exponent:
      records::render_exponent(field, w, digits, item.real());
      break;
    default:
      records::render_chars(field, w, item.segment().text);
      break;
  }
  record.size += w;
}

// The non-data descriptors that a write operation passes.
void perform(const records::Layout& layout, const Descriptor& d) {
  switch (d.op) {
    case Op::text:
      apply_pending_advance();
      layout.text_of(d, append);
      break;
    case Op::advance:
      record.pending += static_cast<std::size_t>(d.repeat);
      break;
    default:
      finish_record();  // "/" and reversion
      break;
  }
}

// One F7.3 field at p, with room for eight characters there.
inline void fixed_7_3_field(char* p, double value) {
  uint64_t word = 0;
  if (records::fixed_7_3(value, word)) {
    std::memcpy(p, &word, 8);  // the eighth byte is overwritten or lies past the record
  } else {
    records::render_fixed(p, 7, 3, value);
  }
}

// Blanks at p, with room for eight characters or for all of them.
inline void blanks_at(char* p, uint32_t blanks) {
  if (blanks <= 8) {
    std::memcpy(p, "        ", 8);
  } else {
    std::memset(p, ' ', blanks);
  }
}

// A run of n F7.3 fields (1 <= n < 2^32) from consecutive real items: the
// blanks before each (one 8-byte store when there are few) and the digits
// straight into the record, with room made once for the whole run.
void fixed_7_3_run(const double* values, std::size_t n, uint32_t lead, uint32_t between) {
  char* const start = room_for(lead + (n - 1) * between + 7 * n);
  char* p = start;
  blanks_at(p, lead);
  p += lead;
  fixed_7_3_field(p, values[0]);
  p += 7;
  if (between <= 8) {
    for (std::size_t k = 1; k < n; ++k) {
      std::memcpy(p, "        ", 8);
      p += between;
      fixed_7_3_field(p, values[k]);
      p += 7;
    }
  } else {
    for (std::size_t k = 1; k < n; ++k) {
      std::memset(p, ' ', between);
      p += between;
      fixed_7_3_field(p, values[k]);
      p += 7;
    }
  }
  record.size += static_cast<std::size_t>(p - start);
}

// The uses of one data descriptor in a flat layout, while items last; false
// when the items ran out first (the operation ends there).
bool write_fields(const records::WriteStep& s, ItemCursor& cursor) {
  uint32_t left = s.count;
  uint32_t blanks = s.lead;
  while (left > 0) {
    if (!cursor.more()) return false;
    if (s.fixed_7_3 && cursor.at_real()) {
      std::size_t n = cursor.reals_left();
      if (n > left) n = left;
      fixed_7_3_run(cursor.reals(), n, blanks, s.between);
      cursor.skip(n);
      left -= static_cast<uint32_t>(n);
    } else {
      record.pending = blanks;
      transfer(s.op, s.width, s.digits, cursor);
      cursor.advance();
      --left;
    }
    blanks = s.between;
  }
  return true;
}

// One pass over the steps of a flat layout; false when the items ran out at
// a data descriptor.
bool write_steps(const records::WriteStep* step, uint32_t count, ItemCursor& cursor) {
  for (const records::WriteStep* const end = step + count; step != end; ++step) {
    switch (step->kind) {
      case records::WriteStep::Kind::literal:
        append(step->text, step->length);
        break;
      case records::WriteStep::Kind::end:
        finish_record();
        break;
      default:
        if (!write_fields(*step, cursor)) return false;
        break;
    }
  }
  return true;
}

// A write operation over the flat form of its layout, up to its last record,
// which is left unfinished.
void write_flat(const records::WriteProgram& program, const Items& items) {
  // A report row: one run of reals for a layout that is one run of F7.3
  // fields, with no more reals than fields, so no reversion.
  const std::span<const Items::Segment> segments = items.segments();
  if (program.first_count == 1 && program.first[0].fixed_7_3 && segments.size() == 1 &&
      segments[0].kind == Items::Kind::reals && !segments[0].reals.empty() &&
      segments[0].reals.size() <= program.first[0].count) {
    const records::WriteStep& step = program.first[0];
    fixed_7_3_run(segments[0].reals.data(), segments[0].reals.size(), step.lead, step.between);
    return;
  }
  ItemCursor cursor(items);
  if (!write_steps(program.first, program.first_count, cursor)) return;
  while (cursor.more()) {
    // Reversion. A layout whose reverted part holds no data descriptor would
    // go round for ever without taking an item.
    if (!program.again_has_data) runtime_error(err_bad_format, "fmt");
    finish_record();
    if (!write_steps(program.again, program.again_count, cursor)) return;
  }
}

// A write operation by the general walk over the layout, up to its last
// record, which is left unfinished.
void write_walk(std::string_view layout, const Items& items) {
  records::Layout walk(layout, false);
  ItemCursor cursor(items);
  while (cursor.more()) {
    const Descriptor& d = *walk.next(true);
    if (records::is_data(d.op)) {
      transfer(d.op, d.width, d.digits, cursor);
      cursor.advance();
    } else if (d.op == Op::advance) {  // the common non-data descriptor, at once
      record.pending += static_cast<std::size_t>(d.repeat);
    } else {
      perform(walk, d);
    }
  }
  while (const Descriptor* d = walk.next(false)) perform(walk, *d);
}

}  // namespace

namespace records {

void reset_writer() {
  std::free(long_record);
  long_record = nullptr;
  long_capacity = 0;
  record = {nullptr, 0, 0, 0, false};
}

}  // namespace records

void RecordWriter::write(std::string_view layout, const Items& items) {
  begin_operation(unit_stdout, layout, false);
  start_record();
  if (const records::WriteProgram* program = records::find_write_program(layout)) {
    write_flat(*program, items);
  } else {
    write_walk(layout, items);
  }
  end_record();
  end_operation();
}

}  // namespace fourfifths
