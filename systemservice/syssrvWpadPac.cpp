// The PAC file of a manual proxy, and the request to fetch the PAC file
// again (GetPacFileReq), which answers at once and then restarts proxy
// handling.
//
// File written: /opt/corvale/misc/wpad.dat (replaced whole), removed by
// RemovePACFile.
#include <cstdio>
#include <string>

#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvQuote.h"
#include "systemservice/syssrvWpad.h"

namespace {

const char kPacFile[] = "/opt/corvale/misc/wpad.dat";
const char kPacFormat[] = "function FindProxyForURL(url, host)\n{\n\treturn \"PROXY %s:%d\";\n}\n";

// The address stands inside a script's string: a quote or a backslash would
// end or bend that string, a line break would add a line.
bool pac_address_ok(const std::string& address) {
  if (!file_value_ok("CreateManualPac: proxy address", address)) return false;
  if (address.find_first_of("\"\\") == std::string::npos) return true;
  logwarn(nullptr, "CreateManualPac: proxy address refused, it holds a quote or a backslash\n");
  return false;
}

}  // namespace

void CreateManualPac(const char* address, int port) {
  const std::string addr = address != nullptr ? address : "";
  const int len = snprintf(nullptr, 0, kPacFormat, addr.c_str(), port);
  std::string content(static_cast<size_t>(len) + 1, '\0');
  snprintf(&content[0], content.size(), kPacFormat, addr.c_str(), port);
  content.pop_back();
  // Readers never see half a file: it is replaced whole.
  if (!pac_address_ok(addr) || !sysio_write_file_atomic(kPacFile, content)) {
    logerr(nullptr, "Unable to create Manual PAC file to udpate the content.\n");
    return;
  }
  logdebug(nullptr, "Updating Manual Pac file content with new data\n");
}

void RemovePACFile() {
  if (sysio().unlink(kPacFile) == 0) {
    logdebug(nullptr, "RemovePACFile: %s file deleted successfully.\n", kPacFile);
  } else {
    logdebug(nullptr, "RemovePACFile: No PAC file to delete.\n");
  }
}

void SystemIFGetPacFile(void* /*pContext*/, const MSG_Message* msg) {
  logdebug(nullptr, "SystemIFGetPacFile.Enter.\n");
  SystemIF::GetPacFileReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr(nullptr, "Msg Parse Error\n");
    return;
  }
  SystemIF::GetPacFileRsp rsp;
  rsp.set_error(0);
  if (syssrvSendReply(msg, kMsgIdSystemIFGetPacFileRsp, rsp, "SystemIFGetPacFileRsp: Reply send error\n") == 0) {
    logdebug(nullptr, "SystemIFGetPacFileRsp: Sent\n");
  }
  if (isDelegateRunning() == 1) {
    delegate_dns_set_post();
    stop_delegate();
    StopWpad();
  }
  StartWpad();
}
