// The certificate store of the simulation (sim/pki, on this machine's
// openssl) driven through the daemon's certificate requests. Natively only:
// the test makes its certificates and reads the request back with this
// machine's openssl, which is no program of the board.
#include <fstream>
#include <regex>

#include <unistd.h>

#include "tests/sim/simFixture.h"

TEST_F(SimTest, AdministratorInstallsACaThenRequestsACsrWhoseNamesOpensslReadsBack) {
  if (std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr) GTEST_SKIP() << "natively only";
  bringUp();
  const std::string root = app->root();
  for (const std::string cert : {"ca -addext basicConstraints=critical,CA:TRUE", "room -addext basicConstraints=CA:FALSE -addext extendedKeyUsage=serverAuth"}) {
    const std::string name = cert.substr(0, cert.find(' '));
    ASSERT_EQ(std::system(("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 -keyout " + root + "/tmp/key.pem -out " + root +
                           "/tmp/" + name + ".pem -subj /CN=" + cert + " 2>/dev/null").c_str()), 0);
  }
  // The organisation would run a command if it left its quotes.
  const std::string org = "R\" ; touch " + root + "/pwned ; \"", csr = "csr_type: kServerCSR hash_type: kSHA256Hash common_name: 'room.example' country: 'Germany' "
      "organization: '" + org + "' san_crvl_fqdn_name: 'room.example' san_crvl_additional_name: 'conf.example' san_crvl_ipv4_addr: '192.0.2.10' san_crvl_ipv6_global_addr: '2001:db8::10'";
  const struct { const char* mode; const char* type; const char* fields; const char* reply; const char* counter; } rows[] = {
      {"", "PKIInstallFileReq", "file_type: kCertificate file_path: '/tmp/ca.pem'", "SUCCESS\"\ndetail_txt: \"installed ca certificate ", "0"},
      {"", "PKIListFilesReq", "file_type: kCertificate cert_type: kCACerts", "SUCCESS\"\ndetail_txt: \"ca ", "0"},
      {"", "PKIInstallFileReq", "file_type: kCertificate file_path: '/tmp/room.pem'", "SUCCESS\"\ndetail_txt: \"installed server certificate ", "1"},
      {"", "PKIGenerateCSRReq", csr.c_str(), "SUCCESS\"\ndetail_txt: \"-----BEGIN CERTIFICATE REQUEST-----", "1"},
      {"flood", "PKIListFilesReq", "file_type: kCRL", "SUCCESS\"\ndetail_txt: \"list_installed_crls.sh: a long line", "1"},  // 1 MiB, cut
      {"fail", "PKIListFilesReq", "file_type: kCRL", "FAIL\"\ndetail_txt: \"list_installed_crls.sh: simulated failure\\n\"", "1"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.fields);
    std::ofstream(root + "/sim/pki-mode") << r.mode;
    const SimRun run = app->ctl({"call", std::string("SystemIF.") + r.type, r.fields, "--expect", "SystemIF.PKIOpRsp", "--timeout", "30000"});
    EXPECT_NE(run.out.find(std::string("result_txt: \"") + r.reply), std::string::npos) << run.out << run.err;
    EXPECT_TRUE(simWaitFor([&] { return app->configGet("system.pki.certificates.identitycertchangeevent") == r.counter; }));
  }
  const std::string text = simCommandOutput("openssl req -noout -text -in " + root + "/data/corvale/ssl/csr/server.csr");
  EXPECT_NE(text.find("Subject: CN = room.example, O = \"R\\\" ; touch " + root + "/pwned ; \\\"\", C = DE\n"), std::string::npos) << text;
  EXPECT_NE(access((root + "/pwned").c_str(), F_OK), 0);
  std::smatch names;  // the line below the extension's name, whole
  EXPECT_TRUE(std::regex_search(text, names, std::regex("Subject Alternative Name: *\n *([^\n]*)\n")) && names[1] ==
              "DNS:room.example, DNS:conf.example, IP Address:192.0.2.10, IP Address:2001:DB8:0:0:0:0:0:10") << text;
}
