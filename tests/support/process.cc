#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace fourfifths::testing {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {

using Clock = std::chrono::steady_clock;

std::string temp_name() {
  char name[] = "/tmp/fourfifths-test-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  return name;
}

// Whether the process catches the signal, from the SigCgt mask of /proc.
bool catches(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) != 0) continue;
    const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
    return (mask >> (signal - 1)) & 1;
  }
  return false;
}

// Puts fd at target in the child, without close-on-exec.
void place(int fd, int target) {
  if (fd == target) {
    fcntl(fd, F_SETFD, 0);
  } else {
    dup2(fd, target);
  }
}

void drain(int fd, std::string& into) {
  char buffer[65536];
  for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
    into.append(buffer, static_cast<std::size_t>(got));
}

}  // namespace

Ended spawn(const Spawn& s) {
  int in[2], out[2], err[2], ready[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
      pipe2(ready, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  std::string out_path;
  int stalled_reader = -1;
  if (s.output == Output::file) out_path = temp_name();
  if (s.output == Output::stalled) {
    out_path = temp_name();
    std::remove(out_path.c_str());
    if (mkfifo(out_path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    stalled_reader = open(out_path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  }
  if (s.output == Output::broken_pipe) close(out[0]);

  std::vector<std::string> args = {s.program};
  args.insert(args.end(), s.args.begin(), s.args.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGINT, s.ignore_interrupt ? SIG_IGN : SIG_DFL);
    signal(SIGPIPE, s.ignore_broken_pipe ? SIG_IGN : SIG_DFL);
    if (s.address_space_limit >= 0) {
      const rlimit limit = {static_cast<rlim_t>(s.address_space_limit),
                            static_cast<rlim_t>(s.address_space_limit)};
      setrlimit(RLIMIT_AS, &limit);
    }
    if (s.file_size_limit >= 0) {
      signal(SIGXFSZ, s.file_size_signal ? SIG_DFL : SIG_IGN);
      const rlimit limit = {static_cast<rlim_t>(s.file_size_limit),
                            static_cast<rlim_t>(s.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (s.input_is_directory) {
      place(open("/", O_RDONLY | O_DIRECTORY), 0);
    } else if (!s.input_path.empty()) {
      place(open(s.input_path.c_str(), O_RDONLY), 0);
    } else {
      place(in[0], 0);
    }
    switch (s.output) {
      case Output::pipe:
      case Output::broken_pipe:
        place(out[1], 1);
        break;
      case Output::file:
      case Output::stalled:
        place(open(out_path.c_str(), O_WRONLY | O_TRUNC), 1);
        break;
      case Output::full_device:
        place(open("/dev/full", O_WRONLY), 1);
        break;
      case Output::closed:
        close(1);
        break;
    }
    place(err[1], 2);
    place(ready[1], 3);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  close(ready[1]);

  Ended e;
  int input = in[1];
  std::thread feeder;
  if (!s.endless_input.empty()) {
    // Fed from a thread until the child closes its end (a write then fails
    // with EPIPE, SIGPIPE being ignored here) or is killed.
    signal(SIGPIPE, SIG_IGN);
    feeder = std::thread([&s, input] {
      auto put = [input](const std::string& text) {
        for (std::size_t done = 0; done < text.size();) {
          const ssize_t n = write(input, text.data() + done, text.size() - done);
          if (n <= 0) return false;
          done += static_cast<std::size_t>(n);
        }
        return true;
      };
      if (!put(s.input)) return;
      while (put(s.endless_input)) {
      }
    });
  } else {
    if (!s.input.empty() && write(in[1], s.input.data(), s.input.size()) < 0)
      throw std::runtime_error("write to the child failed");
    if (!s.keep_input_open) {
      close(input);
      input = -1;
    }
  }

  const auto deadline = Clock::now() + std::chrono::seconds(20);
  if (!s.signals.empty()) {
    switch (s.when) {
      case Spawn::When::handlers_installed:
        while (!catches(pid, s.signals.front()) && Clock::now() < deadline)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        break;
      case Spawn::When::ready_byte: {
        pollfd p = {ready[0], POLLIN, 0};
        char byte;
        if (poll(&p, 1, 10000) != 1 || read(ready[0], &byte, 1) != 1)
          throw std::runtime_error("the child never got ready");
        break;
      }
      case Spawn::When::output_stalled: {
        // The FIFO holds what it can take once what it holds stops growing.
        int held = -1;
        for (int before = -2; (held <= 0 || held != before) && Clock::now() < deadline;) {
          before = held;
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
          ioctl(stalled_reader, FIONREAD, &held);
        }
        break;
      }
    }
    // Give it a moment to reach its blocking call.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (std::size_t k = 0; k < s.signals.size(); ++k) {
      if (k > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      kill(pid, s.signals[k]);
    }
  }
  const auto signalled = Clock::now();

  // Collect the piped streams until the child has closed them, or give up.
  const bool piped = s.output == Output::pipe;
  pollfd fds[2] = {{piped ? out[0] : -1, POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&e.out, &e.err};
  int open_streams = piped ? 2 : 1;
  if (!piped && s.output != Output::broken_pipe) close(out[0]);
  while (open_streams > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      e.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[k].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[k]->append(buffer, static_cast<std::size_t>(got));
      } else {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open_streams;
      }
    }
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (feeder.joinable()) feeder.join();
  e.seconds_after_signals = std::chrono::duration<double>(Clock::now() - signalled).count();
  e.exited = WIFEXITED(wstatus);
  if (e.exited) e.status = WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) e.signal = WTERMSIG(wstatus);
  if (stalled_reader >= 0) {
    drain(stalled_reader, e.out);
    close(stalled_reader);
  }
  if (s.output == Output::file || s.output == Output::stalled) {
    if (s.output == Output::file) e.out = read_file(out_path);
    std::remove(out_path.c_str());
  }
  for (int fd : {input, fds[0].fd, fds[1].fd, ready[0]})
    if (fd >= 0) close(fd);
  return e;
}

}  // namespace fourfifths::testing
