// The unit's identity: the model from the board id, the model name and
// configuration component, the build and hardware variables the platform
// hands over in the environment, the link-local address, and the access
// levels that follow from the stored settings.
//
// Commands issued (results ignored):
//   start adbd                                  DEVFEATURES=true
//   ip addr show dev eth0 | busybox sed -n 's/.*inet6 \(.*\) scope link.*/\1/p'
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OS/logmsg.h"
#include "multicodec_util/multicodec_sysids.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvAccessLevels.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvStartup.h"

namespace {

// One environment variable set by the platform before start and where its
// value goes. Identity values are written as kStartup so that no user or
// administrator can change them afterwards.
struct syssrvEnvRow {
  const char* env;
  const char* var;          // copied here unless `apply` is set
  const char* missingText;  // error line when the variable is not set at all
  const char* blankText;    // line logged at blankLevel when it is set but empty
  int blankLevel;
  void (*before)();                                      // runs first, set or not
  void (*apply)(const syssrvEnvRow& row, const char* value);  // instead of the copy
  void (*after)();                                       // runs last, set or not
};

void applyDevFeatures(const syssrvEnvRow& row, const char* value);
void markEncryptionKnown();
void applyEncryption(const syssrvEnvRow& row, const char* value);

// In this order: the human-readable version needs the build variables
// before it, and the board id (row 0) is handled by getPlatformModel.
const syssrvEnvRow kEnvTable[] = {
    {"CORVALE_BOARDID", "system.info.model", "CORVALE_BOARDID not set in environment.",
     "CORVALE_BOARDID is blank.", LOG_LEVEL_ERR, nullptr, nullptr, nullptr},
    {"CORVALE_SERIALNUM", "system.info.serialnumber", "CORVALE_SERIALNUM not set in environment.",
     "CORVALE_SERIALNUM is blank.", LOG_LEVEL_ERR, nullptr, nullptr, nullptr},
    {"HARDWARE_VERSION", "system.info.hardwareversion", "HARDWARE_VERSION not set in environment.",
     "HARDWARE_VERSION is blank.", LOG_LEVEL_ERR, nullptr, nullptr, nullptr},
    {"DEVFEATURES", "system.info.devfeatures", "DEVFEATURES is not set in environment.", "DEVFEATURES is blank.",
     LOG_LEVEL_DEBUG, nullptr, applyDevFeatures, nullptr},
    {"ENCRYPTION_ENABLE", nullptr, "ENCRYPTION_ENABLE is not set in environment.", "ENCRYPTION_ENABLE is blank.",
     LOG_LEVEL_DEBUG, markEncryptionKnown, applyEncryption, nullptr},
    {"PRODUCTLINE", "system.info.system", "PRODUCTLINE not set in environment.", nullptr, 0, nullptr, nullptr,
     nullptr},
    {"PROJECTPHASE", "system.info.buildtype", "PROJECTPHASE not set in environment.", nullptr, 0, nullptr, nullptr,
     nullptr},
    {"VERSION", "system.info.version", "VERSION not set in environment.", nullptr, 0, nullptr, nullptr, nullptr},
    {"BUILDNUMBER", "system.info.build", "BUILDNUMBER not set in environment.", nullptr, 0, nullptr, nullptr,
     SetHumanVersion},
    {"DATETIME", "system.info.builddate", "DATETIME not set in environment.", nullptr, 0, nullptr, nullptr,
     nullptr},
};

// The value of the row's variable, or null when it is not set; both the
// absence and a blank value are logged.
const char* envValue(const syssrvEnvRow& row) {
  const char* value = getenv(row.env);
  if (value == nullptr) {
    logerr(nullptr, "%s\n", row.missingText);
    return nullptr;
  }
  if (value[0] == '\0' && row.blankText != nullptr) logmsg(row.blankLevel, nullptr, "%s\n", row.blankText);
  return value;
}

void applyDevFeatures(const syssrvEnvRow& row, const char* value) {
  if (strcmp(value, "true") != 0) {
    config_write(row.var, "false", kStartup);
    return;
  }
  m_bDevfeatures = true;
  config_write(row.var, "true", kStartup);
  // Developer units are reached over the debug bridge.
  sysio().system("start adbd");
}

void markEncryptionKnown() { config_write("system.info.encryptionenable", "True", kStartup); }

// A build without media encryption must not offer it: calls are never
// encrypted, the choice is fixed at "Off" for everyone but start-up, and
// the web interface is reachable over plain HTTP.
void applyEncryption(const syssrvEnvRow& /*row*/, const char* value) {
  if (strcmp(value, "false") != 0) {
    config_write("security.remoteaccess.web.httpenabled", "False", kStartup);
    return;
  }
  const char kEncryption[] = "comm.Callsetting.callFeatures.encryptionenable";
  config_write("security.remoteaccess.web.httpenabled", "True", kStartup);
  config_write(kEncryption, "Off", kStartup);
  config_options_t options;
  memset(&options, 0, sizeof options);
  snprintf(options.option[0], sizeof options.option[0], "%s", "Off");
  options.numOptions = 1;
  options.defaultIndex = 0;
  config_set_options(kEncryption, &options, kStartup);
  config_setAccessLevels(kEncryption, 0, kStartup, kStartup, kStartup);
  config_write("management.provisioning.ubootencyptionenabled", "False", kStartup);
}

// Runs through a shell on the unit; the backslashes belong to sed.
const char kLinkLocalQuery[] = "ip addr show dev eth0 | busybox sed -n 's/.*inet6 \\(.*\\) scope link.*/\\1/p'";
// The longest IPv6 link-local address text, without a zone, fits.
constexpr int kLinkLocalLen = 32;

void publishLinkLocalAddress() {
  FILE* pipe = sysio().popen(kLinkLocalQuery, "r");
  if (pipe == nullptr) {
    logerr(nullptr, "IPv6 link local address query failed.\n");
    return;
  }
  char address[kLinkLocalLen] = "";
  if (fgets(address, sizeof address, pipe) == nullptr) address[0] = '\0';
  sysio().pclose(pipe);
  address[strcspn(address, "\r\n")] = '\0';
  config_write("system.network.wired.ipv6nic.linklocal", address, kStartup);
}

// The access-level rules whose controlling settings are stored, applied
// once with the stored values (rows without a variable take none).
struct syssrvAccessRow {
  const char* var;
  void (*rule)(const std::string& value);
};

const syssrvAccessRow kStartupAccessRules[] = {
    {"system.network.wired.ipv4nic.mode", set_ipv4_access_levels},
    {"system.network.wired.ethernet.autoneg", set_autoneg_access_levels},
    {"system.network.wired.dot1x.enabled", set_dot1x_access_levels},
    {"system.network.wired.vlan.enabled", set_vlan_access_levels},
    {nullptr, [](const std::string&) { set_ipv6_access_levels(); }},
    {"time.timeserver.mode", set_timeserver_access_levels},
    {"system.log.spacemonitoring.enable", [](const std::string& v) { set_logspace_monitor_access_levels(v); }},
    {"system.log.remotelog.enabled", set_remote_log_access_levels},
    // Nothing is in a call yet; the time settings start unlocked.
    {nullptr, [](const std::string&) { set_in_call_access_levels(false); }},
};

// The controlling values are short words; 63 characters is plenty.
constexpr int kRuleValueLen = 64;

void applyStartupAccessLevels() {
  for (const syssrvAccessRow& row : kStartupAccessRules) {
    char value[kRuleValueLen] = "";
    if (row.var != nullptr) config_read(row.var, value, sizeof value, nullptr);
    row.rule(value);
  }
}

// Multi-codec system types and the model names they give.
constexpr int kSystemTypeLen = 64;

}  // namespace

