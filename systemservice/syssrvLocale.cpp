// Time zone, time format, language and country.
//
// Commands run (with a shell, 128-byte lines):
//   setprop persist.sys.timezone <zone>
//   setprop persist.sys.country <ISO code>
//   am broadcast -a corvale.intent.action.setup.SET_TIMEZONE --es timezone <zone>
//   am broadcast -a corvale.intent.action.setup.SET_LOCALE --es locale <locale>
// Variables written (role kSystem): location.country, system.videostandard,
// comm.Callsetting.dialplan.countrycode, the default of
// sourceman.powerfrequency.
// Messages sent: SystemIF.TimeFormatNtfy; on the Aspen, PlatformIF.ComponentReq
// to the camera behind "PortController".
#include "systemservice/syssrvLocale.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "CommonIF.pb.h"
#include "OS/logmsg.h"
#include "PlatformIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvQuote.h"
#include "systemservice/syssrvTime.h"

namespace {

constexpr size_t kCommandLen = 128;  // the command buffer, terminator included
constexpr int kValueLen = 64;        // configuration values are read as 63 characters
// Moving the rest of a zone key over a "__" moves at most this many bytes.
constexpr size_t kZoneMoveLen = 128;

const char kTimezoneProp[] = "setprop persist.sys.timezone";
const char kCountryProp[] = "setprop persist.sys.country";
const char kSetTimezoneAction[] = "corvale.intent.action.setup.SET_TIMEZONE";
const char kSetLocaleAction[] = "corvale.intent.action.setup.SET_LOCALE";
const char kCameraComponent[] = "SysSrv";

// Zone keys that are not Olson names written with "_"; compared exactly.
const struct {
  const char* key;
  const char* name;
} kSpecialZones[] = {
    {"EST", "EST5EDT"},
    {"CST", "CST6CDT"},
    {"MST", "MST7MDT"},
    {"PST", "PST8PDT"},
    {"Etc_GMTMINUS12", "Etc/GMT+12"},
    {"BAJA", "Mexico/BajaNorte"},
    {"Asia_Mumbai", "Asia/Calcutta"},
};

// The two Chinese scripts are told apart by the country property as well.
const struct {
  const char* language;
  const char* country;
} kLanguageCountries[] = {
    {"CHINESE", "China"},
    {"CHINESET", "Taiwan"},
};

// The first "_" becomes "/", then the first "__" loses one "_".
void convert_zone_key(char* s) {
  char* slash = std::strchr(s, '_');
  if (slash != nullptr) *slash = '/';
  char* twin = std::strstr(s, "__");
  if (twin != nullptr) std::memmove(twin, twin + 1, std::min(std::strlen(twin + 1) + 1, kZoneMoveLen));
}

std::string broadcast_line(const char* action, const char* extra, const std::string& word) {
  return std::string("am broadcast -a ") + action + " --es " + extra + " " + word + "\n";
}

// The log shows the command with its own newline; one inside a quoted
// value is escaped so that it cannot pass for a line of its own.
void run_broadcast(const std::string& line) {
  logdebug(nullptr, "doing AM command: %s\n", (log_text(line.substr(0, line.size() - 1)) + "\n").c_str());
  sysio().system(line);
}

// A zone reaches two command lines. Every zone the appliance knows, the
// tables' keys once converted and the Olson names of the time-zone
// database, is a plain word (letters, digits, "/", "_", "-", "+") that
// shell_word passes on byte for byte, so known zones need no look-up: the
// database is not asked (the device bundles it in one file, and a peer may
// know a newer zone than this unit). Any other text becomes one quoted word
// and can never start a second command. Empty text, and a zone whose lines
// would not fit the command buffer, are refused rather than cut: a cut quote
// is no longer the value, nor a cut name the zone.
bool apply_android_timezone(const char* tz, int is_init) {
  const std::string zone = tz != nullptr ? tz : "";
  logdebug(nullptr, "set_timezone %s\n", log_text(zone).c_str());
  if (zone.empty()) {
    logwarn(nullptr, "set_timezone: no zone given, ignoring\n");
    return false;
  }
  const std::string word = shell_word(zone);
  const std::string prop = std::string(kTimezoneProp) + " " + word + "\n";
  const std::string am = broadcast_line(kSetTimezoneAction, "timezone", word);
  if (prop.size() >= kCommandLen || am.size() >= kCommandLen) {
    logwarn(nullptr, "set_timezone: a zone of %zu characters does not fit a command line, ignoring\n", zone.size());
    return false;
  }
  sysio().system(prop);
  if (!is_init) run_broadcast(am);
  return true;
}

// The Aspen's camera keeps its own clock zone.
void send_camera_timezone(const char* name) {
  PlatformIF::ComponentReq req;
  req.set_component_id("cam1");
  PlatformIF::PeripheralMessage* peripheral = req.mutable_peripheral_message();
  peripheral->set_command(CommonIF::eConfigData);
  PlatformIF::KeyDataPair* pair = peripheral->add_keydata();
  pair->set_key(PlatformIF::eCFG_TimeZone);
  pair->set_data_string(name);
  loginfo(kCameraComponent, "%s: %s \n", "set_timezone", req.ShortDebugString().c_str());
  MSG_Message* msg = msgUtil_buildMsg(req, MSG_GetNextSequence(), nullptr);
  const MSG_Endpoint camera = MSG_GetRemoteId(kSyssrvEndpoint, "PortController");
  bool sent = false;
  if (msg != nullptr && camera == 0) {
    MSG_ReleaseMsg(msg);
  } else if (msg != nullptr) {
    sent = MSG_SendMsg(kSyssrvEndpoint, camera, msg) == 0;
  }
  if (!sent) logerr(kCameraComponent, "%s: Error sending config data to Orbscope!\n", "set_timezone");
}

const lang_conv_t* find_language(const char* language) {
  for (const lang_conv_t* row = lang_conv_table; row->language != nullptr; ++row) {
    if (std::strcmp(row->language, language) == 0) return row;
  }
  return nullptr;
}

void set_language_country(const char* language) {
  const country_conv_t* country = nullptr;
  for (const auto& l : kLanguageCountries) {
    if (std::strcmp(l.language, language) == 0) country = getcountryinfo(l.country);
  }
  if (country == nullptr) {
    logdebug(nullptr, "set_locale: country for language %s not found\n", log_text(language).c_str());
    return;
  }
  logdebug(nullptr, "set_locale country %s\n", country->conv);
  sysio().system(std::string(kCountryProp) + " " + shell_word(country->conv) + "\n");
}

}  // namespace

