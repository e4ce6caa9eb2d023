// Expected sizes and layouts of the architectures the tree is built for.
// Each architecture spells out its own numbers, so that no build can pass
// by comparing a value with itself; a new architecture has to add a row.
#pragma once

#include <cstddef>

struct ArchExpect {
  const char* name;
  std::size_t inputEvent;       // struct input_event
  std::size_t inputEventType;   // offset of input_event.type
  std::size_t inputEventValue;  // offset of input_event.value
  std::size_t longBytes;
  std::size_t pointerBytes;
  bool charIsSigned;
  std::size_t timeT;
  std::size_t timeval;
  std::size_t offT;
};

#if defined(__arm__)
// 32-bit ARM board; 64-bit time_t and off_t chosen by the toolchain file.
constexpr ArchExpect kArchExpect{"armhf", 16, 8, 12, 4, 4, false, 8, 16, 8};
#elif defined(__x86_64__)
constexpr ArchExpect kArchExpect{"x86-64", 24, 16, 20, 8, 8, true, 8, 16, 8};
#else
#error "tests/arch has no expectations for this architecture"
#endif
