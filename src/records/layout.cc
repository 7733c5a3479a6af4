// Fixed-field text records: parsing a record layout into a flat list of
// descriptors (groups as matched open/close pairs) and walking it item by
// item. Blanks outside quoted text are ignored; commas separate descriptors
// and may be left out; descriptor letters may be upper or lower case.
//
// Parsed layouts are kept in a small open-addressed table (keyed by the
// text's address, length and direction, confirmed by a copy of the text), so
// that the report, which writes the same few dozen layouts thousands of
// times, parses each one once. A write layout is unrolled there once more
// into its flat form, and a write over a kept layout costs one hash, one
// comparison of its characters with the kept copy (which catches a text
// changed in place) and the straight run over the steps. The table is plain
// zero-initialised storage: nothing runs before main.
#include "records/layout.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "records/records.h"

namespace fourfifths::records {

namespace {

constexpr uint32_t no_group = std::numeric_limits<uint32_t>::max();

// The descriptor handed out at reversion.
constinit const Descriptor revert_marker = {Op::revert, 0, false, 1, 0, 0, 0, 0, 0};

struct ParseResult {
  std::size_t count = 0;
  std::size_t reversion = 0;
  std::size_t max_depth = 0;
};

class Parser {
 public:
  Parser(std::string_view text, bool reading, Descriptor* out, std::size_t capacity)
      : s_(text), reading_(reading), out_(out), capacity_(capacity) {}

  // Parses the whole layout; false when it cannot be parsed. The count is
  // exact even when it exceeds the capacity (nothing beyond it is stored,
  // and the list is then incomplete).
  bool run(ParseResult& result);

 private:
  int peek() {
    while (i_ < s_.size() && s_[i_] == ' ') ++i_;
    return i_ < s_.size() ? static_cast<unsigned char>(s_[i_]) : -1;
  }
  static bool is_digit(int c) { return c >= '0' && c <= '9'; }

  // An unsigned number (blanks between its digits ignored), at most 2^31 - 1.
  bool number(int32_t& value) {
    if (!is_digit(peek())) return false;
    int64_t v = 0;
    for (int c = peek(); is_digit(c); c = peek()) {
      v = v * 10 + (c - '0');
      if (v > std::numeric_limits<int32_t>::max()) return false;
      ++i_;
    }
    value = static_cast<int32_t>(v);
    return true;
  }

  Descriptor* emit(Op op) {
    std::size_t index = n_++;
    if (index >= capacity_) {
      overflow_ = true;
      scratch_ = Descriptor{};
      scratch_.op = op;
      return &scratch_;
    }
    out_[index] = Descriptor{};
    out_[index].op = op;
    return &out_[index];
  }

  bool quoted(Descriptor& d);

