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

struct Descriptor {
  Op op = Op::slash;
  char quote = 0;         // text: its quote character
  bool doubled = false;   // text: holds doubled quotes, each standing for one
  int32_t repeat = 1;     // data descriptor or group: repeat count; nX: n
  int32_t width = 0;      // w
  int32_t digits = 0;     // d
  uint32_t text_pos = 0;  // text: its characters between the quotes,
  uint32_t text_len = 0;  //   as they stand in the layout
  uint32_t partner = 0;   // open: index of its close; close: of its open
  int32_t left = 0;       // open: repetitions still to go during the walk
};

// One parsed layout and the walk over it. A layout that cannot be parsed ends
// the run: run-time error 100 ("error in format") with where-text "startio".
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
  const Descriptor* next(bool want_item);

  // The characters of a quoted text descriptor, doubled quotes collapsed,
  // appended through sink(const char*, size_t).
  template <class Sink>
  void text_of(const Descriptor& d, Sink&& sink) const;

 private:
  Descriptor inline_[48];
  Descriptor* heap_ = nullptr;
  Descriptor* list_ = nullptr;
  std::size_t count_ = 0;
  std::string_view text_;
  std::size_t reversion_ = 0;        // where the walk resumes on reversion
  bool reversion_has_data_ = false;  // a data descriptor lies at or after it
  std::size_t pos_ = 0;              // the walk: next descriptor
  int32_t data_left_ = 0;            // repetitions left of the data descriptor at pos_
};

// The length of a layout's text up to and including the parenthesis that
// closes it (the whole text when none does): what the error report shows.
std::size_t layout_extent(std::string_view text);

template <class Sink>
void Layout::text_of(const Descriptor& d, Sink&& sink) const {
  const char* p = text_.data() + d.text_pos;
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

}  // namespace fourfifths::records
