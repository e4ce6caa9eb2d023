// simWaitFor of simAppliance.h.
#pragma once

#include <chrono>
#include <thread>

template <class Pred>
bool simWaitFor(Pred pred, int ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}
