// Who may talk to the appliance's services, and what its logs may show: a
// process of another user reaches no socket of the message layer nor the
// alert socket, and no password, challenge or web ticket reaches any log.
#include <cerrno>
#include <filesystem>
#include <grp.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/sim/simFixture.h"

namespace {

namespace fs = std::filesystem;

// In a child running as `uid` (and gid), connect() to a stream socket or
// sendto() a datagram socket at `path`: 0, or the errno it failed with.
int reach(uid_t uid, const std::string& path, int type) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (uid != getuid() && (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0)) _exit(255);
    struct sockaddr_un sa = {AF_UNIX, {}};
    path.copy(sa.sun_path, sizeof sa.sun_path - 1);
    const int fd = socket(AF_UNIX, type, 0);
    const auto* to = reinterpret_cast<const struct sockaddr*>(&sa);
    _exit((type == SOCK_STREAM ? connect(fd, to, sizeof sa) : sendto(fd, "", 0, 0, to, sizeof sa)) == 0 ? 0 : errno);
  }
  int status = -1;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SimTest, AnotherUserReachesNoEndpointNorTheAlertSocketWhereTheServiceUserReachesEach) {
  const char* stranger = std::getenv("SYSSRV_SEAL_STRANGER");
  if (stranger == nullptr) GTEST_SKIP() << "the seal maps a second user only when started as root";
  bringUp();
  const std::string dir = std::getenv("MSG_SOCKET_DIR");
  std::vector<std::pair<std::string, int>> sockets = {{app->root() + "/tmp/snmp_msg", SOCK_DGRAM}};
  for (const auto& [sub, type] : {std::pair{"", SOCK_STREAM}, {"/.d", SOCK_DGRAM}})
    for (const auto& e : fs::directory_iterator(dir + sub)) sockets.push_back({e.path(), e.is_socket() ? type : -1});
  EXPECT_EQ(sockets.size(), 8u);  // the daemon, configsrvc and dnssrvc: two each, and ".d"
  for (const auto& s : sockets) {
    EXPECT_EQ(s.second < 0 || reach(getuid(), s.first, s.second) == 0, true) << s.first;
    EXPECT_EQ(s.second < 0 ? EACCES : reach(static_cast<uid_t>(std::atoi(stranger)), s.first, s.second), EACCES) << s.first;
  }
}

// With a monitor attached: its lines are a log like the others.
TEST_F(SimMonitoredTest, NoPasswordChallengeOrTicketReachesAnyLogFile) {
  if (std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr) GTEST_SKIP() << "natively only";
  bringUp();
  // Each ends in a word of its own: a secret masked only up to a blank still shows.
  const std::string secrets[] = {"proxy-s3cret", "dot1x-s3cret", "tkt-s3cret", "scep-s3cret"};
  ASSERT_EQ(app->ctl({"config", "set", "system.proxy.webproxy.enabled=True", "system.proxy.manual.autoconf=False",
                      "system.proxy.manual.proxyaddress=192.0.2.8", "system.proxy.webproxy.username=bob", "system.proxy.webproxy.password=a " +
                      secrets[0], "--role", "admin", "--submit", "system.proxy.webproxysubmit"}).status, 0);
  ASSERT_EQ(app->ctl({"config", "set", "system.network.wired.dot1x.password=a " + secrets[1], "--role", "system"}).status, 0);
  EXPECT_EQ(app->ctl({"call", "SystemIF.LogUploadReq", "server_type: 'web' server_url: 'http://192.0.2.70:8080/upload' web_ticket: 'a " +
                      secrets[2] + "'"}).out, "error: 0\n");
  EXPECT_EQ(app->ctl({"call", "SystemIF.PKIGenerateCSRReq", "isscep: true csr_type: kClientCSR common_name: 'c' scepchallengepassword: 'a " +
                      secrets[3] + "'", "--expect", "SystemIF.PKIOpRsp", "--timeout", "30000"}).status, 0);
  for (const char* ran : {"start_delegate.sh  --start 'bob' ******** ", "logUploader", "generate_scep_csr.sh"})  // each flow ran
    EXPECT_TRUE(simWaitFor([&] { return simFind(app->journal(), ran) >= 0; })) << ran;
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(app->root(), fs::directory_options::skip_permission_denied)) {
    const std::string path = e.path().string().substr(app->root().size());
    if (!e.is_regular_file() || (path.find("log") == std::string::npos && path.find("journal") == std::string::npos)) continue;
    ++files;
    const std::vector<std::string> lines = app->fileLines(path);
    for (size_t i = 0; i < lines.size(); ++i)
      for (const std::string& s : secrets) EXPECT_EQ(lines[i].find(s), std::string::npos) << path << ":" << i + 1 << ": " << lines[i];
  }
  EXPECT_GE(files, 5) << "the daemon's log, the journals, configsrvc's and dnssrvc's logs at least";
}

}  // namespace
