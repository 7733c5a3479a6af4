// Fixed-field text records: parsing a record layout into a flat list of
// descriptors (groups as matched open/close pairs) and walking it item by
// item. Blanks outside quoted text are ignored; commas separate descriptors
// and may be left out; descriptor letters may be upper or lower case.
#include "records/layout.h"

#include <limits>
#include <new>

#include "records/records.h"

namespace fourfifths::records {

namespace {

constexpr uint32_t no_group = std::numeric_limits<uint32_t>::max();

// The descriptor handed out at reversion.
constinit const Descriptor revert_marker = {Op::revert, 0, false, 1, 0, 0, 0, 0, 0, 0};

struct ParseResult {
  std::size_t count = 0;
  std::size_t reversion = 0;
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
    if (index >= capacity_ || out_ == nullptr) {
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
  Descriptor scratch_;
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
        ++depth;
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

}  // namespace

Layout::Layout(std::string_view text, bool reading) : text_(text) {
  constexpr std::size_t inline_capacity = sizeof(inline_) / sizeof(inline_[0]);
  ParseResult result;
  if (!Parser(text, reading, inline_, inline_capacity).run(result)) unparsable();
  list_ = inline_;
  if (result.count > inline_capacity) {
    const std::size_t count = result.count;
    heap_ = new (std::nothrow) Descriptor[count];
    if (heap_ == nullptr) runtime_error(err_out_of_space, "malloc failure");
    result = ParseResult{};
    Parser(text, reading, heap_, count).run(result);
    list_ = heap_;
  }
  count_ = result.count;
  reversion_ = result.reversion;
  for (std::size_t k = reversion_; k < count_; ++k) {
    if (is_data(list_[k].op)) reversion_has_data_ = true;
  }
}

Layout::~Layout() {
  delete[] heap_;
}

const Descriptor* Layout::next(bool want_item) {
  for (;;) {
    if (pos_ == count_) {
      if (!want_item) return nullptr;
      // Reversion. A layout whose reverted part holds no data descriptor
      // would go round for ever without taking an item.
      if (!reversion_has_data_) runtime_error(err_bad_format, "fmt");
      pos_ = reversion_;
      return &revert_marker;
    }
    Descriptor& d = list_[pos_];
    switch (d.op) {
      case Op::open:
        d.left = d.repeat;
        ++pos_;
        break;
      case Op::close:
        if (--list_[d.partner].left > 0) {
          pos_ = d.partner + 1;
        } else {
          ++pos_;
        }
        break;
      case Op::integer:
      case Op::fixed:
      case Op::exponent:
      case Op::chars:
        if (!want_item) return nullptr;
        if (data_left_ == 0) data_left_ = d.repeat;
        if (--data_left_ == 0) ++pos_;
        return &d;
      default:
        ++pos_;
        return &d;
    }
  }
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
