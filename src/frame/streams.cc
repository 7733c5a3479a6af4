// The run frame's standard streams: unit 5 in, unit 6 out, unit 0 for
// diagnostics.
//
// Output: finished records collect in one block. It goes out in pieces that
// end at a record's end; to a pipe, a socket or a terminal each piece is at
// most PIPE_BUF bytes, which a pipe takes whole or not at all, so that a
// signal that ends the run during a write never leaves half a record behind.
// The handler hands out what is finished and not yet out only when no write
// is under way (the interrupted write may or may not have taken its piece),
// and only as far as standard output takes it without waiting: an
// interrupt takes effect even while the reader of the report has stopped
// reading. Signals are never blocked.
#include "frame/streams.h"

#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "frame/frame.h"

namespace fourfifths {
namespace frame {
namespace {

constexpr std::size_t block_size = 64 * 1024;

constinit OperationState state = {unit_stdin, true, false, {}};

// Finished records: [0, out_finished), of which [0, out_sent) are out.
char out_block[block_size];
volatile std::sig_atomic_t out_finished = 0;
volatile std::sig_atomic_t out_sent = 0;
volatile std::sig_atomic_t out_writing = 0;  // a write(2) to standard output is under way
volatile std::sig_atomic_t out_failed = 0;   // standard output refused a write
constinit std::size_t out_piece = 0;         // the largest piece; 0 until known

// The largest piece of one write(2): a whole block to a file, PIPE_BUF
// anywhere a signal may cut a write short.
std::size_t piece_limit() {
  if (out_piece == 0) {
    struct stat st = {};
    out_piece = fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode) ? block_size : PIPE_BUF;
  }
  return out_piece;
}

// The length of the next piece of [from, to): up to limit bytes, ending
// after a line feed when one lies within them.
std::size_t piece_of(std::size_t from, std::size_t to, std::size_t limit) {
  std::size_t n = to - from;
  if (n <= limit) return n;
  for (std::size_t k = limit; k > 0; --k)
    if (out_block[from + k - 1] == '\n') return k;
  return limit;
}

void mark(volatile std::sig_atomic_t& flag, std::size_t value) {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  flag = static_cast<std::sig_atomic_t>(value);
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

}  // namespace

const OperationState& operation() {
  return state;
}

void output_flush() {
  if (out_failed) return;
  const std::size_t limit = piece_limit();
  for (;;) {
    const auto sent = static_cast<std::size_t>(out_sent);
    const auto finished = static_cast<std::size_t>(out_finished);
    if (sent == finished) break;
    const std::size_t n = piece_of(sent, finished, limit);
    mark(out_writing, 1);
    const ssize_t done = ::write(STDOUT_FILENO, out_block + sent, n);
    const int error = errno;
    if (done > 0) mark(out_sent, sent + static_cast<std::size_t>(done));
    mark(out_writing, 0);
    if (done < 0 && error == EINTR) continue;
    if (done <= 0) {
      // The report is lost from here on: say so, on the unit that refused.
      mark(out_failed, 1);
      state.unit = unit_stdout;
      state.reading = false;
      runtime_error(done < 0 && error > 0 && error < 100 ? error : EIO, "write");
    }
  }
  mark(out_finished, 0);
  mark(out_sent, 0);
}

void output_flush_in_handler() {
  if (out_writing || out_failed) return;
  auto sent = static_cast<std::size_t>(out_sent);
  const auto finished = static_cast<std::size_t>(out_finished);
  while (sent < finished) {
    struct pollfd ready = {STDOUT_FILENO, POLLOUT, 0};
    if (poll(&ready, 1, 0) != 1 || (ready.revents & POLLOUT) == 0) return;
    const std::size_t n = piece_of(sent, finished, PIPE_BUF);
    const ssize_t done = ::write(STDOUT_FILENO, out_block + sent, n);
    if (done <= 0) return;
    sent += static_cast<std::size_t>(done);
    out_sent = static_cast<std::sig_atomic_t>(sent);
  }
}

void error_write(std::string_view text) {
  const char* data = text.data();
  std::size_t size = text.size();
  while (size > 0) {
    const ssize_t done = ::write(STDERR_FILENO, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += done;
    size -= static_cast<std::size_t>(done);
  }
}

}  // namespace frame

void StandardInput::begin_operation(std::string_view layout) {
  frame::state = {unit_stdin, true, true, layout};
}

std::size_t StandardInput::fill(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR) continue;
    runtime_error(errno > 0 && errno < 100 ? errno : EIO, "fmt");
  }
}

void StandardOutput::begin_operation(std::string_view layout) {
  frame::state = {unit_stdout, false, true, layout};
}

void StandardOutput::end_operation() {
  frame::state.active = false;
}

void StandardOutput::put(std::string_view record) {
  using namespace frame;
  while (!record.empty()) {
    auto finished = static_cast<std::size_t>(out_finished);
    if (finished + record.size() > block_size && finished > 0) {
      output_flush();
      finished = 0;
    }
    // A record longer than the block goes out a block at a time.
    const std::size_t n = record.size() < block_size ? record.size() : block_size;
    std::memcpy(out_block + finished, record.data(), n);
    mark(out_finished, finished + n);
    record.remove_prefix(n);
    if (!record.empty()) output_flush();
  }
}

}  // namespace fourfifths
