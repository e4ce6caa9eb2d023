// Process entry of the daemon: start-up in a fixed order, the alert
// socket, the fork into the background, and the one-second main loop,
// split so that a test can drive it one pass at a time.
#pragma once

#include <sys/types.h>

#define OPTION_CORE_DUMP "--coredump"

// What main keeps for the whole life of the loop.
struct syssrvLoopState {
  int coredump = 0;
  int lan_state = 0;  // LAN_DOWN until check_lan_status reports
  int alert_sock = -1;
  int expiration_wait_count = 0;
  // Starts below zero so that the first download waits for 30 passes,
  // long enough for the network and the clock to settle after boot.
  int crl_download_wait_count = -30;
  int download_hours = 0;
  char cfg_val[16] = {};
  // The loop's receive wait; a test sets 0 to run passes back to back.
  int message_wait_ms = 1000;
};

// *coredump = 1 when any argument equals "--coredump" in any letter case.
void parse_params(int argc, char** argv, int* coredump);
// Core-file limit: unlimited with coredump, else 0; the hard limit unlimited.
void setcore(int coredump);
// 1 when the LAN has a global address, else 0.
int check_lan_usable();
// The alert datagram socket bound at "/tmp/snmp_msg", or -1.
int syssrvAlertSockInit();
// Forks; the parent exits with status 0, a failed fork goes on in the
// foreground.
void daemonizeMe();

// Start-up steps up to the fork, in their fixed order.
void syssrvStartup(syssrvLoopState* st, int argc, char** argv);
// One pass of the main loop.
void syssrvMainLoopPass(syssrvLoopState* st);
// Runs the certificate-expiry script on the first pass and every 3600.
void check_cert_and_crl_expiration(int* expiration_wait_count);
// Period of revocation-list downloads, in passes, for the configured text
// (read failure: readOk false). *enabled is false only for 0 hours.
int crl_download_period(bool readOk, const char* text, bool* enabled);
// Re-reads the period and downloads when the count comes round.
void do_crl_download(syssrvLoopState* st);

// The whole process: start-up, fork, then the loop for ever.
int syssrv_main(int argc, char** argv);

// ---- direct process calls, isolated until the seam offers them
// (syssrvMainProcess.cpp) ----
int syssrvSetCoreLimit(unsigned long long soft, unsigned long long hard);
pid_t syssrvFork();
