// Module-wide state of the message layer, one instance each.
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvMessage.h"

const char kSyssrvEndpoint[] = "SystemSrvc";
eModelT eModel = kUnknownModel;
bool outOfBox = false;
int delegate_running = 0;
char delegate_uname[kDelegateCredentialLen] = "";
char delegate_passwd[kDelegateCredentialLen] = "";
ConfiguredOptionsT persist_config = {};
int m_LanDirtyBit = 0;
int m_IPv6DirtyBit = 0;
int m_DnsDirtyBit = 0;
unsigned int discoverProvisioningTimeout = 0;
bool system_in_call = false;
int fdVirtKeyPressDev = -1;
// Halden units move the filter into the FPGA; start-up repoints this there.
char ir_filter_sys_file[kIrFilterSysFileLen] = "/proc/crvl_ir_fltr";
bool m_bDevfeatures = false;
// Constructed here but only armed once a PAC expiry time arrives.
Timer PacExpiryTimer;
bool IsTimerInitialised = false;
const std::string kSshBannerFile = "/data/corvale/ssh/banner.txt";
SshBanner gSshBanner;

// The two readers of this state live beside it so that every module can ask
// without reaching into the globals.
int isDelegateRunning() { return delegate_running; }
bool syssrv_is_out_of_box() { return outOfBox; }