void set_timezone(char* s, int is_init) {
  if (s == nullptr) return;
  const char* name = nullptr;
  for (const auto& special : kSpecialZones) {
    if (std::strcmp(s, special.key) == 0) name = special.name;
  }
  if (name == nullptr) {
    convert_zone_key(s);
    name = s;
  }
  set_android_timezone(name, is_init);
  if (eModel == kAspen) send_camera_timezone(name);
}

void set_android_timezone(const char* tz, int is_init) { apply_android_timezone(tz, is_init); }

void SystemIFSetSystemTimezoneCmd(void*, const MSG_Message* msg) {
  SystemIF::SetSystemTimezoneReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr(nullptr, "SystemIFSetSystemTimeCmd: Parse Error\n");
    return;
  }
  logdebug(nullptr, "SystemIFSetSystemTimezoneCmd: %s \n", log_text(req.timezone()).c_str());
  SystemIF::SetSystemTimezoneRsp rsp;
  // A refused zone is a bad parameter: the requester learns the zone did not change.
  rsp.set_error(apply_android_timezone(req.timezone().c_str(), 0) ? CommonIF::kErrNoError : CommonIF::kErrBadParameter);
  syssrvSendReply(msg, kMsgIdSystemIFSetSystemTimezoneRsp, rsp, "SystemIFGetSystemTimezoneReq: Reply Send Error\n");
}

