// The secure shell on the real dropbear (sim/remote-shell) with the banner
// the daemon wrote, reached by the ssh client from the switch's side, and
// stopped by name within the seal. Natively only: the server and the client
// are this machine's programs.
#include "tests/sim/simFixture.h"

TEST_F(SimTest, AdministratorEnablesSshWithABannerConnectsThenDisablesItDeafServerIncluded) {
  if (std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr) GTEST_SKIP() << "natively only";
  bringUp();
  simCommandOutput("ip addr add 192.0.2.50/24 dev eth0; ip -n switch addr add 192.0.2.1/24 dev port0");
  auto set = [&](const char* name, const char* value) {
    return app->ctl({"config", "set", name, value, "--role", "admin"}).status;
  };
  // The remote-access callback acts on the stored settings: the second switch takes effect.
  auto remoteAccess = [&](const char* on) {
    return set("security.remoteaccess.sshservice.enabled", on) + set("security.remoteaccess.ssh.enabled", on);
  };
  const char banner[] = "Authorised use only; `id` $(id)";
  ASSERT_EQ(set("security.banner.localsecuritybanner", banner) + set("security.banner.enabled", "True"), 0);
  ASSERT_EQ(remoteAccess("True"), 0);
  std::string out;
  auto ssh = [&] {
    return out = simCommandOutput("ip netns exec switch ssh -F /dev/null -o BatchMode=yes -o StrictHostKeyChecking=no "
                                  "-o UserKnownHostsFile=/dev/null -o ConnectTimeout=5 admin@192.0.2.50 true 2>&1");
  };
  EXPECT_TRUE(simWaitFor([&] { return ssh().find(std::string(banner) + "\n") != std::string::npos; })) << out;
  // Started apart from the service and deaf to SIGTERM: only SIGKILL ends it.
  simCommandOutput("bash -c 'trap \"\" TERM; exec -a sshd_nocbc sleep 600' >/dev/null 2>&1 &");
  auto servers = [] { return simCommandOutput("pgrep -af '^[^ ]*ssh[d]' || true"); };
  ASSERT_TRUE(simWaitFor([&] { return servers().find("sshd_nocbc 600") != std::string::npos; }));
  ASSERT_EQ(remoteAccess("False"), 0);
  EXPECT_TRUE(simWaitFor([&] { return servers().empty(); })) << servers();
  EXPECT_NE(ssh().find("Connection refused"), std::string::npos) << out;
  EXPECT_GE(simFind(app->daemonLog(), "ignored SIGTERM, sending SIGKILL"), 0);
}
