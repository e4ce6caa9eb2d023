#include "tools/configsrvc/cfgMsg.h"

#include <memory>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>

#include "platform/msgutil/msgUtil.h"
#include "tools/configsrvc/cfgLog.h"

using google::protobuf::Descriptor;
using google::protobuf::FieldDescriptor;
using google::protobuf::Message;

bool cfgNameFromInst(const ConfigIF::Inst& inst, std::string* name, int* instance) {
  name->clear();
  *instance = 0;
  int first = (inst.node_size() > 0 && inst.node(0).name() == "cfg") ? 1 : 0;
  if (inst.node_size() <= first) return false;
  for (int i = first; i < inst.node_size(); ++i) {
    const ConfigIF::Node& n = inst.node(i);
    *name += n.name();
    if (i + 1 == inst.node_size()) {
      *instance = n.instance();
    } else {
      if (n.instance() != 0) *name += "[" + std::to_string(n.instance()) + "]";
      *name += ".";
    }
  }
  return !name->empty();
}

void cfgFillInst(ConfigIF::Inst* inst, const std::string& name, int instance) {
  inst->clear_node();
  ConfigIF::Node* n = inst->add_node();
  n->set_name(name);
  n->set_instance(instance);
}

namespace {

bool sendSerialised(const std::string& local, MSG_Endpoint to, MSG_Message* out, const Message& m) {
  const size_t bytes = m.ByteSizeLong();
  if (!m.SerializeToArray(MSG_GetPayloadMutable(out), static_cast<int>(bytes))) {
    MSG_ReleaseMsg(out);
    cfgLog("cannot serialise %s", m.GetTypeName().c_str());
    return false;
  }
  return MSG_SendMsg(local.c_str(), to, out) == 0;
}

}  // namespace

bool cfgReply(const std::string& local, const MSG_Message* req, const Message& rsp) {
  MSG_Type type = msgUtil_getMsgId(rsp);
  MSG_Message* out = type ? MSG_AllocMsgCopyHdr(req, type, static_cast<uint32_t>(rsp.ByteSizeLong())) : nullptr;
  if (out == nullptr) {
    cfgLog("cannot build %s", rsp.GetTypeName().c_str());
    return false;
  }
  if (!sendSerialised(local, MSG_GetSender(req), out, rsp)) {
    // The requester may have given up and gone; nothing else to do.
    cfgLog("%s not delivered", rsp.GetTypeName().c_str());
    return false;
  }
  return true;
}

bool cfgReplyError(const std::string& local, const MSG_Message* req, int error) {
  const MsgTypeEntry* e = msgUtil_findByType(MSG_GetType(req));
  if (e == nullptr) return false;
  std::string name = e->name;
  if (name.size() < 3 || name.compare(name.size() - 3, 3, "Req") != 0) return false;
  name.replace(name.size() - 3, 3, "Rsp");
  const MsgTypeEntry* r = msgUtil_findByName(name);
  if (r == nullptr) return false;
  std::unique_ptr<Message> rsp = msgUtil_newMessage(r->type);
  if (!rsp) return false;
  const Descriptor* d = rsp->GetDescriptor();
  const FieldDescriptor* f = d->FindFieldByName("error");
  if (f != nullptr && f->cpp_type() == FieldDescriptor::CPPTYPE_INT32) {
    rsp->GetReflection()->SetInt32(rsp.get(), f, error);
  } else if ((f = d->FindFieldByName("ret_message")) != nullptr && f->cpp_type() == FieldDescriptor::CPPTYPE_MESSAGE) {
    Message* ret = rsp->GetReflection()->MutableMessage(rsp.get(), f);
    const FieldDescriptor* ef = ret->GetDescriptor()->FindFieldByName("error");
    if (ef != nullptr && ef->cpp_type() == FieldDescriptor::CPPTYPE_INT32) {
      ret->GetReflection()->SetInt32(ret, ef, error);
    }
  }
  return cfgReply(local, req, *rsp);
}

bool cfgSendTo(const std::string& local, const std::string& client, const Message& m, uint32_t sequence,
               MSG_Endpoint* to) {
  *to = MSG_GetRemoteId(local.c_str(), client.c_str());
  if (*to == 0) return false;
  MSG_Type type = msgUtil_getMsgId(m);
  MSG_Message* out = type ? MSG_AllocMsg(type, sequence, static_cast<uint32_t>(m.ByteSizeLong())) : nullptr;
  if (out == nullptr) return false;
  return sendSerialised(local, *to, out, m);
}

bool cfgParse(const MSG_Message* msg, Message* m) {
  return m->ParseFromArray(MSG_GetPayload(msg), static_cast<int>(MSG_GetPayloadBytes(msg)));
}
