// Time zone, time format, language and country.
#pragma once

#include <string>

#include "platform/msg/MSG.h"

enum eVideoStandard {
  kNTSC = 0,
  kPAL = 1,
};

// One row of the country table.
typedef struct country_conv {
  const char* country;       // value of "location.country"
  const char* conv;          // two-letter code, "00" where none
  const char* country_code;  // international dialling code
  eVideoStandard vidStandard;
  const char* timezone;      // time-zone key
} country_conv_t;

// One row of the language table.
typedef struct lang_conv {
  const char* language;         // value of "location.language"
  const char* conv;             // Android locale
  const char* default_country;  // row name of the country table
} lang_conv_t;

// Both tables end in a row whose first field is null. Lookups go in table
// order, so the order of the rows is part of their meaning.
extern const lang_conv_t lang_conv_table[];
extern const country_conv_t country_conv_table[];

// Applies a time-zone key; may rewrite `s` in place.
void set_timezone(char* s, int is_init);
void set_android_timezone(const char* tz, int is_init);
void SystemIFSetSystemTimezoneCmd(void* pContext, const MSG_Message* msg);
void SystemIFSetSystemTimezoneAndTimeCmd(void* pContext, const MSG_Message* msg);
void send_timeformat_notify(std::string value);
void set_locale(int is_init);
void set_country_params();
// Row of the country table, or null.
const country_conv_t* getcountryinfo(const char* name);
// Time-zone key of the country's row, or null.
const char* get_timezone_info(const char* name);
