// The change-dispatcher tests' face of the daemon fixture: a
// ConfigChangedNtfy handed to config_change_notify as the main loop would,
// the calls into the modules still to come and the commands run.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "ConfigIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvConfigNotify.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/call_trace.h"
#include "tests/systemservice/test_callbacks_peer.h"

using Strings = std::vector<std::string>;

inline bool contains(const Strings& l, const std::string& s) { return std::find(l.begin(), l.end(), s) != l.end(); }

class NotifyTest : public CfgTest {
 protected:
  // Delivers a ConfigChangedNtfy for `name` (one node, instance 0).
  void notify(const std::string& name, const std::string& value) { notifyNodes({{name, 0}}, {value}); }
  void notifyNodes(const std::vector<std::pair<std::string, int>>& nodes, const Strings& values) {
    ConfigIF::ConfigChangedNtfy n;
    for (const auto& [name, instance] : nodes) {
      ConfigIF::Node* added = n.mutable_instance_val()->mutable_instance()->add_node();
      added->set_name(name);
      added->set_instance(instance);
    }
    for (const std::string& v : values) n.mutable_instance_val()->add_value(v);
    n.set_name("WebSrvc");
    n.set_role(CommonIF::kAdmin);
    notifyRaw(n.SerializeAsString());
  }
  void notifyRaw(const std::string& payload) {
    deliver(kMsgIdConfigIFConfigChangedNtfy, payload, config_change_notify);
  }

  static Strings trace() { return syssrvCallTrace(); }
  // Commands run and sleeps ("sleep <us>"), in order.
  Strings actions() {
    Strings out;
    for (const SysIoRecord& r : rec().records()) {
      if (r.kind == SysIoCall::kSystem) out.push_back(r.text);
      if (r.kind == SysIoCall::kSleep) out.push_back("sleep " + std::to_string(r.us));
    }
    return out;
  }
};
