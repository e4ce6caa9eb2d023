// Plain types shared by the daemon's modules.
#pragma once

// Model of this unit, decided once at start from the board id. The values
// index the model table of start-up, so they never change.
enum eModelT {
  kUnknownModel = 0,
  kCedar100 = 1,
  kCedar110 = 2,
  kLumenPro = 3,
  kCedar = 4,
  kHalden = 5,
  kBirch = 6,
  kAspen = 7,
};

// Carrier state of the wired LAN as the other processes see it.
enum LanState {
  LAN_DOWN = 0,
  LAN_UP = 1,
};

// Room for a domain name and four name servers; 46 bytes hold the longest
// IPv6 address text (45 characters) and its terminator.
constexpr int kDomainNameLen = 256;
constexpr int kMaxDnsServers = 4;
constexpr int kDnsServerLen = 46;

// DNS options the service publishes (resolv.conf and the properties).
typedef struct ConfiguredOptions {
  char domainName[kDomainNameLen];
  char dnsServers[kMaxDnsServers][kDnsServerLen];
} ConfiguredOptionsT;