void SystemIFSetSystemTimezoneAndTimeCmd(void*, const MSG_Message* msg) {
  SystemIF::SetSystemTimezoneAndTimeCmd cmd;
  if (!syssrvParseRequest(msg, &cmd)) {
    logerr(nullptr, "SystemIFSetSystemTimeCmd: Parse Error\n");
    return;
  }
  // The whole 64-bit value, in the log too: times after January 2038 on the 32-bit board.
  logdebug(nullptr, "SystemIFSetSystemTimezoneCmd: %s, %lld \n", log_text(cmd.timezone()).c_str(),
           static_cast<long long>(cmd.time_value()));
  set_android_timezone(cmd.timezone().c_str(), 0);
  SetSystemTime64(cmd.time_value());
}

void send_timeformat_notify(std::string value) {
  logdebug(nullptr, "Time Format received: %s\n", log_text(value).c_str());
  SystemIF::TimeFormatNtfy ntfy;
  if (value == "12_Hour") {
    ntfy.set_time_format(SystemIF::k12Hour);
    logdebug(nullptr, "set format to 12 hour\n");
  } else if (value == "24_Hour") {
    ntfy.set_time_format(SystemIF::k24Hour);
    logdebug(nullptr, "set format to 24 hour\n");
  }
  const size_t size = ntfy.ByteSizeLong();
  MSG_Message* msg = MSG_AllocMsg(kMsgIdSystemIFTimeFormatNtfy, MSG_GetNextSequence(), static_cast<uint32_t>(size));
  if (msg == nullptr) return;
  // A notification without a format has no bytes, and may have no buffer.
  void* payload = size != 0 ? MSG_GetPayloadMutable(msg) : nullptr;
  if (size != 0 && (payload == nullptr || !ntfy.SerializeToArray(payload, static_cast<int>(size)))) {
    logerr(nullptr, "can't serialize SystemIF.TimeFormatNtfy\n");
    MSG_ReleaseMsg(msg);
    return;
  }
  if (MSG_SendNotification(kSyssrvEndpoint, msg) != 0) logerr(nullptr, "send_timeformat_notify: msg send failed\n");
}

void set_locale(int is_init) {
  char language[kValueLen] = "";
  config_read("location.language", language, sizeof language, nullptr);
  const lang_conv_t* row = find_language(language);
  if (row == nullptr) {
    logdebug(nullptr, "set_locale language %s not found\n", log_text(language).c_str());
  } else if (!is_init) {
    run_broadcast(broadcast_line(kSetLocaleAction, "locale", shell_word(row->conv)));
  }
  set_language_country(language);
  // Until set-up is done, the language picks the country the wizard offers.
  if (row != nullptr && row->default_country != nullptr && syssrv_is_out_of_box()) {
    config_write("location.country", row->default_country, kSystem);
  }
}

void set_country_params() {
  if (syssrv_is_out_of_box()) return;
  char name[kValueLen] = "";
  config_read("location.country", name, sizeof name, nullptr);
  const country_conv_t* country = getcountryinfo(name);
  if (country == nullptr) {
    logdebug(nullptr, "set_locale country %s not found\n", log_text(name).c_str());
    return;
  }
  logdebug(nullptr, "set_locale country %s\n", country->conv);
  const bool pal = country->vidStandard == kPAL;
  config_write("system.videostandard", pal ? "PAL" : "NTSC", kSystem);
  config_write("comm.Callsetting.dialplan.countrycode", country->country_code, kSystem);
  // Without a flag in the answer the frequency counts as never chosen.
  bool isDefault = true;
  char frequency[kValueLen] = "";
  config_read("sourceman.powerfrequency", frequency, sizeof frequency, &isDefault);
  if (isDefault) config_set_default("sourceman.powerfrequency", pal ? "50" : "60", kSystem);
}

const country_conv_t* getcountryinfo(const char* name) {
  if (name == nullptr) {
    logdebug(nullptr, " Country selected is NULL \n");
    return nullptr;
  }
  for (const country_conv_t* row = country_conv_table; row->country != nullptr; ++row) {
    if (strncasecmp(row->country, name, std::strlen(row->country)) == 0) return row;
  }
  return nullptr;
}

const char* get_timezone_info(const char* name) {
  const country_conv_t* row = getcountryinfo(name);
  return row != nullptr ? row->timezone : nullptr;
}
