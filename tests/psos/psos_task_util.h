// Tasks whose body is a test lambda.
#pragma once

#include <functional>
#include <thread>

#include "OS/ostypes.h"

// t_create + t_start of a task running `body`; returns its id, or 0 when
// either call failed (the code of t_start in *startRc if given).
UInt32 spawnTask(const char* name, int priority, std::function<void()> body, UInt32* startRc = nullptr);

// A plain thread that attaches itself as a task before running `body` and
// deletes itself (ending the thread) after it.
class AttachedThread {
 public:
  AttachedThread(const char* name, std::function<void()> body);
  ~AttachedThread();
  UInt32 tid() const { return m_tid; }
  void join();

 private:
  std::thread m_thread;
  UInt32 m_tid = 0;
};
