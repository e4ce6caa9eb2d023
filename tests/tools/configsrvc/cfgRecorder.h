// A configuration client on its own thread and endpoint, as the system
// service is one: it records every message the service sends it, in order,
// and answers the validate and on-change callbacks the way a test tells it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"

struct CfgEvent {
  std::string what;  // "validate NAME=V", "onchange ...", "changed ...", "start POINT", "end POINT"
  int instance = 0;
  std::string writer;  // `name` of callbacks and notifications
  std::string userContext;
};

class CfgRecorder {
 public:
  // How a callback is answered; it may make requests of its own through
  // request() before it returns.
  using Handler = std::function<void(CfgRecorder&, const CfgEvent&, ConfigIF::ReturnMessage*)>;

  explicit CfgRecorder(const std::string& name) : m_name(name) {}
  ~CfgRecorder() { stop(); }

  // Opens the endpoint and starts the thread; false when it cannot open.
  bool start();
  void stop();

  Handler onValidate;  // default: accept
  Handler onChange;    // default: accept

  // From inside a handler: a request to the service, waiting for its reply.
  bool request(const google::protobuf::Message& req, google::protobuf::Message* rsp, int timeoutMs = 3000);
  // The `what` of every event so far.
  std::vector<std::string> kinds();
  std::vector<CfgEvent> events();
  // Waits until at least `n` events were recorded; false after timeoutMs.
  bool waitEvents(size_t n, int timeoutMs = 5000);
  const std::string& name() const { return m_name; }

 private:
  void loop();
  void handle(MSG_Message* m);

  std::string m_name;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  bool m_open = false;
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<CfgEvent> m_events;
};
