// `monitor`: every message between any two endpoints of the directory, as
// the senders copy them to a monitor socket (platform/msg/msgMonitor.h),
// one line each, decoded through the message classes.
#pragma once

#include <regex>
#include <string>

#include "platform/msg/msgMonitor.h"
#include "tools/syssrvctl/ctlMonitorMask.h"

struct CtlMonitorFilter {
  std::string from;  // sender name; empty: any
  std::string to;    // receiver name; empty: any
  bool byType = false;
  std::regex type;   // searched in the type's name (its hex form when unknown)
};

bool ctlMonitorWanted(const CtlMonitorFilter& f, const MsgMonitorRecord& r);

// "SENDER -> RECEIVER TYPE FIELDS": the fields in text format on one line;
// for a type no class has, its hex form and the byte count. Secrets are
// masked (see ctlMonitorMask.h).
std::string ctlMonitorText(const MsgMonitorRecord& r, CtlMonitorMask* mask);

// A capture file for packet analysers: the file header, and one packet per
// record, "type (4 bytes, big-endian), sequence (4), sender length (1),
// sender, receiver length (1), receiver" followed by the payload.
std::string ctlPcapFileHeader();
std::string ctlPcapPacket(const MsgMonitorRecord& r);
