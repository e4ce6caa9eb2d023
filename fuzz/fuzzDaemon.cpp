#include "fuzz/fuzzDaemon.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"
#include "fuzz/fuzzFail.h"
#include "OS/os_testing.h"
#include "multicodec_util/multicodec_sysids.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvLogSpace.h"
#include "systemservice/syssrvLogUpload.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/daemon_state.h"

namespace {

const char kLocal[] = "SystemSrvc";
const char kCaller[] = "FuzzCaller";

[[noreturn]] void fail(const char* what) { fuzzFail(std::string("fuzz set-up: ") + what); }

}  // namespace

FuzzSysIo::~FuzzSysIo() {
  if (m_serial >= 0) ::close(m_serial);
}

void FuzzSysIo::serial(const std::string* frames, size_t n) {
  if (m_serial >= 0) ::close(m_serial);
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0) fail("socketpair");
  for (size_t i = 0; i < n; ++i) {
    if (send(sv[1], frames[i].data(), frames[i].size(), MSG_DONTWAIT) < 0) break;
  }
  // Closing the far end leaves the frames readable, then end of file; the
  // requests written to the device go nowhere.
  ::close(sv[1]);
  m_serial = sv[0];
}

int FuzzSysIo::open(const std::string& abs, int flags, mode_t mode) {
  if (abs != "/dev/ttyO1" || m_serial < 0) return RecorderSysIo::open(abs, flags, mode);
  int fd = m_serial;
  m_serial = -1;
  return fd;
}

FuzzDaemon& FuzzDaemon::get() {
  static FuzzDaemon* d = new FuzzDaemon();  // lives as long as the process
  return *d;
}

FuzzDaemon::FuzzDaemon() {
  sysio_install(&m_rec);
  logmsg_testing_reset();
  m_rec.put_file("/dev/crvllog", "");
  if (logmsg_init(0, "syssrv") != 0) fail("logmsg_init");
  setenv("MSG_SOCKET_DIR", (m_rec.root() + "/msg").c_str(), 1);
  m_rec.make_dirs("/tmp");
  if (MSG_OpenLocal(kLocal) != 0 || MSG_OpenLocal(kCaller) != 0) fail("endpoints");
  m_peer.set("system.network.wired.devicename", "eth0");
  if (!m_peer.start()) fail("fake ConfigSrvc");
  MSG_Endpoint id = 0;
  if (MSG_OpenRemoteSync(kLocal, "ConfigSrvc", 10000, &id) != 0) fail("ConfigSrvc link");
  if (syssrvCfgMsgInit(kLocal) != 0) fail("syssrvCfgMsgInit");
  gSshBanner.Init();
  reset();
}

void FuzzDaemon::reset() {
  resetDaemonState();
  snprintf(ir_filter_sys_file, sizeof ir_filter_sys_file, "%s", "/proc/crvl_ir_fltr");
  remove_codec_id_file();
  m_rec.clear();
  m_peer.clearRequests();
}

void FuzzDaemon::deliver(MSG_Type type, const uint8_t* p, size_t n, MSG_CallbackFunc handler) {
  MSG_Message* out = MSG_AllocMsg(type, MSG_GetNextSequence(), static_cast<uint32_t>(n));
  if (out == nullptr) fail("MSG_AllocMsg");
  if (n > 0) memcpy(MSG_GetPayloadMutable(out), p, n);
  MSG_Endpoint to = MSG_GetRemoteId(kCaller, kLocal);
  if (to == 0 || MSG_SendMsg(kCaller, to, out) != 0) fail("send to SystemSrvc");
  MSG_Message* in = MSG_RecvMsg(kLocal, type, 5000);
  if (in == nullptr) fail("the message did not arrive");
  handler(nullptr, in);
  MSG_ReleaseMsg(in);
  drain();
}

void FuzzDaemon::checkLog() {
  const std::string log = m_rec.file_bytes("/dev/crvllog");
  const std::string prefix = "syssrv: hd[0]: ";
  for (size_t at = 0; at < log.size();) {
    size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(at, end - at);
    // Empty lines carry nothing: some texts end in a line break of their
    // own (the broadcasts' command lines) and are logged with one more.
    const bool prefixed = line.size() >= 3 + prefix.size() && line[0] == '<' && line[2] == '>' &&
                          line.compare(3, prefix.size(), prefix) == 0;
    if (!line.empty() && !prefixed) {
      fuzzFail("a log line without the prefix: \"" + line + "\"\nlog:\n" + log);
    }
    at = end + 1;
  }
  // The facility writes at its descriptor's offset: it starts again on the
  // emptied file.
  logmsg_testing_reset();
  m_rec.put_file("/dev/crvllog", "");
  if (logmsg_init(0, "syssrv") != 0) fail("logmsg_init");
}

void FuzzDaemon::drain() {
  for (const char* ep : {kCaller, kLocal}) {
    while (MSG_Message* m = MSG_RecvAnyMsg(ep, 0)) MSG_ReleaseMsg(m);
  }
}
