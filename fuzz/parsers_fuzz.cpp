// The daemon's parsers of text and frames it does not control. The first
// byte picks one, the rest is its input:
//   0  alert datagram on the alert socket (syssrvForwardAlertMessages)
//   1  serial-line answers of the self-test log (getPOSTResults): frames of
//      <length byte><bytes>; with the next byte odd each one is wrapped as a
//      well-formed answer so the log parser behind the checks is reached
//   2  /proc/net/if_inet6 and 3  /proc/net/ipv6_route of the wired device
//   4  /proc/uptime (SystemIFGetSystemTimeReq)
//   5  the USB mount query of the log transfer: "<folder name>\0<output>"
//   6  one configuration value: a variable of fuzzVarNames.inc (next byte),
//      the callback (validate, on-change, changed; the byte after), the
//      instance, then the value, which reads of the variable get as well
//   7  the log facility's filters: lines "+text" / "-text" add and delete a
//      show filter, "c" / "d" the same for cull filters, others are logged
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ConfigIF.pb.h"
#include "OS/logmsg.h"
#include "fuzz/fuzzDaemon.h"
#include "fuzz/fuzzFail.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessageTable.h"
#include "systemservice/syssrvPOSTResults.h"
#include "systemservice/syssrvTime.h"

namespace {

const char* const kVarNames[] = {
#include "fuzz/fuzzVarNames.inc"
};
constexpr size_t kVarCount = sizeof kVarNames / sizeof kVarNames[0];

void alertDatagram(const std::string& in) {
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, sv) != 0) fuzzFail("parsers: socketpair");
  if (send(sv[1], in.data(), in.size(), 0) < 0 && !in.empty()) fuzzFail("parsers: send");
  syssrvForwardAlertMessages(sv[0]);
  close(sv[0]);
  close(sv[1]);
}

void serialAnswers(FuzzDaemon& d, const std::string& in) {
  if (in.empty()) return;
  const bool wrap = in[0] & 1;
  std::vector<std::string> frames;
  for (size_t at = 1; at < in.size() && frames.size() < 9;) {
    size_t len = static_cast<unsigned char>(in[at++]);
    std::string f = in.substr(at, len);
    at += f.size();
    if (wrap) {
      if (f.size() > 252) f.resize(252);
      unsigned sum = 0xCC;
      for (unsigned char c : f) sum += c;
      f = std::string{'\xA5', static_cast<char>(f.size() + 4), static_cast<char>(sum & 0xFF), '\xCC'} + f;
    }
    frames.push_back(f);
  }
  d.rec().serial(frames.data(), frames.size());
  getPOSTResults();
}

void configValue(FuzzDaemon& d, const std::string& in) {
  if (in.size() < 3) return;
  const std::string name = kVarNames[static_cast<unsigned char>(in[0]) % kVarCount];
  const int kind = static_cast<unsigned char>(in[1]) % 3;
  const int instance = static_cast<unsigned char>(in[2]) % 4;
  ConfigIF::InstValue iv;
  ConfigIF::Node* node = iv.mutable_instance()->add_node();
  node->set_name(name);
  node->set_instance(instance);
  // Several values of one variable are joined with line breaks.
  const std::string value = in.substr(3);
  size_t start = 0;
  for (size_t nl; (nl = value.find('\n', start)) != std::string::npos; start = nl + 1) {
    iv.add_value(value.substr(start, nl - start));
  }
  iv.add_value(value.substr(start));
  // The daemon reads the variable back as often as it takes it from the
  // message: both carry the value.
  d.peer().set(name, value, instance);
  std::string bytes;
  if (kind == 0) {
    ConfigIF::DynamicValidateReq r;
    *r.mutable_instance_val() = iv;
    r.set_server_context("ctx");
    bytes = r.SerializeAsString();
    d.deliver(kMsgIdConfigIFDynamicValidateReq, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
              config_dynamic_validate);
  } else if (kind == 1) {
    ConfigIF::OnChangeReq r;
    *r.mutable_instance_val() = iv;
    r.set_server_context("ctx");
    bytes = r.SerializeAsString();
    d.deliver(kMsgIdConfigIFOnChangeReq, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
              config_on_change);
  } else {
    ConfigIF::ConfigChangedNtfy n;
    *n.mutable_instance_val() = iv;
    n.set_name("WebSrvc");
    n.set_role(CommonIF::kAdmin);
    bytes = n.SerializeAsString();
    d.deliver(kMsgIdConfigIFConfigChangedNtfy, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
              config_change_notify);
  }
}

void logFilters(const std::string& in) {
  logmsg_showfilter_delete("*");
  logmsg_cullfilter_delete("*");
  size_t start = 0;
  for (size_t end; start <= in.size(); start = end + 1) {
    end = in.find('\n', start);
    if (end == std::string::npos) end = in.size();
    const std::string line = in.substr(start, end - start);
    const std::string text = line.empty() ? "" : line.substr(1);
    switch (line.empty() ? ' ' : line[0]) {
      case '+': logmsg_showfilter_add(text.c_str()); break;
      case '-': logmsg_showfilter_delete(text.c_str()); break;
      case 'c': logmsg_cullfilter_add(text.c_str()); break;
      case 'd': logmsg_cullfilter_delete(text.c_str()); break;
      default: loginfo("fuzz", "%s\n", line.c_str()); break;
    }
  }
  for (int i = 0; i < logmsg_max_filters(); ++i) {
    if (logmsg_showfilter_get(i) == nullptr || logmsg_cullfilter_get(i) == nullptr) fuzzFail("parsers: no filter text");
  }
  logmsg_showfilter_delete("*");
  logmsg_cullfilter_delete("*");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzDaemon& d = FuzzDaemon::get();
  d.reset();
  const std::string in(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 8) {
    case 0: alertDatagram(in); break;
    case 1: serialAnswers(d, in); break;
    case 2:
      d.rec().put_file("/proc/net/if_inet6", in);
      checkIPv6Addr();
      break;
    case 3:
      d.rec().put_file("/proc/net/ipv6_route", in);
      checkIPv6GatewayAddr();
      break;
    case 4:
      d.rec().put_file("/proc/uptime", in);
      d.deliver(kMsgIdSystemIFGetSystemTimeReq, nullptr, 0, SystemIFGetSystemTimeReq);
      break;
    case 5: {
      const size_t nul = in.find('\0');
      d.peer().set("system.log.spacemonitoring.autotransfer.foldername", in.substr(0, nul));
      d.rec().on("mount | grep '/mnt/extdev/usb' | sed 's@.*\\(/mnt/extdev/usb[0-9]*\\) .*@\\1@'")
          .output(nul == std::string::npos ? "" : in.substr(nul + 1));
      d.deliver(kMsgIdSystemIFLogTransferReq, nullptr, 0, SystemIFLogTransferReq);
      break;
    }
    case 6: configValue(d, in); break;
    default: logFilters(in); break;
  }
  d.checkLog();
  return 0;
}
