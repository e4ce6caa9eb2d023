#include "tests/psos/psos_task_util.h"

#include <condition_variable>
#include <map>
#include <mutex>

#include "OS/linux/psosapi/pthreadapi.h"

namespace {
std::mutex gBodyMu;
// Never destroyed: a task may still look it up while the process exits.
std::map<UInt32, std::function<void()>>& gBodies = *new std::map<UInt32, std::function<void()>>();
UInt32 gNextBody = 1;

void runBody(UInt32 key, UInt32, UInt32, UInt32) {
  std::function<void()> body;
  {
    std::lock_guard<std::mutex> l(gBodyMu);
    body = gBodies[key];
    gBodies.erase(key);
  }
  if (body) body();
}
}  // namespace

UInt32 spawnTask(const char* name, int priority, std::function<void()> body, UInt32* startRc) {
  UInt32 tid = 0;
  if (t_create(name, priority, 0, 0, 0, &tid) != 0) return 0;
  UInt32 key;
  {
    std::lock_guard<std::mutex> l(gBodyMu);
    key = gNextBody++;
    gBodies[key] = std::move(body);
  }
  UInt32 args[4] = {key, 0, 0, 0};
  UInt32 rc = t_start(tid, 0, runBody, args);
  if (startRc) *startRc = rc;
  if (rc != 0) {
    std::lock_guard<std::mutex> l(gBodyMu);
    gBodies.erase(key);
    return 0;
  }
  return tid;
}

AttachedThread::AttachedThread(const char* name, std::function<void()> body) {
  std::mutex mu;
  std::condition_variable cv;
  bool attached = false;
  std::string n(name);
  m_thread = std::thread([&, n, body] {
    UInt32 tid = 0;
    t_attach(n.c_str(), -1, &tid);
    {
      // Notified under the lock: the constructor's cv lives on its stack and
      // is gone as soon as it sees `attached`.
      std::lock_guard<std::mutex> l(mu);
      m_tid = tid;
      attached = true;
      cv.notify_all();
    }
    body();
    t_delete(0);  // leaves the task list; ends the thread
  });
  std::unique_lock<std::mutex> l(mu);
  cv.wait(l, [&] { return attached; });
}

AttachedThread::~AttachedThread() { join(); }

void AttachedThread::join() {
  if (m_thread.joinable()) m_thread.join();
}
