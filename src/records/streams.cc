// Fixed-field text records: the run's standard streams (unit 5 in, unit 6
// out, unit 0 for diagnostics), over the process's file descriptors or over
// in-memory buffers.
//
// Signal safety of the output block: a record is built or copied into the
// block first and only then counted as finished (out_finished), so a handler
// that hands out [0, out_finished) never sees half a record; the normal hand-out blocks
// the four run-ending signals for its write(2) calls and the reset of the
// count, so a handler never writes the same bytes twice.
#include "records/streams.h"

#include <errno.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

#include "records/records.h"

namespace fourfifths::records {

constinit InputWindow input = {nullptr, nullptr};

namespace {

constexpr std::size_t block_size = 64 * 1024;

// Standard input of a process run, read in blocks.
char in_block[block_size];
bool in_ended = false;  // read(2) reported the end of the data

// Finished records not yet handed to standard output, then the record under
// construction; eight characters beyond the block take the writer's
// overlapping stores.
char out_block[block_size + 8];
volatile std::sig_atomic_t out_finished = 0;

// Set during an in-process run.
const MemoryStreams* memory = nullptr;

// The size of the output block in use: the whole block, or less in an
// in-process run that asks for less.
std::size_t out_capacity = block_size;

// write(2) until everything is out or the descriptor refuses; what standard
// output or standard error accepts is not examined further.
void write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t done = ::write(fd, data, size);
    if (done < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += done;
    size -= static_cast<std::size_t>(done);
  }
}

// Hands one piece to standard output.
void hand_out(const char* data, std::size_t size) {
  if (memory != nullptr) {
    memory->out->append(data, size);
    if (memory->out_pieces != nullptr) memory->out_pieces->push_back(size);
    return;
  }
  write_all(STDOUT_FILENO, data, size);
}

void fatal_signal_set(sigset_t& set) {
  sigemptyset(&set);
  sigaddset(&set, SIGFPE);
  sigaddset(&set, SIGABRT);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
}

}  // namespace

SignalsHeld::SignalsHeld() : held_(memory == nullptr) {
  if (!held_) return;
  sigset_t set;
  fatal_signal_set(set);
  sigprocmask(SIG_BLOCK, &set, &saved_);
}

SignalsHeld::~SignalsHeld() {
  if (held_) sigprocmask(SIG_SETMASK, &saved_, nullptr);
}

std::size_t input_ensure(std::size_t n) {
  std::size_t have = static_cast<std::size_t>(input.end - input.next);
  if (have >= n || memory != nullptr || in_ended) return have;
  // Keep the bytes not yet taken (at most one: a carriage return waiting for
  // the byte after it) at the front of the block and read behind them.
  if (have > 0) std::memmove(in_block, input.next, have);
  input.next = in_block;
  input.end = in_block + have;
  while (have < n) {
    ssize_t got = ::read(STDIN_FILENO, in_block + have, block_size - have);
    if (got < 0) {
      if (errno == EINTR) continue;
      int code = errno > 0 && errno < 100 ? errno : EIO;
      in_ended = true;
      runtime_error(code, "fmt");
    }
    if (got == 0) {
      in_ended = true;
      break;
    }
    have += static_cast<std::size_t>(got);
    input.end = in_block + have;
  }
  return have;
}

void output_record(const char* data, std::size_t size) {
  const std::size_t capacity = out_capacity;
  std::size_t finished = static_cast<std::size_t>(out_finished);
  if (finished + size > capacity) {
    output_flush();
    finished = 0;
  }
  if (size > capacity) {
    SignalsHeld held;
    hand_out(data, size);
    return;
  }
  std::memcpy(out_block + finished, data, size);
  std::atomic_signal_fence(std::memory_order_release);
  out_finished = static_cast<std::sig_atomic_t>(finished + size);
}

OutputSpace output_space() {
  const std::size_t finished = static_cast<std::size_t>(out_finished);
  return {out_block + finished, out_capacity - finished};
}

void output_commit(std::size_t size) {
  const std::size_t finished = static_cast<std::size_t>(out_finished);
  std::atomic_signal_fence(std::memory_order_release);
  out_finished = static_cast<std::sig_atomic_t>(finished + size);
}

OutputSpace output_restart(const char* data, std::size_t size) {
  output_flush();
  std::memmove(out_block, data, size);
  return {out_block, out_capacity};
}

void output_flush() {
  if (out_finished == 0) return;
  SignalsHeld held;
  hand_out(out_block, static_cast<std::size_t>(out_finished));
  out_finished = 0;
}

void output_flush_in_handler() {
  std::size_t finished = static_cast<std::size_t>(out_finished);
  std::atomic_signal_fence(std::memory_order_acquire);
  if (finished == 0) return;
  write_all(STDOUT_FILENO, out_block, finished);
  out_finished = 0;
}

void error_write(const char* data, std::size_t size) {
  if (memory != nullptr) {
    memory->err->append(data, size);
    return;
  }
  write_all(STDERR_FILENO, data, size);
}

void use_memory_streams(const MemoryStreams* streams) {
  memory = streams;
  out_capacity = block_size;
  if (streams != nullptr && streams->out_capacity != 0 && streams->out_capacity < block_size) {
    out_capacity = streams->out_capacity;
  }
  out_finished = 0;
  in_ended = false;
  if (streams != nullptr) {
    input.next = streams->deck.data();
    input.end = streams->deck.data() + streams->deck.size();
  } else {
    input.next = input.end = nullptr;
  }
}

bool in_memory() {
  return memory != nullptr;
}

}  // namespace fourfifths::records
