// Access-level policy: keeps the read and write levels of dependent settings
// in step with the setting that controls them.
//
// Each rule takes the controlling value, picks a read and a write level per
// dependent variable and sends one SetAccessLevelsReq per variable, in a
// fixed order, with role kSystem (config_setAccessLevels). A level of 0 is
// not sent and leaves the current one. Levels: kUser opens a setting to
// every user, kAdmin reserves it to administrators, kSystem hides (read) or
// locks (write) it for both.
//
// The rules run at start-up for the stored values, when a controlling
// setting is applied (the on-change callback, the change dispatcher) and
// when the call state changes. Failures of single requests are not reported
// to the caller. All of them run on the main thread; each request may block
// for up to a second.
#pragma once

#include <string>

// "Client" (address from DHCP) locks address, mask and gateway; any other
// mode gives them to administrators. Then the DNS rule.
void set_ipv4_access_levels(const std::string& mode);
// The four IPv6 address variables are writable by administrators only when
// IPv6 is enabled and manual. Then the DNS rule.
void set_ipv6_access_levels();
// The domain name stays administrator-writable; the four name servers are
// only while some addressing is manual.
void set_dns_access_levels(bool ipv4Manual, bool ipv6Enabled, bool ipv6Manual);
void set_autoneg_access_levels(const std::string& value);
void set_dot1x_access_levels(const std::string& value);
void set_vlan_access_levels(const std::string& value);
void set_timeserver_access_levels(const std::string& value);
// Time settings are locked while a call is up.
void set_in_call_access_levels(bool inCall);
// The remote-control settings are locked while the office-365 interface is
// enabled.
void set_in_office_365_access_levels(bool enabled);
void set_remote_log_access_levels(const std::string& value);
void set_telnet_portoptions_access_levels(const std::string& telnet, const std::string& ssh);
// 44 requests: the secondary-connection settings, the security settings,
// the three password policies and the remote-access switches.
void set_modularroom_mode_config_access_levels(const std::string& mode);
// Logs an error and sends nothing for a mode it does not know.
void set_serial_port_params_access_levels(const std::string& mode);

// Log space: "system.log.spacemonitoring.max" from the log file limits, then
// the frequency rule with the stored threshold.
void set_logspace_configured();
// The chain monitor -> transfer -> folder: each rule sets its own variable
// and passes the next stored controlling value on.
void set_logspace_monitor_access_levels(std::string value);
void set_logspace_transfer_access_levels(std::string value);
void set_logspace_transfer_folder_access_levels(std::string value);
// Threshold "Off" turns monitoring off and locks the transfer frequency;
// does not continue the chain.
void set_logspace_transfer_frequency_access_levels(std::string value);
