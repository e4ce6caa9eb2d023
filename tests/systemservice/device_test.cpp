// The status LED and the front panel; temperatures, the thermal switch, key
// presses, CDR commands, the reboot request and self-test results.
#include <fcntl.h>
#include <google/protobuf/text_format.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvLed.h"
#include "systemservice/syssrvMessageTable.h"
#include "systemservice/syssrvPower.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using Strings = std::vector<string>;
using DeviceTest = CfgTest;
const string kHwmon = "/sys/corvaleuc-bus/devices/corvaleuc_hwmon/", kLed = "/sys/devices/corvaleuc_leds/leds/corvale_uc:";

// The bytes of each file opened since the last forget(), in order, "|" after each.
string written(const RecorderSysIo& rec) {
  string s;
  for (const SysIoRecord& o : rec.records(SysIoCall::kOpen)) s += rec.file_bytes(o.path) + "|";
  return s;
}

// The message of `type` from its text form; bytes that begin with a control
// character are a payload as it is.
string pb(MSG_Type type, const string& text) {
  std::unique_ptr<google::protobuf::Message> m = msgUtil_newMessage(type);
  if (!text.empty() && text[0] < ' ') return text;
  return google::protobuf::TextFormat::ParseFromString(text, m.get()) ? m->SerializeAsString() : "(bad text) " + text;
}
string payload(const MSG_Message* m) { return m ? string(static_cast<const char*>(MSG_GetPayload(m)), MSG_GetPayloadBytes(m)) : "-"; }

// A key event and the all-zero synchronisation record that follows it.
string event(unsigned short code, int value) {
  input_event e[2] = {};
  e[0].type = EV_KEY, e[0].code = code, e[0].value = value;
  return string(reinterpret_cast<const char*>(e), sizeof e);
}

