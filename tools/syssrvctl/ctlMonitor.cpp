// `monitor`: publishes a monitor socket in the endpoint directory, accepts
// the connections of the sending processes and prints each record.
#include "tools/syssrvctl/ctlMonitor.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <ostream>
#include <vector>

#include <google/protobuf/message.h>

#include "platform/msg/msgSocket.h"
#include "tools/syssrvctl/ctlEndpoint.h"
#include "tools/syssrvctl/ctlText.h"
#include "tools/syssrvctl/syssrvctl.h"

namespace {

constexpr int kSliceMs = 100;
// A link type reserved for private use: analysers show the bytes as they are.
constexpr uint32_t kPcapLinkType = 147;
constexpr size_t kRecordRoom = kMsgMonitorHeaderBytes + 2 * 255 + kMsgMonitorMaxCopy;

std::string typeName(MSG_Type type) {
  const MsgTypeEntry* e = msgUtil_findByType(type);
  return e != nullptr ? e->name : ctlHexType(type);
}

void put32(std::string* out, uint32_t v) { out->append(reinterpret_cast<const char*>(&v), 4); }
void put32be(std::string* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(v >> shift));
}

// One connection of a sending process.
struct Sender {
  int fd;
  uint32_t dropped = 0;
};

}  // namespace

bool ctlMonitorWanted(const CtlMonitorFilter& f, const MsgMonitorRecord& r) {
  if (!f.from.empty() && f.from != r.sender) return false;
  if (!f.to.empty() && f.to != r.receiver) return false;
  return !f.byType || std::regex_search(typeName(r.type), f.type);
}

std::string ctlMonitorText(const MsgMonitorRecord& r, CtlMonitorMask* mask) {
  std::string line = r.sender + " -> " + r.receiver + " ";
  const std::string bytes = std::to_string(r.bytes) + " bytes";
  const MsgTypeEntry* e = msgUtil_findByType(r.type);
  if (e == nullptr || e->prototype == nullptr) return line + ctlHexType(r.type) + " (" + bytes + ")";
  line += e->name;
  if (r.payload.size() < r.bytes) return line + " (" + bytes + ", too long to show)";
  std::unique_ptr<google::protobuf::Message> body(e->prototype()->New());
  if (!body->ParseFromArray(r.payload.data(), static_cast<int>(r.payload.size()))) {
    return line + " (payload does not parse, " + bytes + ")";
  }
  mask->apply(r, body.get());
  std::string fields = ctlFormatSingleLine(*body);
  return fields.empty() ? line : line + " " + fields;
}

std::string ctlPcapFileHeader() {
  std::string h;
  put32(&h, 0xA1B2C3D4u);  // microsecond time stamps, this machine's byte order
  put32(&h, 2u | (4u << 16));  // version 2.4
  put32(&h, 0);  // time zone, accuracy
  put32(&h, 0);
  put32(&h, 0x40000);  // snapshot length
  put32(&h, kPcapLinkType);
  return h;
}

std::string ctlPcapPacket(const MsgMonitorRecord& r) {
  std::string body;
  put32be(&body, r.type);
  put32be(&body, r.sequence);
  body.push_back(static_cast<char>(r.sender.size()));
  body += r.sender;
  body.push_back(static_cast<char>(r.receiver.size()));
  body += r.receiver;
  uint32_t whole = static_cast<uint32_t>(body.size() + r.bytes);
  body.append(r.payload.begin(), r.payload.end());
  std::string p;
  put32(&p, static_cast<uint32_t>(r.timeNs / 1000000000u));
  put32(&p, static_cast<uint32_t>(r.timeNs / 1000u % 1000000u));
  put32(&p, static_cast<uint32_t>(body.size()));
  put32(&p, whole);
  return p + body;
}

int ctlCmdMonitor(const CtlArgs& args, CtlIo& io) {
  CtlMonitorFilter filter;
  filter.from = args.from;
  filter.to = args.to;
  if (args.given & kCtlOptType) {
    try {
      filter.type = std::regex(args.type, std::regex::extended);
      filter.byType = true;
    } catch (const std::regex_error& e) {
      return io.fail(kCtlExitBadInput, "bad --type pattern '" + args.type + "': " + e.what());
    }
  }
  std::ofstream pcap;
  if (args.given & kCtlOptPcap) {
    pcap.open(args.pcap, std::ios::binary | std::ios::trunc);
    if (!pcap) return io.fail(kCtlExitFailed, "cannot write " + args.pcap);
    pcap << ctlPcapFileHeader() << std::flush;
  }
  const std::string dir = msgSocketDir();
  std::string path;
  std::string error;
  int listenFd = msgMonitorListen(dir, &path, &error);
  if (listenFd < 0) return io.fail(kCtlExitFailed, error);
  ctlCatchStopSignals();
  io.err << "syssrvctl: monitoring " << dir << std::endl;

  const bool timed = (args.given & kCtlOptTimeout) != 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(args.timeoutMs);
  std::vector<Sender> senders;
  CtlMonitorMask mask;
  std::vector<uint8_t> buf(kRecordRoom + 1);
  long shown = 0;
  while (!gCtlStop && (args.count == 0 || shown < args.count)) {
    if (timed && std::chrono::steady_clock::now() >= deadline) break;
    std::vector<struct pollfd> fds = {{listenFd, POLLIN, 0}};
    for (const Sender& s : senders) fds.push_back({s.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), kSliceMs) <= 0) continue;
    if (fds[0].revents != 0) {
      int fd;
      while ((fd = accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) senders.push_back({fd});
    }
    for (size_t i = fds.size() - 1; i >= 1; --i) {
      if (fds[i].revents == 0) continue;
      Sender& s = senders[i - 1];
      ssize_t n;
      while ((n = recv(s.fd, buf.data(), buf.size(), MSG_DONTWAIT)) > 0) {
        MsgMonitorRecord r;
        if (!msgMonitorParse(buf.data(), static_cast<size_t>(n), &r)) {
          io.err << "syssrvctl: a malformed record of " << n << " bytes; skipped" << std::endl;
          continue;
        }
        if (r.dropped > s.dropped) {
          io.out << ctlClockText(r.timeNs) << " (" << r.dropped - s.dropped << " messages of " << r.sender
                 << " not shown: the monitor fell behind)\n";
        }
        s.dropped = r.dropped;
        if (!ctlMonitorWanted(filter, r) || (args.count != 0 && shown >= args.count)) continue;
        io.out << ctlClockText(r.timeNs) << ' ' << ctlMonitorText(r, &mask) << '\n';
        if (pcap.is_open()) pcap << ctlPcapPacket(r);
        ++shown;
      }
      io.out.flush();
      if (pcap.is_open()) pcap.flush();
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        close(s.fd);
        senders.erase(senders.begin() + static_cast<long>(i - 1));
      }
    }
  }
  for (const Sender& s : senders) close(s.fd);
  close(listenFd);
  unlink(path.c_str());
  if (args.count > 0 && shown < args.count && !gCtlStop) {
    return io.fail(kCtlExitFailed, "only " + std::to_string(shown) + " of " + std::to_string(args.count) +
                                       " messages came within " + std::to_string(args.timeoutMs) + " ms");
  }
  return kCtlExitOk;
}
