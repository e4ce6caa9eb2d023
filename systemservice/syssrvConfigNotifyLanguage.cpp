// Language reset after a software update ("softupdate.dirtybit" = "True").
//
// A new software version may ship a different set of user-interface
// languages. The stale language files are removed, the option list of
// "location.language" is replaced by the new version's defaults, and a
// language the new version no longer offers is replaced by English.
//
// These exchanges go through the generic send-and-wait rather than the
// configuration client because they act as kAdmin (the option list belongs
// to the administrator's view) and need the service's error answers; each
// may block the service for up to five seconds.
#include <cstdio>
#include <list>
#include <string>

#include "ConfigIF.pb.h"
#include "OS/logmsg.h"
#include "config/common/ProtobufMessageHelper.h"
#include "config/common/configvar.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvConfigNotifyActions.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvQuote.h"

namespace {

using AppConfig::ProtobufMessageHelper;

const char kConfigService[] = "ConfigSrvc";
const int kLanguageExchangeMs = 5000;
const char kDefaultLanguage[] = "ENGLISHUS";

int exchange(const google::protobuf::Message& req, google::protobuf::Message* rsp) {
  return syssrvMessageSendWaitResponse(req, rsp, kConfigService, kLanguageExchangeMs);
}

}  // namespace

void notifyLanguageReset() {
  char cmd[128];
  snprintf(cmd, sizeof cmd, "%s\n", "./clear-language-files");
  sysio().system(cmd);

  const ConfigVar language("location", "language");
  const std::string languageName = language.getNodeName() + "." + language.getVarName();

  std::string current;
  ConfigIF::ReadRsp readRsp;
  int rc = exchange(ProtobufMessageHelper::getReadRequest(kSyssrvEndpoint, kAdmin, language), &readRsp);
  if (rc != 0) {
    logerr(nullptr, "get current language request error: %d\n", rc);
  } else if (readRsp.error() != 0) {
    logerr(nullptr, "get current language error: %d\n", readRsp.error());
  } else {
    for (const std::string& v : readRsp.value()) {
      if (!v.empty()) {
        current = v;
        break;
      }
    }
  }

  std::list<std::string> languages;
  bool offered = false;
  ConfigIF::GetDefaultOptionsRsp optionsRsp;
  rc = exchange(ProtobufMessageHelper::getGetDefaultOptionsRequest(kSyssrvEndpoint, kAdmin, languageName),
                &optionsRsp);
  if (rc != 0) {
    logerr(nullptr, "get default option list request error: %d\n", rc);
  } else if (optionsRsp.error() != 0) {
    logerr(nullptr, "get default option list error: %d\n", optionsRsp.error());
  } else {
    for (const std::string& option : optionsRsp.node_options()) {
      languages.push_back(option);
      if (option == current) offered = true;
    }
  }

  if (!languages.empty()) {
    ConfigIF::SetAttributeOptionsRsp setRsp;
    rc = exchange(ProtobufMessageHelper::getSetOptionsRequest(kSyssrvEndpoint, kAdmin, language, languages, nullptr),
                  &setRsp);
    if (rc != 0 || setRsp.error() != 0) {
      logerr(nullptr, "set language option list error: %d, setAttrOptReq error:%d\n", rc, setRsp.error());
    }
  } else {
    logerr(nullptr, "language list is empty\n");
  }

  if (!offered) {
    logdebug(nullptr, "current language is: %s, set default language: %s\n", log_text(current).c_str(),
             kDefaultLanguage);
    ConfigIF::WriteRsp writeRsp;
    rc = exchange(ProtobufMessageHelper::getWriteRequest(kSyssrvEndpoint, kAdmin, language, kDefaultLanguage),
                  &writeRsp);
    if (rc == 0 && writeRsp.error() != 0) rc = writeRsp.error();
    if (rc != 0) logerr(nullptr, "set language error:%d\n", rc);
  }
}