  std::string_view s_;
  std::size_t i_ = 0;
  bool reading_;
  Descriptor* out_;
  std::size_t capacity_;
  std::size_t n_ = 0;
  bool overflow_ = false;
  Descriptor scratch_ = {};
};

bool Parser::quoted(Descriptor& d) {
  const char q = s_[i_++];
  const std::size_t begin = i_;
  bool doubled = false;
  for (;;) {
    if (i_ >= s_.size()) return false;
    if (s_[i_] == q) {
      if (i_ + 1 < s_.size() && s_[i_ + 1] == q) {
        doubled = true;
        i_ += 2;
        continue;
      }
      break;
    }
    ++i_;
  }
  d.quote = q;
  d.doubled = doubled;
  d.text_pos = static_cast<uint32_t>(begin);
  d.text_len = static_cast<uint32_t>(i_ - begin);
  ++i_;  // the closing quote
  return true;
}

bool Parser::run(ParseResult& result) {
  if (s_.size() >= std::numeric_limits<uint32_t>::max()) return false;
  if (peek() != '(') return false;
  ++i_;
  uint32_t innermost = no_group;  // open groups, chained through partner
  std::size_t depth = 0;
  bool after_item = false;  // a descriptor or group stands before, not a comma
  bool group_empty = true;  // nothing yet inside the innermost parentheses
  for (;;) {
    const int c = peek();
    if (c < 0) return false;
    if (c == ',') {
      if (!after_item) return false;
      after_item = false;
      ++i_;
      continue;
    }
    if (c == ')') {
      ++i_;
      if (!after_item && !group_empty) return false;  // a comma before ')'
      if (depth == 0) break;                          // the layout's own parenthesis
      if (group_empty) return false;                  // "()" as a group
      const std::size_t close_index = n_;
      Descriptor* close = emit(Op::close);
      if (!overflow_) {
        const uint32_t open_index = innermost;
        innermost = out_[open_index].partner;
        out_[open_index].partner = static_cast<uint32_t>(close_index);
        close->partner = open_index;
        if (depth == 1) result.reversion = open_index;
      }
      --depth;
      after_item = true;
      group_empty = false;
      continue;
    }
    int32_t count = 1;
    const bool counted = is_digit(c);
    if (counted && (!number(count) || count == 0)) return false;
    const int letter = peek();
    switch (letter) {
      case '(': {
        ++i_;
        const std::size_t open_index = n_;
        Descriptor* open = emit(Op::open);
        open->repeat = count;
        if (!overflow_) {
          open->partner = innermost;
          innermost = static_cast<uint32_t>(open_index);
        }
        if (++depth > result.max_depth) result.max_depth = depth;
        after_item = false;
        group_empty = true;
        continue;
      }
      case 'I':
      case 'i':
      case 'F':
      case 'f':
      case 'D':
      case 'd':
      case 'A':
      case 'a': {
        ++i_;
        const Op op = letter == 'I' || letter == 'i'   ? Op::integer
                      : letter == 'F' || letter == 'f' ? Op::fixed
                      : letter == 'D' || letter == 'd' ? Op::exponent
                                                       : Op::chars;
        if (op == Op::chars && reading_) return false;
        Descriptor* d = emit(op);
        d->repeat = count;
        if (!number(d->width) || d->width == 0) return false;
        const bool real = op == Op::fixed || op == Op::exponent;
        if (real) {
          if (peek() != '.') return false;
          ++i_;
          if (!number(d->digits)) return false;
          if (op == Op::exponent && d->digits == 0 && !reading_) return false;  // no digit to show
        } else if (peek() == '.') {
          return false;
        }
        break;
      }
      case 'X':
      case 'x':
        ++i_;
        emit(Op::advance)->repeat = count;
        break;
      case '/':
        if (counted) return false;
        ++i_;
        emit(Op::slash);
        break;
      case '\'':
      case '"':
        if (counted || reading_) return false;
        if (!quoted(*emit(Op::text))) return false;
        break;
      default:
        return false;
    }
    after_item = true;
    group_empty = false;
  }
  result.count = n_;
  return true;
}

[[noreturn]] void unparsable() {
  runtime_error(err_bad_format, "startio");
}

// The table of parsed layouts. Entries are found by open addressing on the
// text's address and length; the descriptors, a copy of the text and the
// flat forms of write layouts live in pools that only grow. A layout that
// finds no free entry or no room in the pools is simply not kept; a write
// layout whose flat form finds no room is kept without one.
constexpr std::size_t table_size = 64;  // a power of two
constexpr std::size_t pool_descriptors = 1024;
constexpr std::size_t pool_chars = 8192;
constexpr std::size_t pool_steps = 1024;
constexpr std::size_t pool_literals = 8192;

struct TableEntry {
  const char* address;  // null: the entry is free
  uint32_t length;
  bool reading;
  bool flat;          // writing: program holds the flat form
  uint32_t first;     // its descriptors: pool[first, first + capacity)
  uint32_t capacity;  //   of which the parsed layout uses count
  uint32_t text;      // its copy of the text: chars[text, text + length)
  ParsedLayout parsed;
  WriteProgram program;
};

struct LayoutTable {
  TableEntry entries[table_size];
  std::size_t used;
  Descriptor pool[pool_descriptors];
  std::size_t pool_used;
  char chars[pool_chars];
  std::size_t chars_used;
  WriteStep steps[pool_steps];
  std::size_t steps_used;
  char literals[pool_literals];
  std::size_t literals_used;
};
LayoutTable table;

bool write_programs = true;

// Limits of the flat form; a layout beyond them keeps the general walk.
constexpr std::size_t max_steps = 128;      // steps of both passes together
constexpr std::size_t max_literals = 2048;  // characters of both passes together
constexpr std::size_t max_visits = 4096;    // descriptors visited while expanding groups
constexpr std::size_t max_flat_depth = 16;  // groups open at once
constexpr uint64_t max_blanks = 256;        // blanks of one advance run
constexpr int32_t max_flat_width = 256;     // w of a field

// Makes the flat form of a parsed write layout: each pass walks the
// descriptors as the general walk would with an unlimited supply of items,
// collecting advances as pending blanks and appending steps into the pools.
class Flattener {
 public:
  Flattener(std::string_view text, const ParsedLayout& parsed)
      : text_(text),
        list_(parsed.list),
        steps_(table.steps + table.steps_used),
        literals_(table.literals + table.literals_used),
        steps_room_(std::min(max_steps, pool_steps - table.steps_used)),
        literals_room_(std::min(max_literals, pool_literals - table.literals_used)) {}

