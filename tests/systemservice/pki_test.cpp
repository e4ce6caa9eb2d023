// The certificate requests on the daemon fixture: the script command lines,
// the reply, the identity-certificate change counter, the CSR line and its
// subject-alternative-name file, hostile values.
#include <google/protobuf/text_format.h>

#include "SystemIF.pb.h"
#include "systemservice/syssrvPki.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using namespace SystemIF;
using Strings = std::vector<std::string>;
using PkiTest = CfgTest;
const char kDir[] = "/opt/corvale/bin/";
const char kCounter[] = "system.pki.certificates.identitycertchangeevent";
const char kSan[] = "/data/corvale/ssl/misc/csr_setup.cnf";

template <class Req>
std::string req(const char* text) {
  Req r;
  return google::protobuf::TextFormat::ParseFromString(text, &r) ? r.SerializeAsString() : "(bad row)";
}

struct Row { MSG_Type type; MSG_CallbackFunc handler; std::string payload; const char* cmd; std::string out = "ok\n"; int exit = 0; bool raise = false; };
const MSG_Type L = kMsgIdSystemIFPKIListFilesReq, I = kMsgIdSystemIFPKIInstallFileReq, M = kMsgIdSystemIFPKIManageFileReq;
const auto list = SystemIFPKIListFilesReq, install = SystemIFPKIInstallFileReq, manage = SystemIFPKIManageFileReq;

// One reply per request; the script's output comes back even when it failed,
// cut where it would crowd out the reply.
std::string reply(const char* cmd, const std::string& out, int exit) {
  PKIOpRsp rsp;
  rsp.set_error(cmd && exit == 0 ? 0 : -1);
  rsp.set_result_txt(cmd && exit == 0 ? "SUCCESS" : "FAIL");
  rsp.set_detail_txt(cmd ? out.substr(0, 256 * 1024) : "");
  return rsp.ShortDebugString();
}

TEST_F(PkiTest, EachRequestRunsItsOneScriptLineAndAnswersWithTheOutput) {
  const Row rows[] = {
      {L, list, req<PKIListFilesReq>("file_type: kCertificate cert_type: kCACerts"), "list_installed_certs.sh ca"},
      {L, list, req<PKIListFilesReq>("file_type: kCertificate cert_type: kServerCerts"), "list_installed_certs.sh server"},
      {L, list, req<PKIListFilesReq>("file_type: kCertificate cert_type: kClientCerts"), "list_installed_certs.sh client"},
      {L, list, req<PKIListFilesReq>("file_type: kCertificate"), "list_installed_certs.sh all", std::string(200, 'y') + "\n\nnone", 1},
      {L, list, req<PKIListFilesReq>("file_type: kCRL cert_type: kCACerts"), "list_installed_crls.sh", std::string(300 * 1024, 'x')},
      {L, list, req<PKIListFilesReq>("file_type: kCSR"), nullptr}, {L, list, "", nullptr},
      {I, install, req<PKIInstallFileReq>("file_type: kCertificate file_path: '/tmp/a.pem'"), "install_cert.sh /tmp/a.pem ", "server cert\n", 0, true},
      {I, install, req<PKIInstallFileReq>("file_type: kCertificate file_path: '/tmp/a.pem' scep_certificate_type: kScepCA"), "install_cert.sh /tmp/a.pem 1", "ca\n"},
      {I, install, req<PKIInstallFileReq>("file_type: kCertificate file_path: 'x' scep_certificate_type: kScep"), "install_scep_cert.sh x ", "client\n", 2, true},
      {I, install, req<PKIInstallFileReq>("file_type: kCRL file_path: '/tmp/c.crl'"), "install_crl.sh /tmp/c.crl", "server\n"},
      {I, install, req<PKIInstallFileReq>("file_type: kCertificate file_path: 'a b;touch /tmp/x'"), "install_cert.sh 'a b;touch /tmp/x' "},
      {I, install, req<PKIInstallFileReq>("file_type: kCertificate"), nullptr}, {I, install, req<PKIInstallFileReq>("file_type: kCSR file_path: 'x'"), nullptr},
      {M, manage, req<PKIManageFileReq>("file_type: kCertificate operation: kDeleteFile"), "remove_cert.sh ", "client\n", 0, true},
      {M, manage, req<PKIManageFileReq>("file_type: kCRL operation: kDeleteFile hashname: '$(reboot)'"), "remove_crl.sh '$(reboot)'"},
      {M, manage, req<PKIManageFileReq>("file_type: kCertificate operation: kGetFileDetails hashname: 'ab12.0'"), "get_cert_details.sh ab12.0", "server\n"},
      {M, manage, req<PKIManageFileReq>("file_type: kCertificate operation: kGetFileDetails"), nullptr},
      {M, manage, req<PKIManageFileReq>("file_type: kCertificate operation: kCheckFileInstalled hashname: 'h'"), "check_cert_installed.sh h"},
      {M, manage, req<PKIManageFileReq>("file_type: kCSR operation: kCheckFileInstalled csr_type: kServerCSR"), "check_csr_path.sh server"},
      {M, manage, req<PKIManageFileReq>("file_type: kCSR operation: kCheckFileInstalled"), nullptr},
      {M, manage, req<PKIManageFileReq>("file_type: kAllPKITypes operation: kDeleteAllFiles"), "remove_pki_files.sh "},
      {M, manage, req<PKIManageFileReq>("file_type: kCertificate hashname: 'h'"), nullptr},  // no operation: not a delete
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.cmd ? r.cmd : r.payload);
    peer().set(kCounter, "7");
    rec().on_prefix(kDir).output(r.out).exit_code(r.exit);
    forget();
    deliver(r.type, r.payload, r.handler);
    PKIOpRsp rsp;
    ASSERT_TRUE(answer(kMsgIdSystemIFPKIOpRsp, &rsp));
    EXPECT_EQ(rsp.ShortDebugString(), reply(r.cmd, r.out, r.exit));
    EXPECT_EQ(rec().commands(), r.cmd ? Strings{kDir + std::string(r.cmd)} : Strings{});
    EXPECT_EQ(sent("write "), r.raise ? Strings{"write " + std::string(kCounter) + "=8 as 30"} : Strings{});
    EXPECT_EQ(logged(4, "run_cmd_with_text_out: output cut to 262144 bytes\n"), r.out.size() > 256 * 1024 ? 1 : 0);
  }
  peer().breakReads(kCounter);  // an unreadable counter starts again at 1
  rec().on_prefix(kDir).output("client\n");
  forget();
  deliver(M, rows[14].payload, manage);  // remove_cert.sh, output "client"
  EXPECT_EQ(sent("write "), Strings{"write " + std::string(kCounter) + "=1 as 30"});
}

