// Placeholder until certificate files and requests are built.
#include "systemservice/syssrvPending.h"
#include "systemservice/syssrvPki.h"

// Runs nothing: the output is empty.
int run_cmd_with_text_out(const std::string& cmd_in, std::string& cmd_out) {
  syssrvPending("run_cmd_with_text_out", cmd_in);
  cmd_out.clear();
  return 0;
}
void SystemIFPKIListFilesReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFPKIListFilesReq", pContext, msg); }
void SystemIFPKIInstallFileReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFPKIInstallFileReq", pContext, msg); }
void SystemIFPKIManageFileReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFPKIManageFileReq", pContext, msg); }
void SystemIFPKIGenerateCSRReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFPKIGenerateCSRReq", pContext, msg); }
