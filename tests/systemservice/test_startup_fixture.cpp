#include "tests/systemservice/test_startup_fixture.h"

#include <cstdlib>
#include <cstring>

#include "ConfigIF.pb.h"
#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "multicodec_util/multicodec_sysids.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"

namespace {

const char kLocal[] = "SystemSrvc";
const char kPeer[] = "ConfigSrvc";
const char kCodecIdFile[] = "/opt/corvale/dat/multicodec_systemid.dat";

// Every variable of the platform's environment that start-up reads.
const char* const kPlatformEnv[] = {"CORVALE_BOARDID", "CORVALE_SERIALNUM", "HARDWARE_VERSION", "DEVFEATURES",
                                    "ENCRYPTION_ENABLE", "PRODUCTLINE", "PROJECTPHASE", "VERSION",
                                    "BUILDNUMBER", "DATETIME", "ORBSCOPE_IP"};

// The dotted name, with "#<n>" behind it for an instance other than 0.
std::string varName(const CfgVar& v) { return v.instance == 0 ? v.name : v.name + "#" + std::to_string(v.instance); }

std::string role(int r) { return std::to_string(r); }

std::string compact(const CfgRequest& r) {
  if (!r.message) return cfgDescribe(r);
  std::string as = " as " + role(r.role);
  if (r.type == kMsgIdConfigIFReadReq) return "read " + varName(r.vars[0]);
  if (r.type == kMsgIdConfigIFWriteReq) {
    std::string value;
    for (size_t i = 0; i < r.values.size(); ++i) value += (i ? "\n" : "") + r.values[i];
    return "write " + varName(r.vars[0]) + " = " + value + as;
  }
  if (r.type == kMsgIdConfigIFSetAccessLevelsReq) {
    std::string entry = "levels";
    for (const CfgVar& v : r.vars) entry += " " + varName(v);
    return entry + as + " read " + (r.hasReadLevel ? role(r.readLevel) : std::string("-")) + " write " +
           (r.hasWriteLevel ? role(r.writeLevel) : std::string("-"));
  }
  if (r.type == kMsgIdConfigIFSetAttributeOptionsReq) {
    const auto& o = static_cast<const ConfigIF::SetAttributeOptionsReq&>(*r.message);
    std::string list;
    for (int i = 0; i < o.node_options_size(); ++i) list += (i ? "|" : "") + o.node_options(i);
    return "options " + varName(r.vars[0]) + as + " [" + list + "] default " + std::to_string(o.default_index());
  }
  if (r.type == kMsgIdConfigIFComponentChangeReq) {
    const auto& c = static_cast<const ConfigIF::ComponentChangeReq&>(*r.message);
    return "component " + c.component_name() + " detach " + (c.detach() ? "1" : "0") + as;
  }
  if (r.type == kMsgIdConfigIFRegisterClientCallbackReq) {
    return "register " + varName(r.vars[0]) + " kind " + std::to_string(r.callbackKind);
  }
  return cfgDescribe(r);
}

}  // namespace

// ---- recording configuration service ----

std::vector<std::string> StartupConfigSrvc::requests() const {
  std::vector<std::string> out;
  for (const CfgRequest& r : FakeConfigSrvc::requests()) out.push_back(compact(r));
  return out;
}

std::vector<std::string> StartupConfigSrvc::requests(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& r : requests()) {
    if (r.compare(0, prefix.size(), prefix) == 0) out.push_back(r);
  }
  return out;
}

std::vector<std::string> StartupConfigSrvc::rawRequests() const {
  std::vector<std::string> out;
  for (const CfgRequest& r : FakeConfigSrvc::requests()) out.push_back(cfgDescribe(r));
  return out;
}

// ---- fixture ----

void StartupTest::SetUp() {
  m_rec = std::make_unique<RecorderSysIo>();
  sysio_install(m_rec.get());
  logmsg_testing_reset();
  m_rec->put_file("/dev/crvllog", "");
  ASSERT_EQ(logmsg_init(0, "syssrv"), 0);
  setenv("MSG_SOCKET_DIR", (m_rec->root() + "/msg").c_str(), 1);
  for (const char* name : kPlatformEnv) unsetenv(name);
  ASSERT_EQ(MSG_OpenLocal(kLocal), 0);
  ASSERT_TRUE(m_cfg.start());
  MSG_Endpoint id = 0;
  // Bounded, unlike the client's own wait: a peer that never appears must
  // fail the test rather than hang it.
  ASSERT_EQ(MSG_OpenRemoteSync(kLocal, kPeer, 10000, &id), 0);
  ASSERT_EQ(syssrvCfgMsgInit(kLocal), 0);

  eModel = kUnknownModel;
  outOfBox = false;
  m_bDevfeatures = false;
  discoverProvisioningTimeout = 0;
  snprintf(ir_filter_sys_file, sizeof ir_filter_sys_file, "%s", "/proc/crvl_ir_fltr");
  gSshBanner.Init();
  // Not a multi-codec unit unless a test says so.
  codecIdFile(nullptr);
  forget();
}

void StartupTest::TearDown() {
  m_cfg.stop();
  MSG_CloseLocal(kLocal);
  for (const char* name : kPlatformEnv) unsetenv(name);
  logmsg_testing_reset();
  sysio_install(nullptr);
  unsetenv("MSG_SOCKET_DIR");
  m_rec.reset();
}

std::vector<std::string> StartupTest::trace() const { return syssrvCallTrace(); }

std::vector<std::string> StartupTest::logLines() const {
  std::vector<std::string> out;
  std::string bytes = m_rec->file_bytes("/dev/crvllog").substr(m_logOffset);
  size_t start = 0;
  for (size_t nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1) {
    out.push_back(bytes.substr(start, nl - start));
  }
  return out;
}

bool StartupTest::logged(int level, const std::string& text, const char* component) const {
  std::string line = "<" + std::to_string(level) + ">syssrv: hd[0]: ";
  if (component != nullptr) line += std::string(component) + ": ";
  line += text;
  for (const std::string& l : logLines()) {
    if (l == line) return true;
  }
  return false;
}

void StartupTest::forget() {
  m_rec->clear();
  syssrvCallTrace_clear();
  m_cfg.clearRequests();
  m_logOffset = m_rec->file_bytes("/dev/crvllog").size();
}

void StartupTest::env(const char* name, const char* value) { setenv(name, value, 1); }

void StartupTest::codecIdFile(const char* text) {
  // Removing the file makes the next read_codec_id read it again.
  remove_codec_id_file();
  if (text != nullptr) m_rec->put_file(kCodecIdFile, text);
  m_logOffset = m_rec->file_bytes("/dev/crvllog").size();
}

int indexOf(const std::vector<std::string>& list, const std::string& entry) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == entry) return static_cast<int>(i);
  }
  return -1;
}
