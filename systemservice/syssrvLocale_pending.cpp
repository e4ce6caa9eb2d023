// Placeholder until the time zone, time format and locale module is built.
#include "systemservice/syssrvLocale.h"
#include "systemservice/syssrvPending.h"

void set_timezone(char* s, int is_init) { syssrvPending("set_timezone", s, is_init); }
void set_android_timezone(const char* tz, int is_init) { syssrvPending("set_android_timezone", tz, is_init); }
void SystemIFSetSystemTimezoneCmd(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFSetSystemTimezoneCmd", pContext, msg); }
void SystemIFSetSystemTimezoneAndTimeCmd(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFSetSystemTimezoneAndTimeCmd", pContext, msg); }
void send_timeformat_notify(std::string value) { syssrvPending("send_timeformat_notify", value); }
void set_locale(int is_init) { syssrvPending("set_locale", is_init); }
void set_country_params() { syssrvPending("set_country_params"); }
// No table yet: every name is unknown.
const country_conv_t* getcountryinfo(const char* name) {
  syssrvPending("getcountryinfo", name);
  return nullptr;
}
const char* get_timezone_info(const char* name) {
  syssrvPending("get_timezone_info", name);
  return nullptr;
}
