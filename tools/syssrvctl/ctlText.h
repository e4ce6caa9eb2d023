// Text form of the appliance's messages for syssrvctl: message names to
// table rows, text-format fields to messages and back. Everything goes
// through protobuf reflection, so a new message class needs no code here.
#pragma once

#include <memory>
#include <string>

#include "platform/msgutil/msgUtil.h"

namespace google { namespace protobuf { class Message; } }

// Row of a message named "Pkg.Name" or "Pkg::Name"; null when unknown.
const MsgTypeEntry* ctlFindType(const std::string& name);
// "0x1B0093" (either hex case) or decimal "1769619"; false for anything
// else, signs and blanks included.
bool ctlParseTypeNumber(const std::string& text, MSG_Type* type);
// Row of a type given by name or by number ("0x1B0093" or decimal).
const MsgTypeEntry* ctlFindTypeByNameOrNumber(const std::string& text);
// The reply row of a request row: "...Req" -> "...Rsp" in the same package;
// null when the request has no such partner.
const MsgTypeEntry* ctlReplyTypeFor(const MsgTypeEntry& request);

// A new message of the row's class filled from `fields` in text format.
// Null, with a one-line *error, when the text does not parse.
std::unique_ptr<google::protobuf::Message> ctlParseFields(const MsgTypeEntry& entry,
                                                          const std::string& fields,
                                                          std::string* error);

// Text format, one field per line (as `call` prints a reply).
std::string ctlFormatMultiLine(const google::protobuf::Message& m);
// Text format on one line without a trailing blank (as `watch` prints).
std::string ctlFormatSingleLine(const google::protobuf::Message& m);

// "0x1B0090": the hex form used everywhere in the client's output.
std::string ctlHexType(MSG_Type type);

// "12:00:01.250": local time of day, to the millisecond, of a wall-clock time
// in nanoseconds since the epoch (as `watch` and `monitor` stamp lines).
std::string ctlClockText(uint64_t ns);