  // The steps of the descriptors [from, to), with no blanks pending at the
  // start; false when the flat form would pass the limits.
  bool pass(std::size_t from, std::size_t to, const WriteStep*& first, uint32_t& count) {
    pending_ = 0;
    pass_start_ = steps_used_;
    if (!walk(from, to, 0)) return false;
    first = steps_ + pass_start_;
    count = static_cast<uint32_t>(steps_used_ - pass_start_);
    return true;
  }

  // Takes the steps and literals made into the pools.
  void commit() const {
    table.steps_used += steps_used_;
    table.literals_used += literals_used_;
  }

 private:
  bool walk(std::size_t from, std::size_t to, std::size_t depth) {
    if (depth > max_flat_depth) return false;
    for (std::size_t k = from; k < to; ++k) {
      if (++visits_ > max_visits) return false;
      const Descriptor& d = list_[k];
      switch (d.op) {
        case Op::open:
          for (int32_t r = 0; r < d.repeat; ++r) {
            if (!walk(k + 1, d.partner, depth + 1)) return false;
          }
          k = d.partner;  // its close
          break;
        case Op::advance:
          pending_ += static_cast<uint64_t>(d.repeat);
          if (pending_ > max_blanks) return false;
          break;
        case Op::slash:
          if (!step(WriteStep::Kind::end)) return false;
          pending_ = 0;
          break;
        case Op::text:
          if (!literal(d)) return false;
          break;
        default:
          if (!fields(d)) return false;
          break;
      }
    }
    return true;
  }

  WriteStep* step(WriteStep::Kind kind) {
    if (steps_used_ == steps_room_) return nullptr;
    WriteStep& s = steps_[steps_used_++];
    s = WriteStep{};
    s.kind = kind;
    return &s;
  }

  // The step just made in this pass, if any.
  WriteStep* last() { return steps_used_ == pass_start_ ? nullptr : &steps_[steps_used_ - 1]; }

  // The pending blanks and the text, joined to a literal just before.
  bool literal(const Descriptor& d) {
    WriteStep* s = last();
    const bool join = s != nullptr && s->kind == WriteStep::Kind::literal &&
                      s->text + s->length == literals_ + literals_used_;
    if (!join) {
      s = step(WriteStep::Kind::literal);
      if (s == nullptr) return false;
      s->text = literals_ + literals_used_;
    }
    if (pending_ + d.text_len > literals_room_ - literals_used_) return false;
    std::memset(literals_ + literals_used_, ' ', pending_);
    literals_used_ += pending_;
    pending_ = 0;
    quoted_text(text_, d, [&](const char* p, std::size_t n) {
      std::memcpy(literals_ + literals_used_, p, n);
      literals_used_ += n;
    });
    s->length = static_cast<uint32_t>(literals_ + literals_used_ - s->text);
    return true;
  }

