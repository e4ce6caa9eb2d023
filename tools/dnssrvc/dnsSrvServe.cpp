#include "tools/dnssrvc/dnsSrvServe.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netinet/in.h>
#include <resolv.h>

#include <chrono>
#include <thread>
#include <vector>

#include "CommonIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgUtil.h"
#include "tools/dnssrvc/dnsSrvAnswer.h"

const char* const kDnsSrvcName = "DnsSrvc";

namespace {

// How long one receive may block before the stop flag is looked at again.
constexpr int kSliceMs = 100;

struct ServeContext {
  const DnsSrvcOptions* options;
  const DnsSrvResolver* resolve;
  std::ostream* out;
  std::ostream* err;
};

void sendAnswer(ServeContext* c, const MSG_Message* msg, const DnsIF::DnsSrvRsp& rsp) {
  const size_t bytes = rsp.ByteSizeLong();
  MSG_Message* reply = MSG_AllocMsgCopyHdr(msg, msgUtil_getMsgId(rsp), static_cast<uint32_t>(bytes));
  if (reply == nullptr || !rsp.SerializeToArray(MSG_GetPayloadMutable(reply), static_cast<int>(bytes))) {
    if (reply != nullptr) MSG_ReleaseMsg(reply);
    *c->err << "dnssrvc: DnsSrvReq: Reply Send Error" << std::endl;
    return;
  }
  // The requester may have given up and gone; that is its business.
  if (MSG_SendMsg(kDnsSrvcName, MSG_GetSender(msg), reply) != 0) {
    *c->err << "dnssrvc: DnsSrvReq: msg send failed" << std::endl;
  }
}

void handleReq(void* pContext, const MSG_Message* msg) {
  ServeContext* c = static_cast<ServeContext*>(pContext);
  DnsIF::DnsSrvReq req;
  if (!req.ParseFromArray(MSG_GetPayload(msg), static_cast<int>(MSG_GetPayloadBytes(msg)))) {
    *c->err << "dnssrvc: DnsSrvReq: Parse Error" << std::endl;
    return;
  }
  const std::string query = req.service() + "." + req.protocol() + "." + req.domain_name();
  if (c->options->silent) {
    *c->out << "dnssrvc: " << query << " -> (silent)" << std::endl;
    return;
  }
  DnsIF::DnsSrvRsp rsp;
  std::string target;
  const int error = c->options->error ? CommonIF::kErrGenericError : (*c->resolve)(req, &target);
  rsp.set_error(error);
  if (error == 0) rsp.set_target(target);
  *c->out << "dnssrvc: " << query << " -> " << (error == 0 ? target : "error " + std::to_string(error)) << std::endl;
  if (c->options->delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(c->options->delayMs));
  sendAnswer(c, msg, rsp);
}

}  // namespace

int dnsSrvResolve(const DnsIF::DnsSrvReq& req, std::string* target) {
  const std::string query = req.service() + "." + req.protocol() + "." + req.domain_name();
  std::vector<unsigned char> answer(NS_MAXMSG);
  const int n = res_query(query.c_str(), ns_c_in, ns_t_srv, answer.data(), static_cast<int>(answer.size()));
  if (n < 0) return CommonIF::kErrItemNotFound;
  return dnsSrvTarget(answer.data(), n, target);
}

bool dnsSrvUseServer(const char* address) {
  in_addr addr;
  if (inet_pton(AF_INET, address, &addr) != 1 || res_init() != 0) return false;
  _res.nsaddr_list[0] = sockaddr_in{};
  _res.nsaddr_list[0].sin_family = AF_INET;
  _res.nsaddr_list[0].sin_port = htons(NS_DEFAULTPORT);
  _res.nsaddr_list[0].sin_addr = addr;
  _res.nscount = 1;
  return true;
}

int dnsSrvcServe(const DnsSrvcOptions& options, const DnsSrvResolver& resolve, const std::atomic<bool>& stop,
                 std::ostream& out, std::ostream& err) {
  ServeContext context = {&options, &resolve, &out, &err};
  const MSG_Type reqType = msgUtil_getMsgId(DnsIF::DnsSrvReq());
  if (MSG_OpenLocal(kDnsSrvcName) != 0) {
    err << "dnssrvc: cannot open endpoint " << kDnsSrvcName << std::endl;
    return 1;
  }
  MSG_Callback cb = {handleReq, &context, reqType, reqType, 0};
  MSG_RegisterCallback(kDnsSrvcName, &cb);
  out << "dnssrvc: serving " << kDnsSrvcName << std::endl;
  while (!stop) {
    MSG_Message* m = MSG_RecvAnyMsg(kDnsSrvcName, kSliceMs);
    if (m == nullptr) continue;
    MSG_ProcessCallback(kDnsSrvcName, m);  // other types: released unanswered
    MSG_ReleaseMsg(m);
  }
  MSG_CloseLocal(kDnsSrvcName);
  return 0;
}
