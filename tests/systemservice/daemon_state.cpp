#include "tests/systemservice/daemon_state.h"

#include <unistd.h>

#include "OS/os_testing.h"
#include "multicodec_util/multicodec_sysids.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvLogSpace.h"
#include "systemservice/syssrvLogUpload.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"

void resetDaemonState() {
  syssrvLan_testing_reset();
  syssrvLogging_testing_reset();
  syssrvLogUpload_testing_reset();
  syssrvCameraLogs_testing_reset();
  velar_idx_testing_reset();
  syssrvLogSpace_testing_reset();
  if (fdVirtKeyPressDev >= 0) close(fdVirtKeyPressDev);
  fdVirtKeyPressDev = -1;
  eModel = kUnknownModel;
  outOfBox = false;
  m_bDevfeatures = false;
  delegate_running = m_LanDirtyBit = m_IPv6DirtyBit = m_DnsDirtyBit = 0;
  persist_config = {};
  bMOFlagInited = bMOFlagSetOnBoot = false;
  discoverProvisioningTimeout = 0;
}
