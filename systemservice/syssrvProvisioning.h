// Discovery of the provisioning server through DHCP options and DNS.
#pragma once

#include <string>

// Links the DNS service for `pMsgEndpointSenderName`: 0 or the open error.
int provisioningMsgInit(const char* pMsgEndpointSenderName);
void discoverProvisioning();
// 0 when the configuration was written, 1 otherwise.
int parseUrlForProvisionServerDetails(const char* url, const char* serviceName);
// Reachability test for "cloud" or "ztp".
void determineCloudServerAccessibility(const char* typeOfCloud);

// How long discovery waits for each answer of the DNS service.
constexpr int kDnsSrvTimeoutMs = 20000;
// One SRV lookup of `service` over TCP in `domain`, asked of "DnsSrvc" with
// at most `timeoutMs` of waiting. True with the target when the service
// answered one without an error; a failure is logged.
bool provisioningDnsSrvLookup(const char* service, const char* domain, int timeoutMs, std::string* target);