// The SCEP challenge is a secret: it is in the command, never in the log.
TEST_F(PkiTest, CsrLineQuotesEverySubjectValueAndWritesTheNamesFileFirst) {
  const struct { const char* text; const char* cmd; const char* san; } rows[] = {
      {"csr_type: kClientCSR common_name: 'a' country: 'Germany'", R"(generate_csr.sh client "a" "nil" "nil" "nil" "nil" "DE" sha1 )", ""},
      {"csr_type: kServerCSR hash_type: kSHA256Hash common_name: 'c' org_unit: 'u' organization: 'o' locality: 'l' state: 's' san_crvl_fqdn_name: 'h.example' san_crvl_ipv4_addr: '10.0.0.5'",
       R"(generate_csr.sh server "c" "u" "o" "l" "s" "nil" sha256 )", "subjectAltName=DNS:h.example,IP:10.0.0.5"},
      {"csr_type: kClientCSR country: 'Atlantis' san_crvl_ipv6_link_local_addr: 'fe80::1' san_crvl_ipv6_site_local_addr: 'fec0::1' san_crvl_ipv6_global_addr: '2001:db8::1' san_crvl_ipv4_dns_addr: 'v4.example' san_crvl_additional_name: 'b.example' san_crvl_fqdn_name: 'a.example'",
       R"(generate_csr.sh client "nil" "nil" "nil" "nil" "nil" "nil" sha1 )", "subjectAltName=DNS:a.example,DNS:b.example,DNS:v4.example,IP:2001:db8::1,IP:fec0::1,IP:fe80::1"},
      {"isscep: true csr_type: kServerCSR common_name: 'c' country: 'Germany' scepchallengepassword: 's3cret' email: 'pki@example.com' san_crvl_fqdn_name: 'x'",
       R"(generate_scep_csr.sh server "c" "nil" "nil" "nil" "nil" "DE" sha1 "s3cret" "pki@example.com" )", nullptr},
      {R"(csr_type: kClientCSR common_name: 'a" ; touch /tmp/x ; "' state: '$(reboot)`id`\\')", R"(generate_csr.sh client "a\" ; touch /tmp/x ; \"" "nil" "nil" "nil" "\$(reboot)\`id\`\\" "nil" sha1 )", ""},
      {"csr_type: kClientCSR san_crvl_ipv4_dns_addr: 'a\\nsubjectAltName=DNS:evil'", nullptr, nullptr},
      {"csr_type: kClientCSR san_crvl_fqdn_name: 'a\\r'", nullptr, nullptr}, {"csr_type: kClientCSR san_crvl_fqdn_name: 'a\\000b'", nullptr, nullptr},
      {"common_name: 'a'", nullptr, nullptr}, {"isscep: true", nullptr, nullptr},
  };
  rec().make_dirs("/data/corvale/ssl/misc");
  for (const auto& r : rows) {
    SCOPED_TRACE(r.text);
    unlink(rec().path(kSan).c_str());
    forget();
    deliver(kMsgIdSystemIFPKIGenerateCSRReq, req<PKIGenerateCSRReq>(r.text), SystemIFPKIGenerateCSRReq);
    PKIOpRsp rsp;
    ASSERT_TRUE(answer(kMsgIdSystemIFPKIOpRsp, &rsp));
    EXPECT_EQ(rsp.ShortDebugString(), reply(r.cmd, "", 0));
    const std::string cmd = r.cmd ? kDir + std::string(r.cmd) : "";
    EXPECT_EQ(rec().commands(), r.cmd ? Strings{cmd} : Strings{});
    EXPECT_EQ(rec().file_exists(kSan) ? rec().file_bytes(kSan) : "(none)", r.san ? r.san : "(none)");
    Strings order;  // the names file replaced whole, then the script run
    for (const auto& x : rec().records()) order.push_back(x.kind == SysIoCall::kRename ? x.to : sysio_call_name(x.kind));
    EXPECT_EQ(order, r.san && r.cmd ? Strings({"open", kSan, "popen"}) : r.cmd ? Strings({"popen"}) : Strings());
    std::string shown = cmd;
    if (shown.find("s3cret") != std::string::npos) shown.replace(shown.find("s3cret"), 6, "********");
    EXPECT_EQ(logged(6, "SystemIFPKIGenerateCSRReq: Generate CSR command line argument is " + shown + ":\n"), r.cmd ? 1 : 0);
    EXPECT_EQ(logged(3, "SystemIFPKIGenerateCSRReq: Invalid Country info!\n"), std::string(r.text).find("Atlantis") != std::string::npos ? 1 : 0);
    EXPECT_EQ(logBytes().find("s3cret"), std::string::npos);
  }
}

