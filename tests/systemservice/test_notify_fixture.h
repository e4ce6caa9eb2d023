// Fixture of the change-dispatcher tests: a RecorderSysIo with its own
// temporary root (commands are recorded, nothing runs; the log device is a
// file there), a private message-socket directory, and the daemon's
// endpoint "SystemSrvc" linked to the fake "ConfigSrvc". Requests are
// compared in the fake's "<Type> {<fields>}" form.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/sysio/sysio_recorder.h"
#include "tests/systemservice/fake_configsrvc.h"

using Strings = std::vector<std::string>;

inline bool contains(const Strings& l, const std::string& s) { return std::find(l.begin(), l.end(), s) != l.end(); }

// Requests in the fake's form: the client's reads as kSystem, the whole
// dotted name as one node.
inline std::string nodeText(const std::string& name) { return "node { name: \"" + name + "\" instance: 0 }"; }
inline std::string head(const char* type, const char* role) { return type + std::string(" {name: \"SystemSrvc\" role: ") + role; }
inline std::string readReq(const std::string& n) { return head("ReadReq", "kSystem") + " instance { " + nodeText(n) + " }}"; }
inline std::string writeReq(const std::string& name, const std::string& value, const char* role = "kSystem") {
  return head("WriteReq", role) + " instance_val { instance { " + nodeText(name) + " } value: \"" + value + "\" }}";
}
inline std::string accessReq(const std::string& name, const char* level) {
  return head("SetAccessLevelsReq", "kSystem") + " instance { " + nodeText(name) + " } read_level: " + level +
         " write_level: " + level + "}";
}
inline std::string serverTypesReq(const Strings& types) {
  std::string r = head("SetAttributeOptionsReq", "kStartup") + " instance { " +
                  nodeText("management.provisioning.servertype") + " } default_index: 0";
  for (const std::string& t : types) r += " node_options: \"" + t + "\"";
  return r + "}";
}

class NotifyTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Delivers a ConfigChangedNtfy for `name` (one node, instance 0).
  void notify(const std::string& name, const std::string& value) { notifyNodes({{name, 0}}, {value}); }
  void notifyNodes(const std::vector<std::pair<std::string, int>>& nodes, const Strings& values);
  void notifyRaw(const std::string& payload);

  Strings trace() const;
  // Commands run and sleeps ("sleep <us>"), in order.
  Strings actions() const;
  Strings requests() const;
  // True when the log holds exactly this line, text without its newline.
  bool logged(int level, const std::string& text, const char* component = nullptr) const;
  std::string logBytes() const;
  // Forgets commands, calls, requests and log lines so far.
  void forget();

  RecorderSysIo& rec() { return *m_rec; }
  FakeConfigSrvc& cfg() { return m_cfg; }

 private:
  std::unique_ptr<RecorderSysIo> m_rec;
  FakeConfigSrvc m_cfg;
  size_t m_logOffset = 0;
};
