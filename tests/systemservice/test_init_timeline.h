// One ordered record of what syssrvMessageInit asks of the message library
// and of its neighbour modules, for the initialisation tests.
//
// The test binary is linked with --wrap for the calls below (see
// init.cmake): each call still reaches the real function, and while the
// record is on it also appends one line here, in call order, from whatever
// thread made it. Lines:
//   MSG_DebugSetName <name>
//   MSG_OpenLocal <local> -> <rc>
//   MSG_OpenRemoteSync <local> <remote> <timeout> -> <rc>
//   open-async <local> <remote> <callback> ctx=<n> range=<min>..<max> flags=<n>
//   register <local> <min>..<max> <handler> ctx=<n> once=<n>
//   subscribe <local> <min>..<max> at <remote> -> <rc>
//   config-register <name>[#<instance>] kind <kind> as <role>   (a request sent from "SystemSrvc")
//   send <type> to <remote>                 (any other message sent from "SystemSrvc")
//   syssrvCfgMsgInit <local>
//   provisioningMsgInit <local>
//   initVirtualKeyPressDevice -> fd <valid|-1>
//   syssrvRegisterConfigCallbacks
//   syssrvStartupConfig
//   registerProcessMonitorNotifications
//   register_for_portcontroller_notifications ctx=<n>
//   handle_procmon_open ctx=<n>
// Types are "0x" and lower-case hex; handlers and callbacks are named by
// comparing their address with the functions the modules declare
// ("other" for any else); remotes by the name that has that id here.
#pragma once

#include <string>
#include <vector>

void initTimeline_start();
void initTimeline_stop();
std::vector<std::string> initTimeline();
// Lines that begin with `prefix`, in order.
std::vector<std::string> initTimeline(const std::string& prefix);

// provisioningMsgInit answers `rc` instead of running, while it is not 0.
void initTimeline_provisioningResult(int rc);
