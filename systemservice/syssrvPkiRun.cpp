// Script runs of the certificate requests: the command's standard output
// captured, and the one reply frame around it.
#include <cstdio>

#include "CommonIF.pb.h"
#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvPki.h"
#include "systemservice/syssrvPkiReply.h"

const char kPkiScriptDir[] = "/opt/corvale/bin/";

namespace {

// The whole output travels back in one reply, whose payload is limited
// (MSG_MAX_PAYLOAD, 8 MiB): a script that prints without end must still
// leave the requester an answer. A long certificate listing is far below.
constexpr size_t kPkiOutputMax = 256 * 1024;

}  // namespace

int run_cmd_with_text_out(const std::string& cmd_in, std::string& cmd_out) {
  cmd_out.clear();
  FILE* pipe = sysio().popen(cmd_in, "r");
  if (pipe == nullptr) return -1;
  // Past the cap the rest is still read (and dropped): a script blocked on a
  // full pipe would never end, and its exit status still decides.
  char piece[80];
  size_t got = 0;
  bool cut = false;
  while ((got = fread(piece, 1, sizeof piece - 1, pipe)) > 0) {
    const size_t room = kPkiOutputMax - cmd_out.size();
    cmd_out.append(piece, got < room ? got : room);
    cut = cut || got > room;
  }
  const int status = sysio().pclose(pipe);
  if (cut) logwarn(nullptr, "run_cmd_with_text_out: output cut to %zu bytes\n", kPkiOutputMax);
  return status;
}

std::string pkiRunAndReply(const MSG_Message* req, const char* handler, const std::string* cmd) {
  std::string out;
  const bool ok = cmd != nullptr && run_cmd_with_text_out(*cmd, out) == 0;
  SystemIF::PKIOpRsp rsp;
  rsp.set_error(ok ? CommonIF::kErrNoError : CommonIF::kErrGenericError);
  rsp.set_result_txt(ok ? "SUCCESS" : "FAIL");
  rsp.set_detail_txt(out);
  const std::string err = std::string(handler) + ": Reply Send Error\n";
  syssrvSendReply(req, kMsgIdSystemIFPKIOpRsp, rsp, err.c_str(), nullptr, &kSyssrvAllocSilent);
  return out;
}