eModelT getPlatformModel() {
  const syssrvEnvRow& row = kEnvTable[0];
  const char* boardId = envValue(row);
  if (boardId == nullptr) return kUnknownModel;
  config_write(row.var, boardId, kStartup);
  // An Orbscope address marks an Atrium whatever the board id says. Shorter
  // texts are placeholders: the shortest IPv4 address has seven characters.
  const char* orbscope = getenv("ORBSCOPE_IP");
  if (orbscope != nullptr && strlen(orbscope) > 6) return kAspen;
  for (int i = kNumModels - 1; i > 0; --i) {
    if (strcasecmp(modelInfo[i].boardId, boardId) == 0) return modelInfo[i].model;
  }
  return kUnknownModel;
}

void init_humanReadableModel() {
  int index = static_cast<int>(eModel);
  if (index < 0 || index >= kNumModels) index = kUnknownModel;
  const syssrvModelInfo& row = modelInfo[index];
  std::string name = row.humanReadableModel;
  const char* component = row.component;

  uint32_t systemId = 0;
  int rc = read_codec_id(&systemId);
  logdebug(nullptr, "%s system mode %d return value %d\n", "init_humanReadableModel", static_cast<int>(systemId), rc);
  if (rc == kCodecIdOk) {
    // Part of a multi-codec system: the system, not the board, names the
    // unit, and the first codec (id 0) is the one the others follow.
    component = systemId != 0 ? "multicodecsecondary" : "multicodecprimary";
    char systemType[kSystemTypeLen] = "";
    config_read("system.systemmode.systemtype", systemType, sizeof systemType, nullptr);
    if (strcasecmp(systemType, "Panorama Studio") == 0) {
      name = "TrueSummit Panorama Studio";
    } else if (strcasecmp(systemType, "ZRA 300") == 0) {
      // This system type has no engine mode.
      config_write("system.systemmode.enableitpenginemode", "False", kStartup);
      name = "TrueSummit ZRA Studio";
    } else {
      name = "TrueSummit System";
    }
  }
  config_write("system.info.humanreadablemodel", name.c_str(), kStartup);
  config_component_change(component, false, kStartup);

  char engineMode[kRuleValueLen] = "";
  if (config_read("system.systemmode.enableitpenginemode", engineMode, sizeof engineMode, nullptr) == 0 &&
      strcmp(engineMode, "True") == 0) {
    config_component_change("multicodecenginemode", false, kStartup);
  }
}

