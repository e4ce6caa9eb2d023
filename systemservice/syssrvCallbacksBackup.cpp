// Modular-room secondary mode: the features a secondary unit must not run,
// and the backup of the one setting that going back to "Disabled" restores.
//
// The backup lives in the configuration service itself ("<name>_BACKUP"), so
// it survives the reboot that every modular-room mode change asks for.
#include <cstdio>
#include <cstring>

#include "OS/logmsg.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"

namespace {

const char kComponent[] = "message";
const char kPpcipEnabled[] = "system.ppcipenabled";

// Room for any variable name and its suffix.
constexpr int kBackupNameLen = 512;
constexpr int kBackupValueLen = 64;

struct ForcedSetting {
  const char* name;
  const char* value;
};

// A secondary unit is driven by its primary: calendar, directory, apps,
// pairing, shells and SNMP would only compete with it.
const ForcedSetting kSecondaryFeaturesOff[] = {
    {"cal.enabled", "false"},
    {"dir.globalserver", "disabled"},
    {"uicontrol.apps.lumenboard.enabled", "false"},
    {"security.remoteaccess.permanentpairing.enabled", "false"},
    {"security.remoteaccess.ssh.enabled", "false"},
    {"security.remoteaccess.sshservice.enabled", "false"},
    {"management.snmp.enabled", "false"},
};

void backupName(char (&out)[kBackupNameLen], const char* name) { snprintf(out, sizeof out, "%s_BACKUP", name); }

}  // namespace

void syssrvApplySecondaryModeSettings() {
  logdebug(kComponent, "disable some features in modular room secondary mode\n");
  // Developers keep telnet to reach a secondary unit at all.
  if (!m_bDevfeatures) config_write("security.remoteaccess.telnet.enabled", "false", kSystem);
  for (const ForcedSetting& s : kSecondaryFeaturesOff) config_write(s.name, s.value, kSystem);

  logdebug(kComponent, "disable sleep in modular room secondary mode\n");
  config_write("system.sleeptimeout", "0", kSystem);

  logdebug(kComponent, "disable automatic software update in modular room secondary mode\n");
  config_write("softupdate.pollingenabled", "false", kSystem);

  write_and_backup_config(kPpcipEnabled, "False");
  config_write("uicontrol.apps.home.office365uienabled", "false", kSystem);
}

void write_and_backup_config(const char* name, const char* value) {
  char backup[kBackupNameLen];
  backupName(backup, name);
  char current[kBackupValueLen] = "";
  int rc = config_read(name, current, sizeof current, nullptr);
  if (rc == 0) {
    config_write(backup, current, kSystem);
  } else {
    logerr(kComponent, "(%s) CAN'T READ EXISTING VALUE, err=%d\n", __func__, rc);
  }
  // Compared over the stored value's length: a value that cannot be read
  // counts as already set, so nothing is written blindly.
  if (strncmp(value, current, strlen(current)) == 0) {
    logdebug(kComponent, "(%s) not changing %s, values %s is same \n", __func__, name, value);
  } else {
    logdebug(kComponent, "(%s) changing %s to %s and backing up %s\n", __func__, name, value, current);
    config_write(name, value, kSystem);
  }
}

void read_and_restore_config(const char* name) {
  logdebug(kComponent, "(%s)revert ppcip settings\n", __func__);
  char backup[kBackupNameLen];
  backupName(backup, name);
  char saved[kBackupValueLen] = "";
  int rc = config_read(backup, saved, sizeof saved, nullptr);
  // The service answers a read of a variable it does not hold with an error
  // code and no value, which the client passes on as an empty value: no
  // backup was ever made, and an empty setting must not be restored.
  if (rc != 0 || saved[0] == '\0') {
    logerr(kComponent, "(%s) CAN'T READ BACKED UP VALUE FOR %s, err=%d\n", __func__, backup, rc);
    return;
  }
  config_write(name, saved, kSystem);
  logdebug(kComponent, "(%s) restoring %s to %s \n", __func__, name, saved);
}
