// Time zone, time format, language and country on the daemon fixture:
// command lines (and what a shell makes of them), writes with their roles,
// the camera's request, the notification; the tables against the seed.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include "PlatformIF.pb.h"
#include "SystemIF.pb.h"
#include "systemservice/syssrvLocale.h"
#include "tests/systemservice/test_notify_fixture.h"

namespace {

using std::string;
using LocaleTest = NotifyTest;
const string kProp = "setprop persist.sys.timezone ";
const string kAmZone = "am broadcast -a corvale.intent.action.setup.SET_TIMEZONE --es timezone ";

// The words of each command a shell runs for `line`, "<w>" each, one line
// per command; only setprop and am exist.
string shellWords(const string& script, const string& line) {
  std::ofstream(script) << "PATH=/nonexistent\nsetprop() { printf '<%s>' \"$@\"; echo; }\n"
                        << "am() { setprop \"$@\"; }\n" << line;
  FILE* sh = popen(("sh " + script + " 2>&1").c_str(), "r");
  string out;
  for (int c; (c = fgetc(sh)) != EOF;) out += static_cast<char>(c);
  return pclose(sh) == 0 ? out : "failed: " + out;
}

TEST_F(LocaleTest, ZoneKeysBecomeOlsonNamesAndStartUpSendsNoBroadcast) {
  const std::pair<const char*, const char*> rows[] = {
      {"America_Sao__Paulo", "America/Sao_Paulo"}, {"Europe_London", "Europe/London"}, {"Etc_GMT-2", "Etc/GMT-2"},
      {"EST", "EST5EDT"}, {"CST", "CST6CDT"}, {"MST", "MST7MDT"}, {"PST", "PST8PDT"}, {"cst", "cst"},
      {"Etc_GMTMINUS12", "Etc/GMT+12"}, {"BAJA", "Mexico/BajaNorte"}, {"Asia_Mumbai", "Asia/Calcutta"},
      {"AST4ADT", "AST4ADT"}, {"America_Port__of__Spain", "America/Port_of__Spain"}, {"A__B", "A/_B"}};
  eModel = kCedar;
  for (const auto& [key, name] : rows) {
    for (int init : {0, 1}) {
      SCOPED_TRACE(string(key) + (init ? " at start" : ""));
      forget();
      string buf = key;
      set_timezone(&buf[0], init);
      const Strings both = {kProp + name + "\n", kAmZone + name + "\n"};
      EXPECT_EQ(rec().commands(), Strings(both.begin(), both.end() - init));  // no broadcast at start
      EXPECT_EQ(logged(7, "doing AM command: " + kAmZone + name + "\n\n"), init ? 0 : 1);
    }
  }
}

TEST_F(LocaleTest, OnlyAnAspenSendsItsCameraTheZone) {
  ASSERT_EQ(MSG_OpenLocal("PortController"), 0);
  const string req = "component_id: \"cam1\" peripheral_message { command: eConfigData keydata { key: eCFG_TimeZone "
                     "data_string: \"CST6CDT\" } }";
  char key[] = "CST";
  for (eModelT m : {kCedar, kBirch, kAspen}) {
    eModel = m;
    set_timezone(key, 0);
  }
  EXPECT_EQ(logged(6, "SysSrv: set_timezone: " + req + " \n"), 1);
  MSG_Message* got = MSG_RecvMsg("PortController", kMsgIdPlatformIFComponentReq, 5000);
  ASSERT_NE(got, nullptr);
  PlatformIF::ComponentReq camera;
  EXPECT_TRUE(camera.ParseFromArray(MSG_GetPayload(got), static_cast<int>(MSG_GetPayloadBytes(got))));
  MSG_ReleaseMsg(got);
  EXPECT_EQ(camera.ShortDebugString(), req);
  MSG_CloseLocal("PortController");
  set_timezone(key, 0);
  EXPECT_TRUE(logged(3, "set_timezone: Error sending config data to Orbscope!", "SysSrv"));
}

// The request, the request with a time and the configuration.
TEST_F(LocaleTest, HostileZonesStayOneWordOrAreRefusedOnEveryRoad) {
  const string words[] = {"<persist.sys.timezone><",
                          "<broadcast><-a><corvale.intent.action.setup.SET_TIMEZONE><--es><timezone><"};
  const MSG_Type kWithTime = kMsgIdSystemIFSetSystemTimezoneAndTimeCmd;
  for (const string& zone : {string("; reboot"), string("$(id)"), string("a\nb"), string("it's `x`"),
                             string(200, 'x'), string()}) {
    const bool refused = zone.empty() || zone.size() > 100;
    SystemIF::SetSystemTimezoneReq req;
    req.set_timezone(zone);
    SystemIF::SetSystemTimezoneAndTimeCmd cmd;
    cmd.set_timezone(zone);
    cmd.set_time_value(1700000000);
    for (int road = 0; road < 3; ++road) {
      SCOPED_TRACE(zone + " road " + std::to_string(road));
      forget();
      if (road == 0) deliver(kMsgIdSystemIFSetSystemTimezoneReq, req.SerializeAsString(), SystemIFSetSystemTimezoneCmd);
      if (road == 1) deliver(kWithTime, cmd.SerializeAsString(), SystemIFSetSystemTimezoneAndTimeCmd);
      if (road == 2) notify("time.timezone", zone);
      Strings lines;  // the zone's two; the time's own broadcasts follow on road 1
      for (const string& l : rec().commands()) if (l.find("timezone") != string::npos) lines.push_back(l);
      ASSERT_EQ(lines.size(), refused ? 0u : 2u);
      for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(shellWords(rec().path("/words.sh"), lines[i]), words[i] + zone + ">\n");
      SystemIF::SetSystemTimezoneRsp rsp;
      EXPECT_TRUE(road != 0 || (answer(kMsgIdSystemIFSetSystemTimezoneRsp, &rsp) && rsp.error() == (refused ? -3 : 0)));
      // The time is set too: the time-server mode is read first.
      EXPECT_TRUE(road != 1 || peer().reads("time.timeserver.mode"));
    }
  }
}

// The seed's option lists, in order, are the tables' rows; the time-zone
// column has 65 keys, each a zone of the database once converted unless
// the platform's own.
TEST_F(LocaleTest, TablesFollowTheSeedAndTheirZonesExist) {
  std::ifstream in(LOCALE_TEST_SEED);
  const string seed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The quoted texts of the seed's set `set`, which `variable` takes its options from.
  auto options = [&](const string& set, const string& variable) {
    EXPECT_TRUE(std::regex_search(seed, std::regex("\n" + variable + " .* options=@" + set + "\\b"))) << variable;
    Strings out;
    const size_t at = seed.find("\nset " + set + "\n"), end = seed.find("\nend\n", at);
    for (size_t q = seed.find('"', at), e; q < end; q = seed.find('"', e + 1)) {
      e = seed.find('"', q + 1);
      out.push_back(seed.substr(q + 1, e - q - 1));
    }
    return out;
  };
  Strings languages, countries;
  std::set<string> zones;
  for (const lang_conv_t* l = lang_conv_table; l->language; ++l) languages.push_back(l->language);
  for (auto* c = country_conv_table; c->country; ++c) countries.push_back(c->country), zones.insert(c->timezone);
  EXPECT_EQ(languages, options("languages", "location.language"));
  EXPECT_EQ(countries, options("countries", "location.country"));
  EXPECT_EQ(zones.size(), 65u);
  const std::set<string> platformOwn = {"AST4ADT", "Curacao", "America/Carac", "America/Cordo", "Africa/Casabl"};
  for (const string& key : zones) {
    forget();
    string name = key;
    set_timezone(&name[0], 1);  // special keys are not rewritten: the command has the name
    name = rec().commands().at(0).substr(kProp.size());
    name.pop_back();
    EXPECT_TRUE(platformOwn.count(name) || access(("/usr/share/zoneinfo/" + name).c_str(), R_OK) == 0) << key;
  }
}

TEST_F(LocaleTest, CountryIsTheFirstPrefixMatchAndSetsStandardDiallingCodeAndFrequency) {
  // Configured name, zone of the row found (null: none), standard, dialling
  // code, frequency still default; during set-up nothing is written.
  const struct { const char *configured, *zone, *standard, *dial; bool freqDefault, oob = false; } rows[] = {
      {"Nigeria", "Africa_Lagos", "PAL", "227", true}, {"Dominican Republic", "AST4ADT", "NTSC", "1", true},
      {"Guinea-Bissau", "Africa_Abidjan", "PAL", "224", true}, {"united kingdom", "Europe_London", "PAL", "44", true},
      {"Guantanamo Bay", "EST", "NTSC", "5399", true}, {"Korea North", "Asia_Seoul", "PAL", "850", false},
      {"Korea", nullptr, "", "", false}, {"", nullptr, "", "", false}, {"Nigeria", "Africa_Lagos", "", "", true, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(string(r.configured) + (r.oob ? " during set-up" : ""));
    outOfBox = r.oob;
    forget();
    const bool pal = r.zone && string(r.standard) == "PAL";
    peer().set("location.country", r.configured);
    r.freqDefault ? peer().setDefault("sourceman.powerfrequency", "x") : peer().set("sourceman.powerfrequency", "x");
    peer().setOptions("sourceman.powerfrequency", {"50", "60"}, pal ? 1 : 0);
    set_country_params();
    const Strings writes = {"write system.videostandard=" + string(r.standard) + " as 30",
                            "write comm.Callsetting.dialplan.countrycode=" + string(r.dial) + " as 30"};
    EXPECT_EQ(sent("write"), r.zone && !r.oob ? writes : Strings{});
    EXPECT_EQ(sent("options"), r.freqDefault && !r.oob ? Strings{"options sourceman.powerfrequency [50|60] default " +
                                                       string(pal ? "0" : "1") + " as 30"} : Strings{});
    EXPECT_TRUE(!r.oob || sent().empty()) << "not even read during set-up";
    EXPECT_STREQ(get_timezone_info(r.configured), r.zone);
  }
  EXPECT_EQ(getcountryinfo(nullptr), nullptr);
}

TEST_F(LocaleTest, LanguageBroadcastsItsLocaleAndDuringSetUpPicksTheCountry) {
  const string am = "am broadcast -a corvale.intent.action.setup.SET_LOCALE --es locale ";
  const struct { const char* language; int init; bool oob; Strings commands, writes; } rows[] = {
      {"CHINESE", 0, false, {am + "zh_CN\n", "setprop persist.sys.country CN\n"}, {}},
      {"CHINESET", 1, true, {"setprop persist.sys.country TW\n"}, {"write location.country=Taiwan as 30"}},
      {"ENGLISHUK", 0, true, {am + "en\n"}, {"write location.country=United Kingdom as 30"}},
      {"SWAHILI", 1, true, {}, {"write location.country=Africa as 30"}},
      {"chinese", 0, true, {}, {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.language);
    forget();
    outOfBox = r.oob;
    peer().set("location.language", r.language);
    set_locale(r.init);
    EXPECT_EQ(rec().commands(), r.commands);
    EXPECT_EQ(sent("write"), r.writes);
  }
  EXPECT_EQ(logged(7, "set_locale language chinese not found\n"), 1);
  EXPECT_EQ(logged(7, "set_locale: country for language chinese not found\n"), 1);
}

TEST_F(LocaleTest, TimeFormatIsAnnouncedEvenWhenNotUnderstood) {
  const MSG_Type type = kMsgIdSystemIFTimeFormatNtfy;
  ASSERT_EQ(MSG_RegisterNotificationRemote(kCaller, type, type, MSG_GetRemoteId(kCaller, kSyssrvEndpoint)), 0);
  for (const auto& [value, format] : {std::pair<string, int>{"12_Hour", 1}, {"24_Hour", 2}, {"12_hour", 0}, {"", 0}}) {
    send_timeformat_notify(value);
    SystemIF::TimeFormatNtfy n;
    EXPECT_TRUE(answer(type, &n) && (n.has_time_format() ? n.time_format() : 0) == format) << value;
  }
}

}  // namespace
