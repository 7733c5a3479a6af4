// A small program on the run frame, spawned by the process tests to see how
// a real run ends: exit statuses, aborts, the error report on standard error,
// the signal handlers, and the report records that reach standard output.
//
//   frame_probe echo     reads "(6I3)" records and writes each back; a first
//                        value of 99 stops the run, 98 returns from the main
//                        routine, 97 ends it quietly, 96 raises SIGFPE
//   frame_probe wait     writes one record, writes one byte to descriptor 3
//                        (the test waits for it), then goes on as echo
//   frame_probe many N   writes N records and returns
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "frame/frame.h"

namespace {

using namespace fourfifths;

int records_wanted = 0;

void echo() {
  StandardInput input;
  StandardOutput output;
  RecordReader in(input);
  RecordWriter out(output);
  for (;;) {
    int32_t v[6] = {};
    Targets targets;
    for (int32_t& x : v) targets.add(x);
    if (!in.read("(6I3)", targets)) runtime_error(in.failure());
    out.write("(' got',6I3)", Items().add(v[0]).add(v[1]).add(v[2]).add(v[3]).add(v[4]).add(v[5]));
    if (v[0] == 99) stop();
    if (v[0] == 98) return;
    if (v[0] == 97) quiet_end("quiet");
    if (v[0] == 96) std::raise(SIGFPE);
  }
}

void wait_then_echo() {
  StandardOutput output;
  RecordWriter(output).write("(' waiting')");
  if (::write(3, "r", 1) != 1) abnormal_end("probe: no ready pipe");
  echo();
}

void many() {
  StandardOutput output;
  RecordWriter out(output);
  for (int32_t k = 1; k <= records_wanted; ++k) out.write("(I6)", Items().add(k));
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "echo";
  if (std::strcmp(mode, "wait") == 0) start_run(argc, argv, wait_then_echo);
  if (std::strcmp(mode, "many") == 0) {
    records_wanted = argc > 2 ? std::atoi(argv[2]) : 0;
    start_run(argc, argv, many);
  }
  start_run(argc, argv, echo);
}