// given: the call state "in-call" before, a "secondary" unit, "comm:" and
// the stored "comm.isincall", a key device "read-only" or "none". effects:
// "in call: " for the call state after, the bytes of each LED file written
// (blink file or brightness) in order and a "|" each, the key device's
// bytes, "|", the command run. Only the identify
// request is answered; the call status also locks (in a call) or hands back
// the time settings.
TEST_F(DeviceTest, MessagesReachTheirEffectsHostileOnesOnlyTheirLogLine) {
  const MSG_Type inCall = kMsgIdSystemIFSetInCallCmd, status = kMsgIdModRoomIFCallStatusNtfy, key = kMsgIdSystemIFVirtualKeyPressCmd,
                 sleep = kMsgIdProcessMonitorIFSleepStateNtfy, identify = kMsgIdSystemIFSetModRoomIdentifyLEDReq, cdr = kMsgIdSystemIFCommCDRCmd;
  const string green = "100 0 255 0 0 0 0 0||", blue = "100 0 0 255 0 0 0 0||";
  const string press = "SystemIFVirtualKeyPressCmd: ", sender = "sendVirtualKeyPressEvent: ";
  const struct { MSG_Type type; string text, given, effects; int level; string log; } rows[] = {
      {inCall, "is_in_call: true", "", green, 7, "SystemIFSetInCallCmd: true (set LED green)"},
      {inCall, "is_in_call: false", "in-call", "in call: " + green, 7, "SystemIFSetInCallCmd: true (set LED green)"},
      {inCall, "", "", blue, 7, "SystemIFSetInCallCmd: false (set LED blue)"},
      {status, "callstatus: IN_CALL", "secondary", "in call: 255|0|0||", 7, "ModRoomIFCallStatusNtfy"},
      {status, "\x08\x07", "in-call secondary", "0|0|255||", 7, "ModRoomIFCallStatusNtfy"},  // unknown: no call
      {sleep, "state: kWakeState", "comm:true", "1000 0 0 255 0 0 0 0||", 7, "sleep state: Wake."},
      {sleep, "state: kWakeState", "comm:True, since", "1000 0 255 0 0 0 0 0||", 7, "sleep state: Wake."},
      {sleep, "\x08\x63", "", "100 255 50 0 0 0 0 0||", 7, "sleep state: Sleep"},
      {identify, "on: true", "secondary", "50 255 0 0 50 0 255 0||", 7, "SetModRoomIdentifyLEDReq: blink IDENTIFY LED=1"},
      {identify, "on: false", "in-call", "in call: 1000 0 255 0 0 0 0 0||", 7, "SetModRoomIdentifyLEDReq: blink IDENTIFY LED=0"},
      {key, "monitor_id: 1 key: 12 button: 48", "", event(523, 1) + event(523, 0) + "|", 3, press + "received button press type 0x30 for key code 523"},
      {key, "monitor_id: 1 key: 5 button: 32", "", event(103, 1) + "|", 3, press + "received button press type 0x20 for key code 103"},
      {key, "monitor_id: 1 key: 35 button: 17", "", "|", 3, press + "received button press type 0x11 for key code 374"},
      {key, "monitor_id: 1 key: 58 button: 48", "read-only", "|", 3, sender + "failed writing key down event for key code 113"},
      {key, "monitor_id: 1 key: 58 button: 16", "none", "|", 3, sender + "invalid file descriptor for Virtual Key Press device"},
      // The command line is the sender's to choose, but one line of it only.
      {cdr, "cdrcmd: \"/bin/cdr 'a b' $X;\"", "", "|/bin/cdr 'a b' $X;", 6, "SystemIFCommCDRCmd /bin/cdr 'a b' $X;"},
      {cdr, "cdrcmd: \"cdr x\\n/system/bin/reboot\"", "", "|", 6, "SystemIFCommCDRCmd cdr x\\n/system/bin/reboot"},
  };
  const Strings files = {"/sys/devices/corvaleuc_leds/auto_blink", kLed + "green/brightness", kLed + "red/brightness",
                         kLed + "blue/brightness", "/dev/uinput"};
  ASSERT_EQ(syssrvRegisterHandlers(1, kSyssrvHandlerCount), 0);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.log);
    for (const string& f : files) rec().put_file(f, "");
    peer().set("system.modularroom.mode", r.given.find("secondary") != string::npos ? "secondary" : "Secondary2");
    peer().set("comm.isincall", r.given.find("comm:") == string::npos ? "" : r.given.substr(5));
    system_in_call = r.given.find("in-call") != string::npos;
    fdVirtKeyPressDev = r.given == "none" ? -1 : rec().open(files[4], r.given == "read-only" ? O_RDONLY : O_WRONLY);
    forget();
    send(r.type, pb(r.type, r.text));
    syssrvMessageLoop(1000);
    if (fdVirtKeyPressDev >= 0) close(fdVirtKeyPressDev);
    const Strings ran = rec().commands();
    EXPECT_EQ((system_in_call ? "in call: " : "") + written(rec()) + rec().file_bytes(files[4]) + "|" + (ran.empty() ? "" : ran[0]), r.effects);
    EXPECT_EQ(logged(r.level, r.log + "\n") + logged(3, sender + "failed writing key up"), 1);  // no release after a failed press
    MSG_Message* rsp = received(r.type == identify ? 500 : 0);
    EXPECT_EQ(payload(rsp), r.type == identify ? pb(kMsgIdSystemIFSetModRoomIdentifyLEDRsp, "error: 0") : "-");
    MSG_ReleaseMsg(rsp);
    EXPECT_EQ(sent("levels time.timezone"), r.type == status ? Strings{levels("time.timezone", U, system_in_call ? S : A)} : Strings{});
  }
}

TEST_F(DeviceTest, FrontPanelTakesOneLineOfPrintableTextPerFile) {
  const string misc = "/sys/corvaleuc-bus/devices/corvaleuc_misc/update_";
  const Strings files = {misc + "secure_mode", misc + "ip_addr", misc + "mon1", misc + "sw_ver"};
  const struct { string profile, ip, signal, version, shown, refused; } rows[] = {
      {"maximum", "10.0.0.6\n;reboot", "HDMI", "10.1.0", "0|HDMI 1080p60|10.1.0|", files[1]},
      {"Maximum", "10.0.0.7", string(60, 'x'), "1\x1b[2J", "1|10.0.0.7|" + string(60, 'x') + " 10|", files[3]}};
  peer().set("video.monitor[1].Resolution", "1080p60");
  for (const auto& r : rows) {
    SCOPED_TRACE(r.ip);
    for (const string& f : files) rec().put_file(f, "");
    const string values[][2] = {{"security.profile", r.profile}, {"system.network.wired.ipv4nic.address", r.ip},
                                {"video.monitor[1].signalType", r.signal}, {"system.info.humanreadableversion", r.version}};
    for (const auto& v : values) peer().set(v[0], v[1]);
    forget();
    set_frontpanel();
    EXPECT_EQ(written(rec()), r.shown);  // a refused value's file is not even opened
    EXPECT_NE(logBytes().find(r.refused + ": value refused"), string::npos);
  }
  unlink(rec().path(files[1]).c_str());
  set_frontpanel();
  EXPECT_FALSE(rec().file_exists(files[1]));  // a driver file is never created
}

