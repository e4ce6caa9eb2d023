// Message-class library: maps every protocol-buffer message class of the
// appliance's interfaces to its 32-bit message type and back.
//
// A type is (interface << 16) | (number << 4) | kind, kind 0 Req, 1 Rsp,
// 2 Cmd, 3 Ntfy. Interfaces: PlatformIF 23, ConfigIF 26, SystemIF 27,
// ProcessMonitorIF 29, DnsIF 34, ModRoomIF 47 (CommonIF and ExtcameraIF
// numbers are in msgTypeTable.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/msg/MSG.h"

namespace google { namespace protobuf { class Message; class Descriptor; } }

// One row of the type table.
struct MsgTypeEntry {
  MSG_Type type;
  const char* name;  // full class name, "SystemIF.GetLanStatusReq"
  const google::protobuf::Message* (*prototype)();  // default instance
};

// A message of m's type and `sequence`, carrying m serialised; null when m's
// class has no type or allocation/serialisation fails. `reserved` is null.
MSG_Message* msgUtil_buildMsg(const google::protobuf::Message& m, uint32_t sequence, void* reserved);
// The MSG_Type of m's class; 0 when the class is not in the table.
MSG_Type msgUtil_getMsgId(const google::protobuf::Message& m);
// The integer code carried in replies for a CommonIF eErrorType value.
int convertErrorTypeToCommonPbType(int errorType);

// Table access for tools (the command-line client, the stand-in services).
const std::vector<MsgTypeEntry>& msgUtil_typeTable();
const MsgTypeEntry* msgUtil_findByType(MSG_Type type);
// Accepts "SystemIF.GetLanStatusReq" or "SystemIF::GetLanStatusReq".
const MsgTypeEntry* msgUtil_findByName(const std::string& name);
// A new, empty message of the class with this type; null when unknown.
std::unique_ptr<google::protobuf::Message> msgUtil_newMessage(MSG_Type type);
