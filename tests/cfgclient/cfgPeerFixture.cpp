#include "tests/cfgclient/cfgPeerFixture.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvCfgMsg.h"
#include "tests/arch/exec_wrapper.h"

namespace {

std::string toHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string fromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(strtol(hex.substr(i, 2).c_str(), nullptr, 16)));
  }
  return out;
}

}  // namespace

PeerStep& PeerStep::reply(const google::protobuf::Message& rsp) {
  return replyRaw(msgUtil_getMsgId(rsp), rsp.SerializeAsString());
}

PeerStep& PeerStep::replyRaw(MSG_Type type, const std::string& payload) {
  char t[16];
  snprintf(t, sizeof t, "%x", type);
  if (!m_line.empty()) m_line += " ";
  m_line += std::string("reply:") + t + ":" + toHex(payload);
  return *this;
}

PeerStep silent() { return PeerStep(); }

PeerStep answer(const google::protobuf::Message& rsp) { return PeerStep().reply(rsp); }

void CfgClientTest::SetUp() {
  m_rec = std::make_unique<RecorderSysIo>();
  sysio_install(m_rec.get());
  logmsg_testing_reset();
  m_rec->put_file("/dev/crvllog", "");
  ASSERT_EQ(logmsg_init(0, "syssrv"), 0);
  m_sockDir = m_rec->root() + "/msg";
  m_recordFile = m_rec->root() + "/requests.txt";
  setenv("MSG_SOCKET_DIR", m_sockDir.c_str(), 1);
  ASSERT_EQ(MSG_OpenLocal(kLocal), 0);
}

void CfgClientTest::TearDown() {
  MSG_CloseLocal(kLocal);
  if (m_peer > 0) {
    kill(m_peer, SIGKILL);
    int status = 0;
    waitpid(m_peer, &status, 0);
    m_peer = -1;
  }
  logmsg_testing_reset();
  sysio_install(nullptr);
  unsetenv("MSG_SOCKET_DIR");
  m_rec.reset();
}

void CfgClientTest::startFakePeer(const std::vector<PeerStep>& steps) {
  std::string scriptFile = m_rec->root() + "/script.txt";
  {
    std::ofstream script(scriptFile);
    for (const PeerStep& s : steps) script << s.line() << "\n";
  }
  startProcess({CFG_FAKE_PEER, "ConfigSrvc", scriptFile, m_recordFile});
}

void CfgClientTest::startProcess(const std::vector<std::string>& argv) {
  ASSERT_LT(m_peer, 0) << "one peer per test";
  // Made before the fork: the child of a threaded test only execs.
  std::vector<std::string> words = archExecArgv(argv);
  std::vector<char*> args;
  for (std::string& w : words) args.push_back(&w[0]);
  args.push_back(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execv(args[0], args.data());
    _exit(127);
  }
  m_peer = pid;
  waitForService();
}

void CfgClientTest::waitForService() {
  // A bounded wait first: the client's own wait has no limit, and a peer
  // that failed to start must fail the test, not hang it.
  MSG_Endpoint id = 0;
  ASSERT_EQ(MSG_OpenRemoteSync(kLocal, "ConfigSrvc", 10000, &id), 0) << "ConfigSrvc did not appear";
  ASSERT_EQ(syssrvCfgMsgInit(kLocal), 0);
}

std::vector<PeerRecord> CfgClientTest::records() const {
  std::vector<PeerRecord> out;
  std::ifstream in(m_recordFile);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string type;
    std::string hex;
    words >> type >> hex;
    PeerRecord r;
    r.type = static_cast<MSG_Type>(strtoul(type.c_str(), nullptr, 16));
    r.payload = fromHex(hex);
    out.push_back(r);
  }
  return out;
}

std::vector<std::string> CfgClientTest::logLines() const {
  std::vector<std::string> out;
  std::string bytes = m_rec->file_bytes("/dev/crvllog");
  size_t start = 0;
  for (size_t nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1) {
    out.push_back(bytes.substr(start, nl - start));
  }
  return out;
}

bool CfgClientTest::isLogLine(const std::string& line, int level, const std::string& func, const std::string& text) {
  const std::string head = "<" + std::to_string(level) + ">syssrv: hd[0]: " + func + ":";
  if (line.compare(0, head.size(), head) != 0) return false;
  size_t pos = head.size();
  size_t digits = 0;
  while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
    ++pos;
    ++digits;
  }
  return digits > 0 && line.substr(pos) == ": " + text;
}

::testing::AssertionResult sameRequest(const PeerRecord& got, const google::protobuf::Message& expected) {
  MSG_Type type = msgUtil_getMsgId(expected);
  if (got.type != type) {
    return ::testing::AssertionFailure() << "type 0x" << std::hex << got.type << ", expected 0x" << type << " ("
                                         << expected.GetTypeName() << ")";
  }
  std::unique_ptr<google::protobuf::Message> parsed(expected.New());
  if (!parsed->ParseFromString(got.payload)) return ::testing::AssertionFailure() << "payload does not parse";
  if (parsed->ShortDebugString() != expected.ShortDebugString()) {
    return ::testing::AssertionFailure() << "got {" << parsed->ShortDebugString() << "}, expected {"
                                         << expected.ShortDebugString() << "}";
  }
  if (got.payload != expected.SerializeAsString()) return ::testing::AssertionFailure() << "payload bytes differ";
  return ::testing::AssertionSuccess();
}

long msSince(std::chrono::steady_clock::time_point t0) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
}
