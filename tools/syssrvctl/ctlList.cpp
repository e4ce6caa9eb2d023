// `list [TEXT]`: every known message with its type in decimal and hex,
// optionally only names containing TEXT.
#include <algorithm>
#include <cstdio>
#include <ostream>
#include <vector>

#include "tools/syssrvctl/ctlText.h"
#include "tools/syssrvctl/syssrvctl.h"

int ctlCmdList(const CtlArgs& args, CtlIo& io) {
  if (args.positional.size() > 1) return io.fail(kCtlExitBadInput, "list takes at most one filter word");
  const std::string filter = args.positional.empty() ? "" : args.positional[0];
  std::vector<const MsgTypeEntry*> rows;
  size_t width = 0;
  for (const MsgTypeEntry& e : msgUtil_typeTable()) {
    if (!filter.empty() && std::string(e.name).find(filter) == std::string::npos) continue;
    rows.push_back(&e);
    width = std::max(width, std::string(e.name).size());
  }
  std::sort(rows.begin(), rows.end(), [](const MsgTypeEntry* a, const MsgTypeEntry* b) { return a->type < b->type; });
  for (const MsgTypeEntry* e : rows) {
    char line[256];
    std::snprintf(line, sizeof line, "%-*s %8u %s\n", static_cast<int>(width), e->name,
                  static_cast<unsigned>(e->type), ctlHexType(e->type).c_str());
    io.out << line;
  }
  if (rows.empty()) return io.fail(kCtlExitBadInput, "no message name contains " + filter);
  return kCtlExitOk;
}
