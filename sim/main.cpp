// reader-sim: a card reader on a pseudo-terminal, for dry runs, the demo and the tests.
// Prints the path of its port as the first line of stdout, then answers requests until
// SIGTERM or SIGINT (or a hang-up it was told to make).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

std::optional<unsigned long> ParseNumber(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || text[0] == '-') return std::nullopt;
  return v;
}

struct ServeConfig {
  ReaderModel reader;
  std::ofstream& record;
  unsigned idleGapMs, delayMs, wireBaud;
  bool silent;
  std::optional<unsigned> silentAfter, hangUpAfter, replugAfterMs;
  unsigned replugGapMs, replugs;
  bool verbose;
};

uint64_t NowUs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// The time bytes take on a line at baud, 10 bits a byte.
uint64_t WireUs(size_t bytes, unsigned baud) {
  return baud == 0 ? 0 : static_cast<uint64_t>(bytes) * 10u * 1000000u / baud;
}

bool MakeLink(const std::string& linkPath, const std::string& target, Link& link) {
  if (linkPath.empty()) return true;
  struct stat st {};
  if (lstat(linkPath.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      std::cerr << "reader-sim: " << linkPath << " exists and is not a symbolic link\n";
      return false;
    }
    unlink(linkPath.c_str());
  }
  if (symlink(target.c_str(), linkPath.c_str()) != 0) {
    std::cerr << "reader-sim: cannot link " << linkPath << ": " << std::strerror(errno) << "\n";
    return false;
  }
  link = {linkPath, target};
  return true;
}

