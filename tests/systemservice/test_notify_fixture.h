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

  // The logging relaunches asked for (their debug line), as
  // "update_logging(<name>,<value>)", then the calls into the modules still to come.
  Strings trace() const {
    const std::string head = line(7, "update_logging: name: ", nullptr);
    Strings out;
    for (const std::string& l : logLines()) {
      size_t v = l.find(" value: ");
      if (l.rfind(head, 0) != 0 || v == std::string::npos) continue;
      auto arg = [](std::string a) { return a == "(null)" ? "null" : a; };
      out.push_back("update_logging(" + arg(l.substr(head.size(), v - head.size())) + "," + arg(l.substr(v + 8)) + ")");
    }
    for (const std::string& c : calls()) out.push_back(c);
    return out;
  }
  // Commands run (with a shell or without) and sleeps ("sleep <us>"), in order.
  Strings actions() {
    Strings out;
    for (const SysIoRecord& r : rec().records()) {
      if (r.kind == SysIoCall::kSystem || r.kind == SysIoCall::kForkExec) out.push_back(r.text);
      if (r.kind == SysIoCall::kSleep) out.push_back("sleep " + std::to_string(r.us));
    }
    return out;
  }
};