  // r uses of a data descriptor, the first after the pending blanks and the
  // others right after each other, joined to the same descriptor's uses just
  // before when the blanks between all of them are alike.
  bool fields(const Descriptor& d) {
    if (d.width > max_flat_width) return false;
    const auto lead = static_cast<uint32_t>(pending_);
    const auto count = static_cast<uint32_t>(d.repeat);
    pending_ = 0;
    WriteStep* s = last();
    if (s != nullptr && s->kind == WriteStep::Kind::fields && s->op == d.op &&
        s->width == d.width && s->digits == d.digits && (s->count == 1 || s->between == lead) &&
        (count == 1 || lead == 0) && s->count <= UINT32_MAX - count) {
      s->between = lead;
      s->count += count;
      return true;
    }
    s = step(WriteStep::Kind::fields);
    if (s == nullptr) return false;
    s->op = d.op;
    s->fixed_7_3 = d.op == Op::fixed && d.width == 7 && d.digits == 3;
    s->width = d.width;
    s->digits = d.digits;
    s->count = count;
    s->lead = lead;
    s->between = 0;
    return true;
  }

  std::string_view text_;
  const Descriptor* list_;
  WriteStep* steps_;
  char* literals_;
  std::size_t steps_room_;
  std::size_t literals_room_;
  std::size_t steps_used_ = 0;
  std::size_t pass_start_ = 0;
  std::size_t literals_used_ = 0;
  std::size_t visits_ = 0;
  uint64_t pending_ = 0;
};

// The flat form of a write layout into the entry; false when it has none.
bool flatten(TableEntry& e, std::string_view text) {
  const ParsedLayout& parsed = e.parsed;
  if (parsed.max_depth > max_flat_depth) return false;
  Flattener flat(text, parsed);
  WriteProgram& program = e.program;
  if (!flat.pass(0, parsed.count, program.first, program.first_count)) return false;
  if (parsed.reversion == 0) {
    program.again = program.first;
    program.again_count = program.first_count;
  } else if (!flat.pass(parsed.reversion, parsed.count, program.again, program.again_count)) {
    return false;
  }
  program.again_has_data = false;
  for (uint32_t k = 0; k < program.again_count; ++k) {
    if (program.again[k].kind == WriteStep::Kind::fields) program.again_has_data = true;
  }
  flat.commit();
  return true;
}

// Fibonacci hashing of the address, length and direction: the top six bits
// of their product with 2^64 divided by the golden ratio.
std::size_t slot_of(const char* address, std::size_t length, bool reading) {
  const uint64_t key = reinterpret_cast<uintptr_t>(address) ^ (length << 1 | (reading ? 1 : 0));
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 58);
}
static_assert(table_size == 64, "slot_of gives six bits");

// Whether n characters at a and b are the same: eight at a time, the last
// eight overlapping those before.
bool same_text(const char* a, const char* b, std::size_t n) {
  if (n < 8) return std::memcmp(a, b, n) == 0;
  uint64_t x = 0;
  uint64_t y = 0;
  for (std::size_t k = 0; k + 8 < n; k += 8) {
    std::memcpy(&x, a + k, 8);
    std::memcpy(&y, b + k, 8);
    if (x != y) return false;
  }
  std::memcpy(&x, a + n - 8, 8);
  std::memcpy(&y, b + n - 8, 8);
  return x == y;
}

// The entry of the layout: its own when its text is found unchanged, a free
// one (address still null) for it, or null when the table has no room.
TableEntry* find_entry(std::string_view text, bool reading) {
  std::size_t slot = slot_of(text.data(), text.size(), reading);
  for (std::size_t probes = 0; probes < table_size; ++probes) {
    TableEntry& e = table.entries[slot];
    if (e.address == nullptr) return table.used < table_size * 3 / 4 ? &e : nullptr;
    if (e.address == text.data() && e.length == text.size() && e.reading == reading) return &e;
    slot = (slot + 1) & (table_size - 1);
  }
  return nullptr;
}

// Keeps a parsed layout in its entry, reusing the entry's storage when the
// same address now holds a different layout that fits in it. False when the
// pools have no room left.
bool keep(TableEntry& e, std::string_view text, bool reading, const ParsedLayout& parsed) {
  const bool fresh = e.address == nullptr;
  if (fresh || parsed.count > e.capacity || text.size() > e.length) {
    if (parsed.count > pool_descriptors - table.pool_used ||
        text.size() > pool_chars - table.chars_used) {
      return false;
    }
    e.first = static_cast<uint32_t>(table.pool_used);
    e.capacity = static_cast<uint32_t>(parsed.count);
    e.text = static_cast<uint32_t>(table.chars_used);
    table.pool_used += parsed.count;
    table.chars_used += text.size();
  }
  Descriptor* list = table.pool + e.first;
  if (parsed.count > 0) std::memcpy(list, parsed.list, parsed.count * sizeof(Descriptor));
  if (!text.empty()) std::memcpy(table.chars + e.text, text.data(), text.size());
  if (fresh) ++table.used;
  e.address = text.data();
  e.length = static_cast<uint32_t>(text.size());
  e.reading = reading;
  e.parsed = parsed;
  e.parsed.list = list;
  e.flat = !reading && flatten(e, text);
  return true;
}

}  // namespace

