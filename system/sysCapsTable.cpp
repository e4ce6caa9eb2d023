// Lookups, changes and dumps of the capability table.
//
// The chosen board's sections are copied into process-owned working tables
// so that setCapability never writes into the built-in data. The
// environment variable "HALDEN_MODE" is read with getenv: the platform sets
// it before start.
#include "system/sysCapsTable.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "system/sysCapsData.h"
#include "system/sysCapsTable_testing.h"

const char kSysCapFmtInt[] = " %d ";
const char kSysCapFmtHex[] = " %x ";
const char kSysCapFmtStr[] = " %s ";
const char kSysCapFmtReal[] = " %f ";

namespace {

constexpr int kNumTableSections = 4;  // video, audio, comm, hardware

// Section names for dumps; eSysCapSystem has none.
const char* const kSectionNames[eSysCapNumSections] = {"video", "audio", "comm", "hardware", nullptr};

std::vector<sysCapsT> m_workingSections[kNumTableSections];
// The chosen board table: four section pointers, null until first use.
sysCapsT* pSystemCapsTbl[kNumTableSections] = {nullptr, nullptr, nullptr, nullptr};
bool m_tableChosen = false;

void copySection(const sysCapsT* src, std::vector<sysCapsT>* dst) {
  dst->clear();
  const sysCapsT* e = src;
  while (e->keyName != nullptr) dst->push_back(*e++);
  dst->push_back(*e);  // the terminating entry
}

sysCapsT* sectionTable(eSysCapSectionT section) {
  if (!m_tableChosen) initSysCapsTbl(GetSystemHardwareType());
  if (section < eSysCapVideo || section >= kNumTableSections) return nullptr;
  return pSystemCapsTbl[section];
}

int applyChangeSet(const sysCapsT* set, eSysCapSectionT section) {
  if (set == nullptr) return 0;
  for (const sysCapsT* e = set; e->keyName != nullptr; ++e) {
    setCapability(section, e->keyName, static_cast<int>(e->instance), e->val);
  }
  return 1;
}

}  // namespace

void sysCapsFormatValue(const sysCapsT* entry, char* buf, size_t len) {
  if (buf == nullptr || len == 0) return;
  buf[0] = '\0';
  if (entry == nullptr || entry->fmt == nullptr) return;
  const char* fmt = entry->fmt;
  // The conversion is the last letter of the format; the blanks around it
  // are part of the text the readers of a dump expect.
  const char* pct = strchr(fmt, '%');
  char conv = (pct != nullptr) ? pct[1] : '\0';
  switch (conv) {
    case 'f': {
      const double* d = static_cast<const double*>(entry->val);
      snprintf(buf, len, fmt, d != nullptr ? *d : 0.0);
      break;
    }
    case 's': {
      const char* s = static_cast<const char*>(entry->val);
      snprintf(buf, len, fmt, s != nullptr ? s : "(null)");
      break;
    }
    case 'x':
      // On the device the value word is 32 bits wide.
      snprintf(buf, len, fmt, static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry->val)));
      break;
    default:
      snprintf(buf, len, fmt, static_cast<int>(reinterpret_cast<intptr_t>(entry->val)));
      break;
  }
}

sysCapsT* lookupCapability(const char* keyName, int instance, sysCapsT* pCapsTbl) {
  if (keyName == nullptr || pCapsTbl == nullptr) return nullptr;
  for (sysCapsT* e = pCapsTbl; e->keyName != nullptr; ++e) {
    if (strcmp(e->keyName, keyName) == 0 && e->instance == static_cast<uint32_t>(instance)) return e;
  }
  return nullptr;
}

int setCapability(eSysCapSectionT section, const char* keyName, int instance, void* pVal) {
  sysCapsT* entry = lookupCapability(keyName, instance, sectionTable(section));
  if (entry == nullptr) return -1;
  entry->val = pVal;
  return 0;
}

void* getCapability(eSysCapSectionT section, const char* keyName, int instance, char* formattedVal) {
  sysCapsT* entry = lookupCapability(keyName, instance, sectionTable(section));
  if (entry == nullptr) return nullptr;
  if (formattedVal != nullptr) sysCapsFormatValue(entry, formattedVal, kSysCapValueLen);
  return entry->val;
}

void dumpCapabilities(SysCapDumpFuncT dumpFunc, eSysCapSectionT section) {
  if (!m_tableChosen) initSysCapsTbl(GetSystemHardwareType());
  int first = section;
  int last = section;
  if (section > eSysCapSystem) {
    first = eSysCapVideo;
    last = eSysCapSystem;
  }
  for (int s = first; s <= last; ++s) {
    if (s < 0 || s >= kNumTableSections) continue;  // no name, no table
    const char* name = kSectionNames[s];
    const sysCapsT* tbl = pSystemCapsTbl[s];
    if (name == nullptr || tbl == nullptr) continue;
    for (const sysCapsT* e = tbl; e->keyName != nullptr; ++e) {
      char value[kSysCapValueLen];
      sysCapsFormatValue(e, value, sizeof value);
      if (dumpFunc != nullptr) {
        dumpFunc(name, e->keyName, static_cast<int>(e->instance), value);
      } else {
        printf("Section: %s\tKey: %s\tInstance: %d\tValue: %s\n", name, e->keyName,
               static_cast<int>(e->instance), value);
      }
    }
  }
}

const sysCapsT* getRateCaps(Boolean iceIsEnabled) {
  return iceIsEnabled ? kSysCapsRatesIce : kSysCapsRatesNoIce;
}

int setRateCapabilities(Boolean iceIsEnabled) {
  return applyChangeSet(getRateCaps(iceIsEnabled), eSysCapComm);
}

const sysCapsT* getHaldenInDualGraphicModeHWChangesCaps() { return kSysCapsHaldenDualGraphic; }

int changeHaldenInDualGraphicModeHWCapabilities() {
  return applyChangeSet(getHaldenInDualGraphicModeHWChangesCaps(), eSysCapHardware);
}

void initSysCapsTbl(hwTypeT hwType) {
  const sysCapsBoardS* board = nullptr;
  for (size_t i = 0; i < kSysCapsBoardCount; ++i) {
    if (kSysCapsBoards[i].hwType == hwType) board = &kSysCapsBoards[i];
  }
  if (board == nullptr) return;  // unchosen: every lookup fails
  for (int s = 0; s < kNumTableSections; ++s) {
    copySection(board->sections[s], &m_workingSections[s]);
    pSystemCapsTbl[s] = m_workingSections[s].data();
  }
  m_tableChosen = true;
  if (hwType == hwTypeT::kHalden) {
    const char* mode = getenv("HALDEN_MODE");
    if (mode != nullptr && strcasecmp(mode, "DualGraphicMode") == 0) {
      changeHaldenInDualGraphicModeHWCapabilities();
    }
  }
}

void sysCapsTableTestingReset() {
  for (int s = 0; s < kNumTableSections; ++s) {
    m_workingSections[s].clear();
    pSystemCapsTbl[s] = nullptr;
  }
  m_tableChosen = false;
}
