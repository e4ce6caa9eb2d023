// Lookups over the type table and the wrapping of a message object into a
// transport message.
#include "platform/msgutil/msgUtil.h"

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>

#include <unordered_map>

namespace {

struct MsgTypeIndex {
  std::unordered_map<MSG_Type, const MsgTypeEntry*> byType;
  std::unordered_map<std::string, const MsgTypeEntry*> byName;
  std::unordered_map<const google::protobuf::Descriptor*, const MsgTypeEntry*> byDescriptor;
};

// Built once from the table on first use; read-only afterwards, so lookups
// from any thread are safe.
const MsgTypeIndex& msgUtil_index() {
  static const MsgTypeIndex index = [] {
    MsgTypeIndex idx;
    for (const MsgTypeEntry& e : msgUtil_typeTable()) {
      idx.byType.emplace(e.type, &e);
      idx.byName.emplace(e.name, &e);
      idx.byDescriptor.emplace(e.prototype()->GetDescriptor(), &e);
    }
    return idx;
  }();
  return index;
}

}  // namespace

const MsgTypeEntry* msgUtil_findByType(MSG_Type type) {
  const auto& idx = msgUtil_index().byType;
  auto it = idx.find(type);
  return it == idx.end() ? nullptr : it->second;
}

const MsgTypeEntry* msgUtil_findByName(const std::string& name) {
  // Callers write C++ names ("SystemIF::GetLanStatusReq") as often as
  // protobuf names ("SystemIF.GetLanStatusReq"); both mean the same class.
  std::string key;
  key.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == ':' && i + 1 < name.size() && name[i + 1] == ':') {
      key += '.';
      ++i;
    } else {
      key += name[i];
    }
  }
  const auto& idx = msgUtil_index().byName;
  auto it = idx.find(key);
  return it == idx.end() ? nullptr : it->second;
}

std::unique_ptr<google::protobuf::Message> msgUtil_newMessage(MSG_Type type) {
  const MsgTypeEntry* e = msgUtil_findByType(type);
  if (e == nullptr) return nullptr;
  return std::unique_ptr<google::protobuf::Message>(e->prototype()->New());
}

MSG_Type msgUtil_getMsgId(const google::protobuf::Message& m) {
  const auto& idx = msgUtil_index().byDescriptor;
  auto it = idx.find(m.GetDescriptor());
  return it == idx.end() ? 0 : it->second->type;
}

MSG_Message* msgUtil_buildMsg(const google::protobuf::Message& m, uint32_t sequence, void* reserved) {
  (void)reserved;  // kept for callers written against the original signature
  MSG_Type type = msgUtil_getMsgId(m);
  if (type == 0) return nullptr;
  size_t bytes = m.ByteSizeLong();
  if (bytes > MSG_MAX_PAYLOAD) return nullptr;
  MSG_Message* msg = MSG_AllocMsg(type, sequence, static_cast<uint32_t>(bytes));
  if (msg == nullptr) return nullptr;
  if (bytes > 0) {
    void* payload = MSG_GetPayloadMutable(msg);
    if (payload == nullptr || !m.SerializeToArray(payload, static_cast<int>(bytes))) {
      MSG_ReleaseMsg(msg);
      return nullptr;
    }
  }
  return msg;
}

// Replies carry the eErrorType number itself: the enumeration's values are
// the wire values, and the `error` fields are int32 so that numbers outside
// the enumeration (internal status codes passed through by the
// configuration callbacks) also arrive unchanged.
int convertErrorTypeToCommonPbType(int errorType) { return errorType; }