const WriteProgram* find_write_program(std::string_view text) {
  // The table always has a free entry, which ends the search.
  for (std::size_t slot = slot_of(text.data(), text.size(), false);;
       slot = (slot + 1) & (table_size - 1)) {
    const TableEntry& e = table.entries[slot];
    if (e.address == text.data() && e.length == text.size() && !e.reading) {
      // The same address may now hold other characters: confirm them.
      if (!e.flat || !write_programs ||
          !same_text(table.chars + e.text, text.data(), text.size())) {
        return nullptr;
      }
      return &e.program;
    }
    if (e.address == nullptr) return nullptr;
  }
}

void use_write_programs(bool use) {
  write_programs = use;
}

void forget_layouts() {
  for (TableEntry& e : table.entries) e = TableEntry{};
  table.used = 0;
  table.pool_used = 0;
  table.chars_used = 0;
  table.steps_used = 0;
  table.literals_used = 0;
}

Layout::Layout(std::string_view text, bool reading) : text_(text), left_(inline_left_) {
  TableEntry* entry = nullptr;
  if (text.size() <= std::numeric_limits<uint32_t>::max()) entry = find_entry(text, reading);
  if (entry != nullptr && entry->address != nullptr &&
      (text.empty() || std::memcmp(table.chars + entry->text, text.data(), text.size()) == 0)) {
    parsed_ = entry->parsed;
  } else {
    parse(text, reading);
    if (entry != nullptr && keep(*entry, text, reading, parsed_)) parsed_.list = entry->parsed.list;
  }
  if (parsed_.max_depth > inline_depth) {
    heap_left_ = new (std::nothrow) int32_t[parsed_.max_depth];
    if (heap_left_ == nullptr) runtime_error(err_out_of_space, "malloc failure");
    left_ = heap_left_;
  }
}

void Layout::parse(std::string_view text, bool reading) {
  ParseResult result;
  if (!Parser(text, reading, inline_, inline_capacity).run(result)) unparsable();
  Descriptor* list = inline_;
  if (result.count > inline_capacity) {
    const std::size_t count = result.count;
    heap_ = new (std::nothrow) Descriptor[count];
    if (heap_ == nullptr) runtime_error(err_out_of_space, "malloc failure");
    result = ParseResult{};
    Parser(text, reading, heap_, count).run(result);
    list = heap_;
  }
  parsed_ = {list, result.count, result.reversion, false, result.max_depth};
  for (std::size_t k = parsed_.reversion; k < parsed_.count; ++k) {
    if (is_data(list[k].op)) parsed_.reversion_has_data = true;
  }
}

Layout::~Layout() {
  delete[] heap_;
  delete[] heap_left_;
}

const Descriptor* Layout::at_end(bool want_item) {
  if (!want_item) return nullptr;
  // Reversion. A layout whose reverted part holds no data descriptor would
  // go round for ever without taking an item.
  if (!parsed_.reversion_has_data) runtime_error(err_bad_format, "fmt");
  pos_ = parsed_.reversion;
  return &revert_marker;
}

std::size_t layout_extent(std::string_view text) {
  std::size_t depth = 0;
  char quote = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k];
    if (quote != 0) {
      if (c == quote) quote = 0;  // a doubled quote closes and reopens
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && depth > 0 && --depth == 0) {
      return k + 1;
    }
  }
  return text.size();
}

}  // namespace fourfifths::records
