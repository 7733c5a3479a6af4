// Fixed-field text records: the record layout (Iw, Fw.d, Dw.d, Aw, nX, "/",
// quoted text, repeat counts, nested groups), its parse and the walk over it
// that the reader and the writer share.
//
// The parse is constexpr, so that the program's own layouts are checked when
// it is built; at run time each operation parses its layout again, which
// costs less than a search of a table would.
//
// The walk hands out one data descriptor per item and, on the way, every
// non-data descriptor it passes, for the operation to perform. When the items
// outlast the layout it reverts: the line ends and the walk resumes at the
// last group that stands directly inside the outer parentheses, with its full
// repeat count, or else at the beginning. Once the items are spent it goes on
// only through non-data descriptors, up to the next data descriptor or the end
// of the layout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace fourfifths::records {

enum class Op : uint8_t {
  integer,   // Iw
  fixed,     // Fw.d
  exponent,  // Dw.d
  chars,     // Aw
  advance,   // nX
  slash,     // "/": end of the line or record
  text,      // quoted text
  open,      // r( : start of a group
  close,     // ) : end of a group
  revert,    // handed out by the walk only: the line ends here on reversion
};

constexpr bool is_data(Op op) {
  return op <= Op::chars;
}

// One descriptor of a parsed layout.
struct Descriptor {
  Op op = Op::advance;
  char quote = 0;         // text: its quote character
  bool doubled = false;   // text: holds doubled quotes, each standing for one
  int32_t repeat = 1;     // data descriptor or group: repeat count; nX: n
  int32_t width = 0;      // w
  int32_t digits = 0;     // d
  uint32_t text_pos = 0;  // text: its characters between the quotes,
  uint32_t text_len = 0;  //   as they stand in the layout
  uint32_t partner = 0;   // open: index of its close; close: of its open
};

// Room for the longest layout of the report (its banner) and then some.
inline constexpr std::size_t max_descriptors = 96;
inline constexpr std::size_t max_depth = 8;

// A parsed layout: its descriptors and where the walk resumes on reversion.
struct ParsedLayout {
  bool ok = false;  // false: the text is not a layout (or beyond the limits above)
  std::array<Descriptor, max_descriptors> list{};
  std::size_t count = 0;
  std::size_t reversion = 0;        // where the walk resumes on reversion
  bool reversion_has_data = false;  // a data descriptor lies at or after it
};

// Parses a layout. Blanks outside quoted text are ignored; commas separate
// descriptors and may be left out; descriptor letters may be upper or lower
// case. For reading, quoted text and A are not layouts.
constexpr ParsedLayout parse_layout(std::string_view s, bool reading) {
  ParsedLayout result;
  std::size_t i = 0;
  auto peek = [&]() -> int {
    while (i < s.size() && s[i] == ' ') ++i;
    return i < s.size() ? static_cast<unsigned char>(s[i]) : -1;
  };
  auto is_digit = [](int c) { return c >= '0' && c <= '9'; };
  // An unsigned number (blanks between its digits ignored), at most 2^31 - 1.
  auto number = [&](int32_t& value) {
    if (!is_digit(peek())) return false;
    int64_t v = 0;
    for (int c = peek(); is_digit(c); c = peek()) {
      v = v * 10 + (c - '0');
      if (v > std::numeric_limits<int32_t>::max()) return false;
      ++i;
    }
    value = static_cast<int32_t>(v);
    return true;
  };
  auto emit = [&](Op op) -> Descriptor* {
    if (result.count == max_descriptors) return nullptr;
    Descriptor& d = result.list[result.count++];
    d.op = op;
    return &d;
  };

  if (s.size() >= std::numeric_limits<uint32_t>::max() || peek() != '(') return result;
  ++i;
  std::array<std::size_t, max_depth> open{};  // the open groups, innermost last
  std::size_t depth = 0;
  bool after_item = false;  // a descriptor or group stands before, not a comma
  bool group_empty = true;  // nothing yet inside the innermost parentheses
  for (;;) {
    const int c = peek();
    if (c < 0) return result;
    if (c == ',') {
      if (!after_item) return result;
      after_item = false;
      ++i;
      continue;
    }
    if (c == ')') {
      ++i;
      if (!after_item && !group_empty) return result;  // a comma before ')'
      if (depth == 0) break;                           // the layout's own parenthesis
      if (group_empty) return result;                  // "()" as a group
      const std::size_t open_index = open[--depth];
      Descriptor* close = emit(Op::close);
      if (close == nullptr) return result;
      close->partner = static_cast<uint32_t>(open_index);
      result.list[open_index].partner = static_cast<uint32_t>(result.count - 1);
      if (depth == 0) result.reversion = open_index;
      after_item = true;
      group_empty = false;
      continue;
    }
    int32_t count = 1;
    const bool counted = is_digit(c);
    if (counted && (!number(count) || count == 0)) return result;
    const int letter = peek();
    Descriptor* d = nullptr;
    switch (letter) {
      case '(':
        ++i;
        if (depth == max_depth || (d = emit(Op::open)) == nullptr) return result;
        d->repeat = count;
        open[depth++] = result.count - 1;
        after_item = false;
        group_empty = true;
        continue;
      case 'I':
      case 'i':
      case 'F':
      case 'f':
      case 'D':
      case 'd':
      case 'A':
      case 'a': {
        ++i;
        const Op op = letter == 'I' || letter == 'i'   ? Op::integer
                      : letter == 'F' || letter == 'f' ? Op::fixed
                      : letter == 'D' || letter == 'd' ? Op::exponent
                                                       : Op::chars;
        if ((op == Op::chars && reading) || (d = emit(op)) == nullptr) return result;
        d->repeat = count;
        if (!number(d->width) || d->width == 0) return result;
        if (op == Op::fixed || op == Op::exponent) {
          if (peek() != '.') return result;
          ++i;
          if (!number(d->digits)) return result;
          if (op == Op::exponent && d->digits == 0 && !reading) return result;  // no digit to show
        } else if (peek() == '.') {
          return result;
        }
        break;
      }
      case 'X':
      case 'x':
        ++i;
        if ((d = emit(Op::advance)) == nullptr) return result;
        d->repeat = count;
        break;
      case '/':
        if (counted || emit(Op::slash) == nullptr) return result;
        ++i;
        break;
      case '\'':
      case '"': {
        if (counted || reading || (d = emit(Op::text)) == nullptr) return result;
        const char q = s[i++];
        const std::size_t begin = i;
        for (;; ++i) {
          if (i >= s.size()) return result;
          if (s[i] != q) continue;
          if (i + 1 < s.size() && s[i + 1] == q) {
            d->doubled = true;
            ++i;
            continue;
          }
          break;
        }
        d->quote = q;
        d->text_pos = static_cast<uint32_t>(begin);
        d->text_len = static_cast<uint32_t>(i - begin);
        ++i;  // the closing quote
        break;
      }
      default:
        return result;
    }
    after_item = true;
    group_empty = false;
  }
  for (std::size_t k = result.reversion; k < result.count; ++k)
    if (is_data(result.list[k].op)) result.reversion_has_data = true;
  result.ok = true;
  return result;
}

