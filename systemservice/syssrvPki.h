// Certificate files and certificate signing requests.
#pragma once

#include <string>

#include "platform/msg/MSG.h"

// Runs `cmd_in` through the shell and collects its whole standard output.
int run_cmd_with_text_out(const std::string& cmd_in, std::string& cmd_out);
void SystemIFPKIListFilesReq(void* pContext, const MSG_Message* msg);
void SystemIFPKIInstallFileReq(void* pContext, const MSG_Message* msg);
void SystemIFPKIManageFileReq(void* pContext, const MSG_Message* msg);
void SystemIFPKIGenerateCSRReq(void* pContext, const MSG_Message* msg);