// One reader on a pseudo-terminal until a signal (or a hang-up it was told to make).
// Its path goes to announceFd as one line.
int Serve(ServeConfig c, const std::string& linkPath, int announceFd) {
  Pty pty;
  if (!OpenPty(pty)) {
    std::cerr << "reader-sim: cannot open a pseudo-terminal: " << std::strerror(errno) << "\n";
    return 1;
  }
  Link link;
  if (!MakeLink(linkPath, pty.path, link)) return 2;
  ReaderModel& reader = c.reader;
  struct PendingUs {
    uint64_t due;
    std::vector<uint8_t> bytes;
  };
  std::deque<PendingUs> pending;
  std::vector<uint8_t> out;
  FrameSplitter splitter(c.idleGapMs);
  unsigned requests = 0;
  unsigned replugsLeft = c.replugs;
  uint64_t lastRequestUs = 0;

  // Noise on the line before anyone can know where the line is, so it is surely there
  // before the first request.
  const std::vector<uint8_t> noise = reader.StaleBytes();
  if (!noise.empty() && write(pty.master, noise.data(), noise.size()) < 0) {
    std::cerr << "reader-sim: cannot write stale bytes: " << std::strerror(errno) << "\n";
  }
  // The kernel hands bytes from the master to the slave's queue a moment later: wait
  // until they are there, or a client's purge could come first and miss them.
  for (int tries = 0; !noise.empty() && tries < 1000; ++tries) {
    int queued = 0;
    if (ioctl(pty.slave, FIONREAD, &queued) != 0 || queued >= static_cast<int>(noise.size())) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::string announcement = pty.path + "\n";
  [[maybe_unused]] ssize_t announcedBytes =
      write(announceFd, announcement.data(), announcement.size());
  if (announceFd != STDOUT_FILENO) close(announceFd);

  auto finish = [&](int code) {
    close(pty.slave);
    close(pty.master);
    link.Remove();
    return code;
  };

  for (;;) {
    const uint64_t now = NowUs();
    int64_t timeoutUs = -1;
    const int idle = splitter.MsUntilIdle(NowMs());
    if (idle >= 0) timeoutUs = int64_t{idle} * 1000;
    if (!pending.empty()) {
      const int64_t due =
          pending.front().due > now ? static_cast<int64_t>(pending.front().due - now) : 0;
      timeoutUs = timeoutUs < 0 ? due : std::min(timeoutUs, due);
    }
    const bool replugDue =
        c.replugAfterMs && replugsLeft > 0 && lastRequestUs != 0 && pending.empty() && out.empty();
    if (replugDue) {
      const uint64_t at = lastRequestUs + uint64_t{*c.replugAfterMs} * 1000;
      const int64_t until = at > now ? static_cast<int64_t>(at - now) : 0;
      timeoutUs = timeoutUs < 0 ? until : std::min(timeoutUs, until);
    }
    pollfd fds[2] = {{pty.master, static_cast<short>(POLLIN | (out.empty() ? 0 : POLLOUT)), 0},
                     {g_signalPipe[0], POLLIN, 0}};
    timespec wait{static_cast<time_t>(timeoutUs / 1000000),
                  static_cast<long>(timeoutUs % 1000000) * 1000};
    const int ready = ppoll(fds, 2, timeoutUs < 0 ? nullptr : &wait, nullptr);
    if (ready < 0 && errno != EINTR) return finish(1);
    if (fds[1].revents & POLLIN) return finish(0);

    if (replugDue && NowUs() >= lastRequestUs + uint64_t{*c.replugAfterMs} * 1000) {
      // Unplugged: the port and its link go away; plugged in again: a new port.
      if (c.verbose) std::cerr << "reader-sim: unplugged\n";
      close(pty.slave);
      close(pty.master);
      link.Remove();
      std::this_thread::sleep_for(std::chrono::milliseconds(c.replugGapMs));
      if (!OpenPty(pty) || !MakeLink(linkPath, pty.path, link)) return 1;
      if (c.verbose) std::cerr << "reader-sim: plugged in at " << pty.path << "\n";
      --replugsLeft;
      lastRequestUs = 0;
      splitter = FrameSplitter(c.idleGapMs);
      continue;
    }

    if (fds[0].revents & POLLIN) {
      uint8_t buf[4096];
      const ssize_t n = read(pty.master, buf, sizeof buf);
      if (n > 0) splitter.Feed(buf, static_cast<size_t>(n), NowMs());
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      // Cannot happen while we hold the slave; never spin if it does.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    while (std::optional<Request> request = splitter.Next(NowMs())) {
      lastRequestUs = NowUs();
      if (c.record.is_open()) c.record << HexLine(request->bytes) << std::endl;
      if (c.verbose) std::cerr << "reader-sim: RX " << HexLine(request->bytes) << "\n";
      if (c.hangUpAfter && requests == *c.hangUpAfter) {
        if (c.verbose) std::cerr << "reader-sim: hanging up\n";
        return finish(0);
      }
      ++requests;
      if (c.silent || (c.silentAfter && requests > *c.silentAfter)) continue;
      std::vector<uint8_t> answer = reader.Answer(*request);
      const uint64_t wire = WireUs(request->bytes.size() + answer.size(), c.wireBaud);
      pending.push_back({NowUs() + uint64_t{c.delayMs} * 1000 + wire, std::move(answer)});
    }

    const uint64_t later = NowUs();
    while (!pending.empty() && later >= pending.front().due) {
      if (c.verbose) std::cerr << "reader-sim: TX " << HexLine(pending.front().bytes) << "\n";
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
  std::optional<unsigned> hangUpAfter, silentAfter, replugAfterMs;
  unsigned count = 1, wireBaud = 0, replugGapMs = 200, replugs = 1;
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
  app.add_option("--silent-after", silentAfter, "answer N requests, then fall silent")
      ->type_name("N");
  app.add_option("--count", count,
                 "N readers at once, each on its own pseudo-terminal (one path per line; "
                 "with --link PREFIX the links are PREFIX1 .. PREFIXN)")
      ->type_name("N")
      ->check(CLI::Range(1, 1024));
  app.add_option("--wire-baud", wireBaud,
                 "delay each answer by the time request and answer take on a line at RATE "
                 "(10 bits a byte)")
      ->type_name("RATE")
      ->check(CLI::Range(1, 4000000));
  app.add_option("--replug-after", replugAfterMs,
                 "once the line has been idle MS after a request, vanish (the port and the "
                 "link go away) and come back on a new pseudo-terminal at the same link")
      ->type_name("MS");
  app.add_option("--replug-gap", replugGapMs, "how long a replug stays away")
      ->type_name("MS")
      ->capture_default_str();
  app.add_option("--replugs", replugs, "how many times to replug")->capture_default_str();
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

  if (count > 1 && !recordPath.empty()) {
    std::cerr << "reader-sim: --record takes one reader (no --count)\n";
    return 2;
  }
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

  ReaderModel reader(options);
  const auto serve = [&](const std::string& link, int announceFd) {
    return Serve({reader, record, idleGapMs, delayMs, wireBaud, silent, silentAfter, hangUpAfter,
                  replugAfterMs, replugGapMs, replugs, verbose},
                 link, announceFd);
  };
  if (count == 1) return serve(linkPath, STDOUT_FILENO);

  // Several readers: one process each, so a slow one slows none of the others; their
  // paths are printed in order, one per line. Each path is read before the next reader
  // starts: a thousand readers' pipes held at once would not fit a common open-file limit.
  std::vector<pid_t> children;
  const auto endChildren = [&] {
    for (pid_t pid : children) kill(pid, SIGTERM);
    for (pid_t pid : children) waitpid(pid, nullptr, 0);
  };
  for (unsigned i = 1; i <= count; ++i) {
    int paths[2];
    if (pipe2(paths, O_CLOEXEC) != 0) {
      endChildren();
      return 1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
      close(paths[0]);
      _exit(serve(linkPath.empty() ? std::string() : linkPath + std::to_string(i), paths[1]));
    }
    close(paths[1]);
    if (pid > 0) children.push_back(pid);
    std::string line;
    char c;
    while (pid > 0 && read(paths[0], &c, 1) == 1) {
      line += c;
      if (c == '\n') break;
    }
    close(paths[0]);
    // A reader that could not start (no pseudo-terminal left) ends the whole set: a
    // caller counting on N readers must not get fewer in silence.
    if (line.empty() || line.back() != '\n') {
      std::cerr << "reader-sim: reader " << i << " of " << count << " did not start\n";
      endChildren();
      return 1;
    }
    std::cout << line << std::flush;
  }
  for (;;) {
    pollfd p{g_signalPipe[0], POLLIN, 0};
    if (poll(&p, 1, -1) > 0 && (p.revents & POLLIN)) break;
  }
  endChildren();
  return 0;
}
