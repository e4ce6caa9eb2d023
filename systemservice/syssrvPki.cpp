// The certificate store requests: list, install, delete or inspect. Each
// becomes one command line of a platform script (after "/opt/corvale/bin/"):
//   list_installed_certs.sh ca|server|client|all    list_installed_crls.sh
//   install_cert.sh PATH       install_cert.sh PATH 1 (SCEP CA)
//   install_scep_cert.sh PATH  install_crl.sh PATH
//   remove_cert.sh HASH        remove_crl.sh HASH
//   get_cert_details.sh HASH   check_cert_installed.sh HASH
//   check_csr_path.sh client|server                  remove_pki_files.sh
// Trailing blanks are part of several of these lines. Paths and hash names
// come from any local process: each is passed as one shell word.
#include <cstdlib>
#include <string>

#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvPki.h"
#include "systemservice/syssrvPkiReply.h"
#include "systemservice/syssrvQuote.h"

namespace {

using namespace SystemIF;

const char kIdentityCertChangeVar[] = "system.pki.certificates.identitycertchangeevent";

// A value as a word of the command line; an empty value adds nothing, so
// "remove_cert.sh " keeps nothing after its blank.
std::string word(const std::string& value) { return value.empty() ? std::string() : shell_word(value); }

const struct {
  eCertClassType type;
  const char* query;
} kListQueries[] = {{kCACerts, "ca"}, {kServerCerts, "server"}, {kClientCerts, "client"}, {kAllCerts, "all"}};

bool listCommand(const PKIListFilesReq& req, std::string* cmd) {
  if (!req.has_file_type()) return false;
  if (req.file_type() == kCRL) {
    *cmd = "list_installed_crls.sh";
    return true;
  }
  if (req.file_type() != kCertificate) return false;
  const char* query = "all";
  for (const auto& q : kListQueries) {
    if (req.has_cert_type() && q.type == req.cert_type()) query = q.query;
  }
  *cmd = std::string("list_installed_certs.sh ") + query;
  return true;
}

// Rows are tried in order; `anyScep` matches whatever SCEP type (or none)
// the request gives.
const struct {
  ePKIFileType file;
  bool anyScep;
  ePKIScepCertificateType scep;
  const char* script;
  const char* tail;
} kInstallRules[] = {
    {kCertificate, false, kScep, "install_scep_cert.sh ", " "},
    {kCertificate, false, kScepCA, "install_cert.sh ", " 1"},
    {kCertificate, true, kNone, "install_cert.sh ", " "},
    {kCRL, true, kNone, "install_crl.sh ", ""},
};

bool installCommand(const PKIInstallFileReq& req, std::string* cmd) {
  if (!req.has_file_type() || !req.has_file_path()) return false;
  for (const auto& r : kInstallRules) {
    if (r.file != req.file_type()) continue;
    if (!r.anyScep && (!req.has_scep_certificate_type() || r.scep != req.scep_certificate_type())) continue;
    *cmd = r.script + word(req.file_path()) + r.tail;
    return true;
  }
  return false;
}

enum class ManageArg { kHashName, kRequiredHashName, kCsrType, kNothing };

const struct {
  ePKIOpType op;
  ePKIFileType file;
  const char* script;
  ManageArg arg;
} kManageRules[] = {
    {kDeleteFile, kCertificate, "remove_cert.sh ", ManageArg::kHashName},
    {kDeleteFile, kCRL, "remove_crl.sh ", ManageArg::kHashName},
    {kGetFileDetails, kCertificate, "get_cert_details.sh ", ManageArg::kRequiredHashName},
    {kCheckFileInstalled, kCertificate, "check_cert_installed.sh ", ManageArg::kRequiredHashName},
    {kCheckFileInstalled, kCSR, "check_csr_path.sh ", ManageArg::kCsrType},
    {kDeleteAllFiles, kAllPKITypes, "remove_pki_files.sh ", ManageArg::kNothing},
};

bool manageCommand(const PKIManageFileReq& req, std::string* cmd) {
  // An absent operation must not read as its first value, "delete".
  if (!req.has_file_type() || !req.has_operation()) return false;
  for (const auto& r : kManageRules) {
    if (r.op != req.operation() || r.file != req.file_type()) continue;
    switch (r.arg) {
      case ManageArg::kRequiredHashName:
        if (!req.has_hashname()) return false;
        [[fallthrough]];
      case ManageArg::kHashName:
        *cmd = r.script + word(req.hashname());
        return true;
      case ManageArg::kCsrType:
        if (!req.has_csr_type() || (req.csr_type() != kClientCSR && req.csr_type() != kServerCSR)) return false;
        *cmd = std::string(r.script) + (req.csr_type() == kClientCSR ? "client" : "server");
        return true;
      case ManageArg::kNothing:
        *cmd = r.script;
        return true;
    }
  }
  return false;
}

// The scripts name the kind of certificate they installed or removed; an
// identity (client or server) certificate raises the change event that its
// users watch.
void raiseIdentityCertChange(const std::string& scriptOutput) {
  if (scriptOutput.find("client") == std::string::npos && scriptOutput.find("server") == std::string::npos) return;
  const std::string value = config_read_str(kIdentityCertChangeVar, 16);
  const unsigned next = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10)) + 1u;
  config_write(kIdentityCertChangeVar, std::to_string(next).c_str(), kSystem);
}

// Parses the request, builds its command with `build`, runs it and answers,
// leaving the captured output in *out; false (nothing run, no reply) when
// the request does not parse.
template <class Req>
bool handle(const MSG_Message* msg, const char* name, bool (*build)(const Req&, std::string*), Req* req,
            std::string* out) {
  if (!syssrvParseRequest(msg, req)) {
    logerr(nullptr, "%s: Parse Error\n", name);
    return false;
  }
  std::string cmd;
  const bool matched = build(*req, &cmd);
  cmd.insert(0, kPkiScriptDir);
  *out = pkiRunAndReply(msg, name, matched ? &cmd : nullptr);
  return true;
}

}  // namespace

void SystemIFPKIListFilesReq(void* /*pContext*/, const MSG_Message* msg) {
  PKIListFilesReq req;
  std::string out;
  handle(msg, "SystemIFPKIListFilesReq", listCommand, &req, &out);
}

void SystemIFPKIInstallFileReq(void* /*pContext*/, const MSG_Message* msg) {
  PKIInstallFileReq req;
  std::string out;
  if (handle(msg, "SystemIFPKIInstallFileReq", installCommand, &req, &out) && req.has_file_type() &&
      req.file_type() == kCertificate) {
    raiseIdentityCertChange(out);
  }
}

void SystemIFPKIManageFileReq(void* /*pContext*/, const MSG_Message* msg) {
  PKIManageFileReq req;
  std::string out;
  if (handle(msg, "SystemIFPKIManageFileReq", manageCommand, &req, &out) && req.has_operation() &&
      req.operation() == kDeleteFile && req.has_file_type() && req.file_type() == kCertificate) {
    raiseIdentityCertChange(out);
  }
}
