// Placeholder until provisioning discovery is built. Linking reports
// success so that start-up goes on.
#include "systemservice/syssrvPending.h"
#include "systemservice/syssrvProvisioning.h"

int provisioningMsgInit(const char* pMsgEndpointSenderName) {
  syssrvPending("provisioningMsgInit", pMsgEndpointSenderName);
  return 0;
}
void discoverProvisioning() { syssrvPending("discoverProvisioning"); }
// Nothing written.
int parseUrlForProvisionServerDetails(const char* url, const char* serviceName) {
  syssrvPending("parseUrlForProvisionServerDetails", url, serviceName);
  return 1;
}
void determineCloudServerAccessibility(const char* typeOfCloud) {
  syssrvPending("determineCloudServerAccessibility", typeOfCloud);
}