// Nothing answered: the next request's reply is the first to arrive.
TEST_F(PkiTest, UnparsableRequestsAndAnUnwritableNamesFileGetNoReply) {
  const struct { MSG_Type type; MSG_CallbackFunc handler; const char* name; } handlers[] = {
      {L, list, "SystemIFPKIListFilesReq"}, {I, install, "SystemIFPKIInstallFileReq"}, {M, manage, "SystemIFPKIManageFileReq"},
      {kMsgIdSystemIFPKIGenerateCSRReq, SystemIFPKIGenerateCSRReq, "SystemIFPKIGenerateCSRReq"}};
  for (const auto& h : handlers) deliver(h.type, std::string("\x0a\x7f\x01", 3), h.handler);
  for (const auto& h : handlers) EXPECT_EQ(logged(3, std::string(h.name) + ": Parse Error\n"), 1) << h.name;
  deliver(kMsgIdSystemIFPKIGenerateCSRReq, req<PKIGenerateCSRReq>("csr_type: kClientCSR"), SystemIFPKIGenerateCSRReq);  // no misc directory
  EXPECT_EQ(logged(3, "SystemIFPKIGenerateCSRReq: SAN field generation Error\n"), 1);
  deliver(L, req<PKIListFilesReq>("file_type: kCRL"), list, 99);
  PKIOpRsp rsp;
  uint32_t seq = 0;
  EXPECT_TRUE(answer(kMsgIdSystemIFPKIOpRsp, &rsp, 5000, &seq) && seq == 99u);
  EXPECT_EQ(rec().commands(), Strings{std::string(kDir) + "list_installed_crls.sh"});
}

}  // namespace
