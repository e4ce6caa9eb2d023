// The models this firmware runs on. A row's index is its eModelT value, so
// the rows never move; a new board gets a new row at the end.
#include "systemservice/syssrvStartup.h"

const syssrvModelInfo modelInfo[kNumModels] = {
    {"", "(unknown model)", "(unknown model)", kUnknownModel},
    {"CEDAR100", "TrueSummit Ensemble 120", "en120", kCedar100},
    {"CEDAR110", "TrueSummit Ensemble 130", "en130", kCedar110},
    {"LUMENPRO", "Quill LumenPro", "LumenPro", kLumenPro},
    {"CEDAR", "TrueSummit Ensemble 150", "en150", kCedar},
    {"HALDEN", "TrueSummit Ensemble 155", "en155", kHalden},
    {"BIRCH", "TrueSummit Ensemble 170", "en170", kBirch},
    {"ASPEN", "TrueSummit Atrium", "aspen", kAspen},
};
