// reader-sim: a card reader on a pseudo-terminal, for dry runs, the demo and the tests.
// Prints the path of its port as the first line of stdout, then answers requests until
// SIGTERM or SIGINT (or a hang-up it was told to make).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/reader_model.h"

using namespace kavonel::sim;

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 's';
  [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &c, 1);
}

uint32_t NowMs() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

struct Pty {
  int master = -1;
  int slave = -1;  // held open so the master never sees a hang-up between clients
  std::string path;
};

bool OpenPty(Pty& pty) {
  pty.master = posix_openpt(O_RDWR | O_NOCTTY);
  if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) return false;
  char name[256];
  if (ptsname_r(pty.master, name, sizeof name) != 0) return false;
  pty.path = name;
  pty.slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (pty.slave < 0) return false;
  // Raw on the line from the start: no echo of our answers back to us, no line editing.
  termios t{};
  if (tcgetattr(pty.slave, &t) == 0) {
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(pty.slave, TCSANOW, &t);
  }
  fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
  fcntl(pty.master, F_SETFD, FD_CLOEXEC);
  fcntl(pty.slave, F_SETFD, FD_CLOEXEC);
  return true;
}

struct Link {
  std::string path;
  std::string target;
  void Remove() {
    if (path.empty()) return;
    char buf[4096];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n >= 0 && std::string(buf, static_cast<size_t>(n)) == target) unlink(path.c_str());
    path.clear();
  }
};

struct Pending {
  uint32_t due;
  std::vector<uint8_t> bytes;
};

