// Configuration change dispatcher: the one handler of ConfigChangedNtfy.
//
// The configuration service sends a ConfigChangedNtfy for every committed
// change of a variable this service registered with kChangeNotify. The
// handler decodes name, instance and value and routes the change through
// one table (syssrvConfigNotify.cpp) to the module that applies it. No
// reply is sent: the service does not wait for one.
//
// Commands it issues itself (results ignored, the scripts log their own
// failures):
//   /system/bin/startntpd --stop, --start        time server changed
//   /system/bin/startnetwork --update_icmppacketrate, --update_echo,
//     --update_destunreach, --update_redirect, --update_ipv6dadcount
//   fw_setenv skipvideo true|false
//   ./clear-language-files                       after a software update
#pragma once

#include <string>
#include <vector>

#include "platform/msg/MSG.h"

// Handler of kMsgIdConfigIFConfigChangedNtfy.
void config_change_notify(void* pContext, const MSG_Message* msg);

// 1 when a change of `varName` must restart the LAN at the end of the
// network batch, else 0.
int is_LAN_notify(const char* varName);
// 1 when a change of `varName` must restart IPv6 addressing at the end of
// the network batch, else 0.
int is_IPv6_notify(const char* varName);

// Every variable name the handler acts on by name, once each, in the order
// of its routing table: the rows' names, those of the LAN and IPv6
// predicates and those of the common tail. A name with an inner instance
// is spelt as the handler sees it ("video.monitor[1].signalType"). Each
// must be registered for change notifications, or its row never runs.
std::vector<std::string> syssrvConfigNotifyRoutedNames();
