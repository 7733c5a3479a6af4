// Fixed-field text records: the record layout (Iw, Fw.d, Dw.d, Aw, nX, "/",
// quoted text, repeat counts, nested groups) and the walk over it that the
// reader and the writer share.
//
// The walk hands out one data descriptor per item and, on the way, every
// non-data descriptor it passes, for the operation to perform. When the items
// outlast the layout it reverts: the line ends and the walk resumes at the
// last group that stands directly inside the outer parentheses, with its full
// repeat count, or else at the beginning. Once the items are spent it goes on
// only through non-data descriptors, up to the next data descriptor or the end
// of the layout.
//
// A write layout kept in the layout table also gets a flat form: the same
// walk unrolled once into a list of steps (text with its blanks, record ends,
// runs of one data descriptor), which a write operation runs straight
// through.
#pragma once

#include <cstddef>
#include <cstdint>
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

inline bool is_data(Op op) {
  return op <= Op::chars;
}

// One descriptor of a parsed layout. Plain data: a parsed layout is copied
// into the layout table as it stands.
struct Descriptor {
  Op op;
  char quote;         // text: its quote character
  bool doubled;       // text: holds doubled quotes, each standing for one
  int32_t repeat;     // data descriptor or group: repeat count; nX: n
  int32_t width;      // w
  int32_t digits;     // d
  uint32_t text_pos;  // text: its characters between the quotes,
  uint32_t text_len;  //   as they stand in the layout
  uint32_t partner;   // open: index of its close; close: of its open
};

// A parsed layout: its descriptors and where the walk resumes on reversion.
struct ParsedLayout {
  const Descriptor* list;
  std::size_t count;
  std::size_t reversion;    // where the walk resumes on reversion
  bool reversion_has_data;  // a data descriptor lies at or after it
  std::size_t max_depth;    // deepest nesting of groups
};

// The flat form of a layout for writing, made once when the layout is kept in
// the table: the descriptors in the order the walk performs them, groups
// expanded, so that a write operation is a straight run over its steps. An nX
// becomes blanks in front of the text or field that follows it in the same
// record (and disappears before "/", before the end and before a reversion,
// where nothing follows it); texts that follow each other become one; a data
// descriptor with a repeat count, and consecutive uses of the same data
// descriptor with the same blanks between them, become one step with a count.
struct WriteStep {
  enum class Kind : uint8_t {
    literal,  // characters: text, and the blanks of the advances before it
    end,      // "/": the record ends
    fields,   // count uses of one data descriptor
  };
  Kind kind;
  Op op;             // fields: integer, fixed, exponent or chars
  bool fixed_7_3;    // fields: the report's F7.3
  int32_t width;     // fields: w
  int32_t digits;    // fields: d
  uint32_t count;    // fields: how many
  uint32_t lead;     // fields: blanks before the first of them
  uint32_t between;  // fields: blanks before each later one
  const char* text;  // literal: its characters
  uint32_t length;   //   and their number
};

// A write operation runs the first pass from the beginning of the layout; on
// each reversion the record ends and it runs the second pass, the steps from
// the reversion point on. Items that run out stop either pass at its first
// fields step without an item.
struct WriteProgram {
  const WriteStep* first;
  uint32_t first_count;
  const WriteStep* again;
  uint32_t again_count;
  bool again_has_data;  // false: a reversion would go round for ever
};

// The flat form of a layout kept in the table for writing; null when the
// layout is not kept (the first write of each layout, and every write once
// the table is full) or cannot be made flat within the table's limits
// (deeply repeated groups, very long texts or advances, very wide fields).
// The writer then takes the general walk.
const WriteProgram* find_write_program(std::string_view text);

// Whether find_write_program may give flat forms: tests turn them off to
// compare the flat form against the general walk.
void use_write_programs(bool use);

// Empties the layout table, so that tests find room in it whatever ran
// before them. Not during an operation.
void forget_layouts();

// One layout and the walk over it. Each layout is parsed once: the parsed
// form is kept in a small table keyed by the text's address and length (the
// program's layouts are string literals) and confirmed by its characters;
// once the table is full, further layouts are parsed for each operation. A
// layout that cannot be parsed ends the run: run-time error 100 ("error in
// format") with where-text "startio".
class Layout {
 public:
  // reading: the layout is for input, where quoted text and A have no use.
  Layout(std::string_view text, bool reading);
  ~Layout();
  Layout(const Layout&) = delete;
  Layout& operator=(const Layout&) = delete;

  // The next descriptor to perform. With want_item, walks to the next data
  // descriptor, handing out on the way every non-data descriptor it passes
  // and, at reversion, one Op::revert. Without, hands out non-data
  // descriptors until the walk reaches a data descriptor or the end of the
  // layout, and then returns nullptr.
  inline const Descriptor* next(bool want_item);

  // The characters of a quoted text descriptor, doubled quotes collapsed,
  // appended through sink(const char*, size_t).
  template <class Sink>
  void text_of(const Descriptor& d, Sink&& sink) const;

 private:
  // Parses the text into inline_ (or heap_ when it holds more descriptors).
  void parse(std::string_view text, bool reading);

  // The end of the layout: reversion, or the end of the walk.
  const Descriptor* at_end(bool want_item);

  static constexpr std::size_t inline_capacity = 48;
  static constexpr std::size_t inline_depth = 16;

  ParsedLayout parsed_;
  std::string_view text_;
  std::size_t pos_ = 0;    // the walk: next descriptor
  int32_t data_left_ = 0;  // repetitions left of the data descriptor at pos_
  std::size_t depth_ = 0;  // groups open on the walk
  int32_t* left_;          // repetitions still to go of each open group, outermost first
  int32_t inline_left_[inline_depth];
  Descriptor* heap_ = nullptr;  // a layout parsed for this operation alone
  int32_t* heap_left_ = nullptr;
  Descriptor inline_[inline_capacity];  // uninitialised until a parse needs it
};

// The length of a layout's text up to and including the parenthesis that
// closes it (the whole text when none does): what the error report shows.
std::size_t layout_extent(std::string_view text);

// Inline: the writer and the reader call it once per item and per non-data
// descriptor.
const Descriptor* Layout::next(bool want_item) {
  const Descriptor* const list = parsed_.list;
  for (;;) {
    if (pos_ == parsed_.count) return at_end(want_item);
    const Descriptor& d = list[pos_];
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

// The characters of a quoted text descriptor of the layout text, doubled
// quotes collapsed, appended through sink(const char*, size_t).
template <class Sink>
void quoted_text(std::string_view text, const Descriptor& d, Sink&& sink) {
  const char* p = text.data() + d.text_pos;
  const char* end = p + d.text_len;
  if (!d.doubled) {
    sink(p, d.text_len);
    return;
  }
  while (p < end) {
    const char* run = p;
    while (p < end && *p != d.quote) ++p;
    if (p < end) ++p;  // keep one quote of the pair
    sink(run, static_cast<std::size_t>(p - run));
    if (p < end) ++p;  // drop the other
  }
}

template <class Sink>
void Layout::text_of(const Descriptor& d, Sink&& sink) const {
  quoted_text(text_, d, sink);
}

}  // namespace fourfifths::records
