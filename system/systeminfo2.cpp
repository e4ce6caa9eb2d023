// Board id to hardware type and to display name.
//
// The environment is read with getenv: the platform sets it before start and
// it is not an effect on the outside world.
#include "system/systeminfo2.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

namespace {

hwTypeT sHwType = hwTypeT::kUninitialized;

const char kBoardIdEnv[] = "CORVALE_BOARDID";

struct BoardTypeRow {
  const char* boardId;
  hwTypeT type;
};

// The three variants of the first board share its capability table.
const BoardTypeRow kBoardTypes[] = {
    {"CEDAR", hwTypeT::kCedar},         {"CEDAR100", hwTypeT::kCedar},
    {"CEDAR110", hwTypeT::kCedar},      {"LUMENPRO", hwTypeT::kCedar},
    {"BIRCH", hwTypeT::kBirch},         {"HALDEN", hwTypeT::kHalden},
    {"TUNDRA", hwTypeT::kTundra},       {"ORBSCOPE", hwTypeT::kOrbscope},
    {"ORBSCOPE2", hwTypeT::kOrbscope2}, {"ASPEN", hwTypeT::kAspen},
};

struct BoardNameRow {
  const char* boardId;
  const char* displayName;
};

const BoardNameRow kBoardNames[] = {
    {"CEDAR100", "Harbor Series 120"},
    {"CEDAR110", "Harbor Series 130"},
    {"LUMENPRO", "Harbor Series Lumen Pro"},
    {"CEDAR", "Harbor Series 150"},
    {"BIRCH", "Harbor Series 170"},
    {"HALDEN", "Harbor Series 138"},
    {"ASPEN", "TrueSummit Atrium"},
};

const char kUnknownName[] = "Unknown";
// Display names are held in 64-byte buffers by their readers.
const size_t kMaxNameLen = 63;

}  // namespace

void SetSystemHardwareType(hwTypeT hwtype) { sHwType = hwtype; }

hwTypeT GetSystemHardwareType() { return sHwType; }

void initSysHwType() {
  if (sHwType != hwTypeT::kUninitialized) return;
  const char* board = getenv(kBoardIdEnv);
  hwTypeT type = hwTypeT::kUninitialized;
  if (board == nullptr) {
    // Boards of the first generation predate the variable.
    type = hwTypeT::kCedar;
  } else {
    for (const BoardTypeRow& row : kBoardTypes) {
      if (strcasecmp(board, row.boardId) == 0) {
        type = row.type;
        break;
      }
    }
  }
  SetSystemHardwareType(type);
}

int getSysModel(char* pBuf, int nBufLen, int /*bHDOverride*/) {
  const char* board = getenv(kBoardIdEnv);
  const char* name = kUnknownName;
  if (board != nullptr) {
    for (const BoardNameRow& row : kBoardNames) {
      if (strcasecmp(board, row.boardId) == 0) {
        name = row.displayName;
        break;
      }
    }
  }
  size_t len = strnlen(name, kMaxNameLen);
  int needed = static_cast<int>(len) + 1;
  if (pBuf == nullptr || nBufLen < needed) return needed;
  memcpy(pBuf, name, len);
  pBuf[len] = '\0';
  return 0;
}