// The walk over a parsed layout.
class LayoutWalk {
 public:
  explicit LayoutWalk(const ParsedLayout& layout) : layout_(layout) {}

  // The next descriptor to perform. With want_item, walks to the next data
  // descriptor, handing out on the way every non-data descriptor it passes
  // and, at reversion, one Op::revert; nullptr when the layout would go round
  // for ever without a data descriptor. Without, hands out non-data
  // descriptors until the walk reaches a data descriptor or the end of the
  // layout, and then returns nullptr.
  const Descriptor* next(bool want_item) {
    for (;;) {
      if (pos_ == layout_.count) {
        if (!want_item || !layout_.reversion_has_data) return nullptr;
        pos_ = layout_.reversion;
        return &revert_;
      }
      const Descriptor& d = layout_.list[pos_];
      if (is_data(d.op)) {
        if (!want_item) return nullptr;
        if (data_left_ == 0) data_left_ = d.repeat;
        if (--data_left_ == 0) ++pos_;
        return &d;
      }
      if (d.op == Op::close) {
        if (--left_[depth_ - 1] > 0) {
          pos_ = d.partner + 1;
        } else {
          --depth_;
          ++pos_;
        }
      } else if (d.op == Op::open) {
        left_[depth_++] = d.repeat;
        ++pos_;
      } else {
        ++pos_;
        return &d;
      }
    }
  }

 private:
  const ParsedLayout& layout_;
  std::size_t pos_ = 0;    // next descriptor
  int32_t data_left_ = 0;  // repetitions left of the data descriptor at pos_
  std::size_t depth_ = 0;  // groups open on the walk
  std::array<int32_t, max_depth> left_{};  // repetitions still to go of each open group
  Descriptor revert_{Op::revert};
};

// The characters of a quoted text descriptor of the layout text, doubled
// quotes collapsed, appended through sink(std::string_view).
template <class Sink>
void quoted_text(std::string_view text, const Descriptor& d, Sink&& sink) {
  std::string_view rest = text.substr(d.text_pos, d.text_len);
  if (!d.doubled) {
    sink(rest);
    return;
  }
  while (!rest.empty()) {
    const std::size_t quote = rest.find(d.quote);
    if (quote == std::string_view::npos) {
      sink(rest);
      return;
    }
    sink(rest.substr(0, quote + 1));  // keep one quote of the pair
    rest.remove_prefix(quote + 2);    // drop the other
  }
}

// The length of a layout's text up to and including the parenthesis that
// closes it (the whole text when none does): what the error report shows.
constexpr std::size_t layout_extent(std::string_view text) {
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
