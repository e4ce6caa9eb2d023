// Discovery of the provisioning server through DHCP options and DNS.
#pragma once

// Links the DNS service for `pMsgEndpointSenderName`: 0 or the open error.
int provisioningMsgInit(const char* pMsgEndpointSenderName);
void discoverProvisioning();
// 0 when the configuration was written, 1 otherwise.
int parseUrlForProvisionServerDetails(const char* url, const char* serviceName);
// Reachability test for "cloud" or "ztp".
void determineCloudServerAccessibility(const char* typeOfCloud);