std::optional<unsigned long> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || text[0] == '-') return std::nullopt;
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "reader-sim: a contactless card reader on a pseudo-terminal.\n"
      "Prints the path of its port as the first line of stdout and answers every request\n"
      "frame as a reader of the chosen type would, until SIGTERM or SIGINT.\n"
      "Byte values (commands, statuses) are hexadecimal.",
      "reader-sim"};
  ReaderOptions options;
  std::string linkPath, recordPath, heronLength;
  std::vector<std::string> statusTexts;
  bool silent = false, instant = false, verbose = false;
  unsigned delayMs = 0, idleGapMs = 100;
  std::optional<size_t> truncate;
  std::optional<unsigned> hangUpAfter;
  app.add_option("--type", options.readerType,
                 "reader type: 0 Lark, 1 Tern in Lark compatibility mode, 2 Tern, 3 HERON")
      ->check(CLI::Range(0, 3))
      ->capture_default_str();
  app.add_option("--link", linkPath,
                 "also make a symbolic link to the port at PATH (removed at exit)")
      ->type_name("PATH");
  app.add_option("--record", recordPath,
                 "write every request received to FILE, in hex, one per line")
      ->type_name("FILE");
  app.add_option("--status", statusTexts,
                 "answer CC:SS with status VV; CC or SS may be *; @N: only the N-th such "
                 "request (e.g. --status 04:03=05, --status 18:01=09@2); repeatable")
      ->type_name("CC:SS=VV[@N]");
  app.add_flag("--silent", silent, "never answer (requests are still recorded)");
  app.add_option("--truncate", truncate, "send only the first N bytes of each answer")
      ->type_name("N");
  app.add_option("--stale", options.staleBytes,
                 "send N stale bytes at start and right behind every answer")
      ->type_name("N");
  app.add_option("--hang-up-after", hangUpAfter,
                 "answer N requests; at the next one close the line and exit")
      ->type_name("N");
  app.add_option("--heron-length", heronLength,
                 "HERON version answer declares this data length (e.g. 0xFFFF)")
      ->type_name("N");
  app.add_option("--version-text", options.versionText,
                 "version text of the version answer (Tern: the whole comma text; give "
                 "fewer than three fields, e.g. \"Tern,SN1\", to leave out the version)")
      ->type_name("TEXT");
  app.add_option("--delay", delayMs, "wait MS milliseconds before each answer")
      ->type_name("MS")
      ->capture_default_str();
  app.add_flag("--instant", instant, "answer at once, whatever --delay says");
  app.add_option("--frame-gap", idleGapMs,
                 "give up an incomplete request after MS milliseconds without a byte")
      ->type_name("MS")
      ->capture_default_str();
  app.add_flag("-v,--verbose", verbose, "log every request and answer on stderr");
  app.footer(
      "Examples:\n"
      "  reader-sim --type 3 --link /tmp/kavonel-reader     a HERON reader at a fixed name\n"
      "  reader-sim --status 04:09=05                       reset to default answers 05\n"
      "  reader-sim --truncate 10                           every answer stops after 10 bytes\n"
      "  reader-sim --type 3 --heron-length 0xFFFF          a version length that cannot fit\n"
      "  reader-sim --type 2 --version-text Tern,SN1        a Tern text without a version field");
  CLI11_PARSE(app, argc, argv);

  for (const std::string& text : statusTexts) {
    const std::optional<StatusRule> rule = ParseStatusRule(text);
    if (!rule) {
      std::cerr << "reader-sim: bad --status " << text << " (want CC:SS=VV[@N], hex bytes)\n";
      return 2;
    }
    options.statusRules.push_back(*rule);
  }
  if (!heronLength.empty()) {
    const std::optional<unsigned long> n = ParseNumber(heronLength);
    if (!n || *n > 0xFFFF) {
      std::cerr << "reader-sim: bad --heron-length " << heronLength << " (0 to 0xFFFF)\n";
      return 2;
    }
    options.heronDeclaredLength = static_cast<unsigned>(*n);
  }
  options.truncateAnswers = truncate;
  if (instant) delayMs = 0;

  std::ofstream record;
  if (!recordPath.empty()) {
    record.open(recordPath, std::ios::trunc);
    if (!record) {
      std::cerr << "reader-sim: cannot write " << recordPath << "\n";
      return 2;
    }
  }

  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Pty pty;
  if (!OpenPty(pty)) {
    std::cerr << "reader-sim: cannot open a pseudo-terminal: " << std::strerror(errno) << "\n";
    return 1;
  }
  Link link;
  if (!linkPath.empty()) {
    struct stat st {};
    if (lstat(linkPath.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        std::cerr << "reader-sim: " << linkPath << " exists and is not a symbolic link\n";
        return 2;
      }
      unlink(linkPath.c_str());
    }
    if (symlink(pty.path.c_str(), linkPath.c_str()) != 0) {
      std::cerr << "reader-sim: cannot link " << linkPath << ": " << std::strerror(errno) << "\n";
      return 2;
    }
    link = {linkPath, pty.path};
  }

  ReaderModel reader(options);
  std::deque<Pending> pending;
  std::vector<uint8_t> out;
  FrameSplitter splitter(idleGapMs);
  unsigned requests = 0;

  // Noise on the line before anyone can know where the line is, so it is surely there
  // before the first request.
  const std::vector<uint8_t> noise = reader.StaleBytes();
  if (!noise.empty() && write(pty.master, noise.data(), noise.size()) < 0) {
    std::cerr << "reader-sim: cannot write stale bytes: " << std::strerror(errno) << "\n";
  }
  std::cout << pty.path << std::endl;

  auto finish = [&](int code) {
    close(pty.slave);
    close(pty.master);
    link.Remove();
    return code;
  };

  for (;;) {
    const uint32_t now = NowMs();
    int timeout = splitter.MsUntilIdle(now);
    if (!pending.empty()) {
      const int32_t untilDue = static_cast<int32_t>(pending.front().due - now);
      const int due = untilDue < 0 ? 0 : untilDue;
      timeout = timeout < 0 ? due : std::min(timeout, due);
    }
    pollfd fds[2] = {{pty.master, static_cast<short>(POLLIN | (out.empty() ? 0 : POLLOUT)), 0},
                     {g_signalPipe[0], POLLIN, 0}};
    const int ready = poll(fds, 2, timeout);
    if (ready < 0 && errno != EINTR) return finish(1);
    if (fds[1].revents & POLLIN) return finish(0);

    if (fds[0].revents & POLLIN) {
      uint8_t buf[4096];
      const ssize_t n = read(pty.master, buf, sizeof buf);
      if (n > 0) splitter.Feed(buf, static_cast<size_t>(n), NowMs());
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      // Cannot happen while we hold the slave; never spin if it does.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    while (std::optional<Request> request = splitter.Next(NowMs())) {
      if (record.is_open()) record << HexLine(request->bytes) << std::endl;
      if (verbose) std::cerr << "reader-sim: RX " << HexLine(request->bytes) << "\n";
      if (hangUpAfter && requests == *hangUpAfter) {
        if (verbose) std::cerr << "reader-sim: hanging up\n";
        return finish(0);
      }
      ++requests;
      if (silent) continue;
      pending.push_back({NowMs() + delayMs, reader.Answer(*request)});
    }

    const uint32_t later = NowMs();
    while (!pending.empty() && static_cast<int32_t>(later - pending.front().due) >= 0) {
      if (verbose) std::cerr << "reader-sim: TX " << HexLine(pending.front().bytes) << "\n";
      out.insert(out.end(), pending.front().bytes.begin(), pending.front().bytes.end());
      pending.pop_front();
    }
    while (!out.empty()) {
      const ssize_t n = write(pty.master, out.data(), out.size());
      if (n <= 0) break;  // the line is full: wait for POLLOUT
      out.erase(out.begin(), out.begin() + n);
    }
  }
}
