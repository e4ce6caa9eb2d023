// ucsim: the board's microcontroller on a real serial line, for the host
// simulation. It opens a pseudo-terminal pair, puts the slave side in raw
// mode as the board's line is, links the slave's name at PATH and answers
// each self-test log request with a page of LOG:
//
//   request  A5 06 sum(3..5) 99 00 page          (page 0..8)
//   response A5 L  sum(3..L-1) CC text...        (L = 4 + text bytes)
//
// Page N is the bytes of LOG from N * 251 on, at most 251 of them (empty
// past the end): the length byte must hold 4 + 251 = 255.
//
//   ucsim --link PATH --log LOG [--bad-checksum] [--bad-marker] [--short]
//         [--silent] [--from-page N]
//
// The lies start at page N (default 0): a checksum one off, a marker other
// than 0xCC, a frame that stops half way through what L announces, or no
// answer at all. A malformed request is dropped with a line on stderr.
// SIGTERM or SIGINT ends it; the link goes with it.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/stopSignals.h"

namespace {

constexpr size_t kPageBytes = 251;
constexpr unsigned kPages = 9;
constexpr size_t kRequestBytes = 6;
constexpr uint8_t kStart = 0xA5;
constexpr uint8_t kReadLog = 0x99;
constexpr uint8_t kMarker = 0xCC;
// Looked at this often so that a stop signal is not kept waiting.
constexpr int kPollMs = 200;

volatile std::sig_atomic_t gStop = 0;
void onStop(int) { gStop = 1; }

struct Options {
  std::string link, log;
  bool badChecksum = false, badMarker = false, shortFrame = false, silent = false;
  unsigned fromPage = 0;
};

uint8_t sum(const std::string& bytes, size_t from) {
  unsigned s = 0;
  for (size_t i = from; i < bytes.size(); ++i) s += static_cast<uint8_t>(bytes[i]);
  return static_cast<uint8_t>(s);
}

std::string response(const Options& o, const std::string& log, unsigned page) {
  const bool lie = page >= o.fromPage;
  std::string text = page * kPageBytes < log.size() ? log.substr(page * kPageBytes, kPageBytes) : "";
  std::string f = {static_cast<char>(kStart), static_cast<char>(4 + text.size()), 0,
                   static_cast<char>(lie && o.badMarker ? kMarker + 1 : kMarker)};
  f += text;
  f[2] = static_cast<char>(sum(f, 3) + (lie && o.badChecksum ? 1 : 0));
  if (lie && o.shortFrame) f.resize(f.size() / 2);
  return f;
}

// The page a complete request asks for, or -1 (with the reason) when the
// six bytes are not one.
int requestedPage(const std::string& r, const char** why) {
  *why = r[1] != static_cast<char>(kRequestBytes) ? "length byte is not 6"
         : r[3] != static_cast<char>(kReadLog) || r[4] != 0 ? "not a self-test log request"
         : static_cast<uint8_t>(r[5]) >= kPages ? "page out of range"
         : static_cast<uint8_t>(r[2]) != sum(r.substr(0, kRequestBytes), 3) ? "bad checksum"
                                                                           : nullptr;
  return *why == nullptr ? static_cast<uint8_t>(r[5]) : -1;
}

void dropped(const std::string& bytes, const char* why) {
  std::fprintf(stderr, "ucsim: dropped request (%s):", why);
  for (unsigned char c : bytes) std::fprintf(stderr, " %02X", c);
  std::fprintf(stderr, "\n");
}

// Answers every complete request in `in`, leaving an incomplete one there.
void serve(int master, const Options& o, const std::string& log, std::string* in) {
  while (!in->empty()) {
    const size_t start = in->find(static_cast<char>(kStart));
    if (start != 0) {
      dropped(in->substr(0, start), "no start byte");
      in->erase(0, start);
    }
    if (in->size() < kRequestBytes) return;
    const std::string req = in->substr(0, kRequestBytes);
    const char* why = nullptr;
    const int page = requestedPage(req, &why);
    in->erase(0, kRequestBytes);
    if (page < 0) {
      dropped(req, why);
      continue;
    }
    std::printf("ucsim: page %d requested%s\n", page, o.silent ? ", not answered" : "");
    std::fflush(stdout);
    if (o.silent) continue;
    const std::string f = response(o, log, static_cast<unsigned>(page));
    if (write(master, f.data(), f.size()) != static_cast<ssize_t>(f.size())) {
      std::fprintf(stderr, "ucsim: writing page %d failed: %s\n", page, std::strerror(errno));
    }
  }
}

bool parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--link" && hasValue) o->link = argv[++i];
    else if (a == "--log" && hasValue) o->log = argv[++i];
    else if (a == "--from-page" && hasValue) o->fromPage = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    else if (a == "--bad-checksum") o->badChecksum = true;
    else if (a == "--bad-marker") o->badMarker = true;
    else if (a == "--short") o->shortFrame = true;
    else if (a == "--silent") o->silent = true;
    else return false;
  }
  return !o->link.empty() && !o->log.empty();
}

// The master side of a raw pseudo-terminal, or -1; *slave stays open so
// the line neither hangs up nor loses its settings between the daemon's
// opens.
int openLine(int* slave, std::string* name) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname(master) == nullptr) return -1;
  *name = ptsname(master);
  *slave = open(name->c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  struct termios t;
  if (*slave < 0 || tcgetattr(*slave, &t) != 0) return -1;
  cfmakeraw(&t);
  return tcsetattr(*slave, TCSANOW, &t) == 0 ? master : -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: ucsim --link PATH --log LOG [--bad-checksum] [--bad-marker] [--short] [--silent] "
                 "[--from-page N]\n");
    return 2;
  }
  std::ifstream f(o.log, std::ios::binary);
  if (!f) {
    std::fprintf(stderr, "ucsim: cannot read %s\n", o.log.c_str());
    return 1;
  }
  const std::string log{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  int slave = -1;
  std::string name;
  const int master = openLine(&slave, &name);
  // A stale link or the placeholder file of the layout gives way.
  unlink(o.link.c_str());
  if (master < 0 || symlink(name.c_str(), o.link.c_str()) != 0) {
    std::fprintf(stderr, "ucsim: cannot set up the line at %s: %s\n", o.link.c_str(), std::strerror(errno));
    return 1;
  }
  catchStopSignals(onStop);
  std::printf("ucsim: serving %s on %s\n", o.link.c_str(), name.c_str());
  std::fflush(stdout);
  std::string in;
  while (!gStop) {
    struct pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, kPollMs) <= 0) continue;
    char buf[256];
    const ssize_t n = read(master, buf, sizeof buf);
    if (n < 0 && errno != EINTR && errno != EAGAIN) {
      std::fprintf(stderr, "ucsim: reading the line failed: %s\n", std::strerror(errno));
      break;
    }
    if (n <= 0) continue;
    in.append(buf, static_cast<size_t>(n));
    serve(master, o, log, &in);
  }
  unlink(o.link.c_str());
  close(slave);
  close(master);
  return 0;
}