void SetHumanVersion() {
  char buildType[16] = "";
  char version[64] = "";
  char profile[16] = "";
  char build[16] = "";
  config_read("system.info.buildtype", buildType, sizeof buildType, nullptr);
  config_read("system.info.version", version, sizeof version, nullptr);
  config_read("security.profile", profile, sizeof profile, nullptr);
  config_read("system.info.build", build, sizeof build, nullptr);

  char human[sizeof buildType + sizeof version + sizeof build + 8];
  // The maximum security profile shows users no build number; the standard
  // version below keeps it for support.
  if (strcmp(profile, "Maximum") == 0) {
    snprintf(human, sizeof human, "%s - %s", buildType, version);
  } else {
    snprintf(human, sizeof human, "%s - %s-%s", buildType, version, build);
  }
  config_write("system.info.humanreadableversion", human, kStartup);

  char standard[sizeof human];
  snprintf(standard, sizeof standard, "%s - %s-%s", buildType, version, build);
  config_write("system.info.crvlstandardversion", standard, kStartup);
}

void initSystemConfig() {
  eModel = getPlatformModel();
  init_humanReadableModel();

  constexpr size_t kRows = sizeof kEnvTable / sizeof kEnvTable[0];
  for (size_t i = 1; i < kRows; ++i) {
    const syssrvEnvRow& row = kEnvTable[i];
    if (row.before != nullptr) row.before();
    const char* value = envValue(row);
    if (value != nullptr) {
      if (row.apply != nullptr) {
        row.apply(row, value);
      } else {
        config_write(row.var, value, kStartup);
      }
    }
    if (row.after != nullptr) row.after();
  }

  publishLinkLocalAddress();
  applyStartupAccessLevels();
}
