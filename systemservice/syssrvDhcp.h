// DNS and DHCP options: the address-mode questions, the published DNS
// configuration (resolv.conf and properties) and the delegate diversion.
#pragma once

#include "systemservice/syssrvTypes.h"

// True when the value begins with "true" in any case; an unreadable value
// leaves *value as it was and returns the read's error.
int configReadBool(const char* name, bool* value);

// Whether the router-advertisement managed/other flags were seen once
// (isDependMO, set at start when the flags are already non-zero) and
// whether isMONotSetOnBoot has answered.
extern bool bMOFlagInited;
extern bool bMOFlagSetOnBoot;

bool isIPv6Enabled();
bool isIPv6Manual();
bool isIPv4Manual();
bool isMOFlagOn();
bool isDependMO();
bool isMONotSetOnBoot();

void updateDnsConfig();
// A null record is ignored by all three.
void writeResolvConf(ConfiguredOptions* options);
void setPropOptions(ConfiguredOptions* options);
void refreshPropOptions();

// Property access; getProp fills a buffer of at least kPropValueMax bytes
// and returns the value length.
constexpr int kPropValueMax = 92;
int setProp(const char* name, const char* value);
int getProp(const char* name, char* buffer);
void setPropDnsServer(const char* name, const char* server);

void syssrvDhcpInit();
void delegate_dns_set_pre();
void delegate_dns_set_post();
