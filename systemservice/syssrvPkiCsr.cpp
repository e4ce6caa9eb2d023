// Certificate signing requests. The command line (after "/opt/corvale/bin/"):
//   generate_csr.sh client|server "CN" "OU" "O" "L" "ST" "CC" sha1|sha256
//   generate_scep_csr.sh client|server ... sha1|sha256 "CHALLENGE" "EMAIL"
// every subject value in double quotes and followed by a blank, "nil" for an
// empty one, and the country as its two-letter code. A plain request first
// writes the subject alternative names that generate_csr.sh reads:
//   /data/corvale/ssl/misc/csr_setup.cnf   subjectAltName=DNS:a,IP:b (no line end)
#include <string>

#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvLocale.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvPki.h"
#include "systemservice/syssrvPkiReply.h"
#include "systemservice/syssrvQuote.h"

namespace {

using SystemIF::PKIGenerateCSRReq;

const char kHandler[] = "SystemIFPKIGenerateCSRReq";
const char kSanFile[] = "/data/corvale/ssl/misc/csr_setup.cnf";

// A value inside double quotes: it stays one argument whatever it holds.
std::string quoted(const std::string& value) {
  return value.empty() ? std::string("\"nil\" ") : "\"" + shell_dquoted(value) + "\" ";
}

// In the order the names appear in the request's certificate.
const struct {
  const std::string& (PKIGenerateCSRReq::*field)() const;
  const char* prefix;
} kSanFields[] = {
    {&PKIGenerateCSRReq::san_crvl_fqdn_name, "DNS:"},
    {&PKIGenerateCSRReq::san_crvl_additional_name, "DNS:"},
    {&PKIGenerateCSRReq::san_crvl_ipv4_addr, "IP:"},
    {&PKIGenerateCSRReq::san_crvl_ipv4_dns_addr, "DNS:"},
    {&PKIGenerateCSRReq::san_crvl_ipv6_global_addr, "IP:"},
    {&PKIGenerateCSRReq::san_crvl_ipv6_site_local_addr, "IP:"},
    {&PKIGenerateCSRReq::san_crvl_ipv6_link_local_addr, "IP:"},
};

// The file's bytes; false when a value would break its one line (a name
// with a line break could add a setting of its own to the file openssl reads).
bool sanFileBytes(const PKIGenerateCSRReq& req, std::string* bytes) {
  std::string list;
  for (const auto& f : kSanFields) {
    const std::string& value = (req.*f.field)();
    if (!file_value_ok("subject alternative name", value)) return false;
    if (!value.empty()) list += f.prefix + value + ",";
  }
  if (!list.empty()) list.pop_back();
  *bytes = list.empty() ? std::string() : "subjectAltName=" + list;
  return true;
}

std::string countryCode(const std::string& country) {
  if (country.empty()) return quoted("");
  const country_conv_t* row = getcountryinfo(country.c_str());
  if (row == nullptr) {
    logerr(nullptr, "SystemIFPKIGenerateCSRReq: Invalid Country info!\n");
    return quoted("");
  }
  return quoted(row->conv);
}

}  // namespace

void SystemIFPKIGenerateCSRReq(void* /*pContext*/, const MSG_Message* msg) {
  PKIGenerateCSRReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr(nullptr, "SystemIFPKIGenerateCSRReq: Parse Error\n");
    return;
  }
  const bool scep = req.isscep();
  const bool typeOk = req.has_csr_type() && (req.csr_type() == SystemIF::kClientCSR || req.csr_type() == SystemIF::kServerCSR);
  if (!typeOk) {
    pkiRunAndReply(msg, kHandler, nullptr);
    return;
  }
  std::string cmd = std::string(kPkiScriptDir) + (scep ? "generate_scep_csr.sh " : "generate_csr.sh ") +
                    (req.csr_type() == SystemIF::kClientCSR ? "client " : "server ");
  if (!scep) {
    std::string san;
    if (!sanFileBytes(req, &san)) {
      pkiRunAndReply(msg, kHandler, nullptr);
      return;
    }
    if (!sysio_write_file_atomic(kSanFile, san)) {
      logerr(nullptr, "SystemIFPKIGenerateCSRReq: SAN field generation Error\n");
      return;
    }
  }
  for (const std::string* v : {&req.common_name(), &req.org_unit(), &req.organization(), &req.locality(), &req.state()}) {
    cmd += quoted(*v);
  }
  cmd += countryCode(req.country());
  cmd += req.hash_type() == SystemIF::kSHA256Hash ? "sha256 " : "sha1 ";
  // The challenge password is a secret: the log line shows it masked.
  std::string logged = cmd;
  if (scep) {
    cmd += quoted(req.scepchallengepassword());
    logged += req.scepchallengepassword().empty() ? quoted("") : quoted(kSecretMask);
    cmd += quoted(req.email());
    logged += quoted(req.email());
  }
  loginfo(nullptr, "SystemIFPKIGenerateCSRReq: Generate CSR command line argument is %s:\n", log_text(logged).c_str());
  pkiRunAndReply(msg, kHandler, &cmd);
}
