// Shared body of the placeholders that stand in for modules not built yet.
// A placeholder does nothing and keeps nothing; a test that wants to see what
// its callers asked for installs an observer, which is told every call as
// "name(arg1,arg2)". Only *_pending.cpp files include this header; each goes
// away with the module that replaces it.
#pragma once

#include <string>
#include <type_traits>

#include "OS/logmsg.h"
#include "platform/msg/MSG.h"

namespace syssrv_pending {

inline std::string traceArg(const char* s) { return s ? std::string(s) : std::string("null"); }
inline std::string traceArg(char* s) { return traceArg(static_cast<const char*>(s)); }
inline std::string traceArg(const std::string& s) { return s; }
inline std::string traceArg(bool b) { return b ? "1" : "0"; }
// A received message is identified by its type, the one thing a caller of a
// handler chooses.
inline std::string traceArg(const MSG_Message* msg) {
  return msg ? std::to_string(MSG_GetType(msg)) : std::string("null");
}

template <typename T>
std::string traceArg(const T& v) {
  if constexpr (std::is_pointer_v<T>) {
    return v ? std::string("ptr") : std::string("null");
  } else if constexpr (std::is_enum_v<T>) {
    return std::to_string(static_cast<long long>(v));
  } else {
    static_assert(std::is_arithmetic_v<T>, "no trace text for this argument type");
    // unsigned char and friends are numbers here, not characters.
    return std::to_string(+v);
  }
}

inline std::string traceEntry(const char* name) { return std::string(name) + "()"; }

template <typename First, typename... Rest>
std::string traceEntry(const char* name, const First& first, const Rest&... rest) {
  std::string e = std::string(name) + "(" + traceArg(first);
  ((e += "," + traceArg(rest)), ...);
  return e + ")";
}

}  // namespace syssrv_pending

// Told every placeholder call; null (the daemon's case) keeps nothing.
using syssrvPendingObserver = void (*)(const std::string& entry);
void syssrvPendingObserve(syssrvPendingObserver observer);
syssrvPendingObserver syssrvPendingObserverOf();

template <typename... Args>
void syssrvPending(const char* name, const Args&... args) {
  syssrvPendingObserver observer = syssrvPendingObserverOf();
  if (observer != nullptr) observer(syssrv_pending::traceEntry(name, args...));
}