// A sample every 301st call and the log every 3601st; a forced call samples
// and logs at once and restarts both counts. An unreadable sensor reads 0.
TEST_F(DeviceTest, TemperaturesAreSampledAndLoggedOnTheirCountsOrAtOnceWhenForced) {
  rec().put_file(kHwmon + "temp1", "41500\n");
  rec().put_file(kHwmon + "temp2", "4294967297");  // not an unsigned 32-bit number: 0
  rec().set_realtime(1700000000, 987654321);
  monitor_temperature(true);
  forget();
  const string head = "Logging temperature records:\n", line = "Time: 2023-11-14 22:13:20.987, temp1: 41500, temp2: 0\n";
  for (int call = 0; call < 3600; ++call) monitor_temperature(false);
  EXPECT_EQ(logged(6, head), 0);
  monitor_temperature(false);
  EXPECT_EQ(logged(6, head) * 100 + logged(6, line), 111);
  monitor_temperature(true);
  forget();
  for (int call = 0; call < 300; ++call) monitor_temperature(false);
  monitor_temperature(true);
  EXPECT_EQ(logBytes(), "<6>syssrv: hd[0]: " + head + "<6>syssrv: hd[0]: " + line);
}

TEST_F(DeviceTest, ThermalManagementIsSwitchedOnlyOnBirchOffOnlyForMaxVentilationOnOldBoards) {
  const struct { const char *model, *hw, *maxVentilation; char bit; } rows[] = {
      {"BIRCH", "19", "True", '0'}, {"BIRCH", "", "True", '0'}, {"BIRCH", "20", "True", '1'}, {"BIRCH", "3", "true", '1'},
      {"BIRCH", "3", "False", '1'}, {"Birch", "3", "True", 0}, {"ASPEN", "3", "True", 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(string(r.model) + " " + r.hw + " " + r.maxVentilation);
    peer().set("system.info.model", r.model);
    peer().set("system.info.hardwareversion", r.hw);
    peer().set("system.maxventilation", r.maxVentilation);
    forget();
    set_thermal_management();
    const string echo = string("echo ") + r.bit + " > /sys/corvaleuc-bus/devices/corvaleuc_hwmon/enable_thermal_mang";
    EXPECT_EQ(rec().commands(), r.bit ? Strings{echo} : Strings{});
    EXPECT_EQ(logged(7, "MaxVentilation:" + string(r.maxVentilation) + " Model:BIRCH HWVersion:" + std::to_string(atoi(r.hw)) +
                            ", set_thermal_management: " + (r.bit == '0' ? "disabled\n" : "enabled\n")), r.bit ? 1 : 0);
  }
}

TEST_F(DeviceTest, RebootAsksTheProcessMonitorOrRebootsAtOnceResultsAreStoredAsSystem) {
  RequestSystemReboot();  // no process monitor yet
  ASSERT_EQ(MSG_OpenLocal("ProcessMon"), 0);
  RequestSystemReboot();
  EXPECT_EQ(rec().commands(), Strings{"/system/bin/reboot"});
  EXPECT_TRUE(logged(3, "reboot message send error: -1, call /system/bin/reboot to reboot immediately", "SysSrv") &&
              logged(6, "Successfully sent reboot message to process monitor.", "SysSrv"));
  MSG_Message* m = MSG_RecvMsg("ProcessMon", kMsgIdProcessMonitorIFSystemShutdownCmd, 2000);
  EXPECT_EQ(payload(m), pb(kMsgIdProcessMonitorIFSystemShutdownCmd, "type: kShutdownTypeReboot"));
  MSG_ReleaseMsg(m);
  MSG_CloseLocal("ProcessMon");
  config_write_post_result("0x12", "fan", 3);
  EXPECT_EQ(sent(), (Strings{"write system.post.results[3].errorcode=0x12 as 30", "write system.post.results[3].errorname=fan as 30"}));
}

}  // namespace
