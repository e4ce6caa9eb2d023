// Blocks below 4 GiB for the control blocks (see lowmem.h).
//
// On 64-bit builds: small fixed-size blocks carved from 64 KiB mappings
// placed below 4 GiB, with one free list per block size. Only two sizes are
// ever asked for (task and timer blocks), so the list of sizes stays tiny.
#include "OS/linux/psosapi/lowmem.h"

#include <pthread.h>
#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

#if UINTPTR_MAX == 0xFFFFFFFFu

void* lowmem_alloc(size_t size) { return calloc(1, size); }
void lowmem_free(void* p, size_t) { free(p); }

#else

namespace {

const size_t kChunk = 64 * 1024;
const size_t kAlign = 16;
const size_t kMaxClasses = 8;
const uintptr_t kLimit = 0xFFFFFFFFu;

struct FreeBlock {
  FreeBlock* next;
};
struct SizeClass {
  size_t size;
  FreeBlock* head;
};

pthread_mutex_t gMutex = PTHREAD_MUTEX_INITIALIZER;
SizeClass gClasses[kMaxClasses];
size_t gNumClasses = 0;
char* gChunk = nullptr;
size_t gChunkUsed = kChunk;

char* mapLowChunk() {
#ifdef MAP_32BIT
  void* p = mmap(nullptr, kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (p != MAP_FAILED && reinterpret_cast<uintptr_t>(p) + kChunk - 1 <= kLimit) return static_cast<char*>(p);
  if (p != MAP_FAILED) munmap(p, kChunk);
#endif
  // Without MAP_32BIT, ask for addresses below 4 GiB one hint after another.
  for (uintptr_t hint = 0x10000000u; hint + kChunk - 1 <= kLimit; hint += 0x10000000u) {
    void* p = mmap(reinterpret_cast<void*>(hint), kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) continue;
    if (reinterpret_cast<uintptr_t>(p) + kChunk - 1 <= kLimit) return static_cast<char*>(p);
    munmap(p, kChunk);
  }
  return nullptr;
}

size_t roundUp(size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

SizeClass* findClass(size_t size, bool create) {
  for (size_t i = 0; i < gNumClasses; ++i)
    if (gClasses[i].size == size) return &gClasses[i];
  if (!create || gNumClasses == kMaxClasses) return nullptr;
  gClasses[gNumClasses] = SizeClass{size, nullptr};
  return &gClasses[gNumClasses++];
}

}  // namespace

void* lowmem_alloc(size_t size) {
  if (size == 0 || size > kChunk) return nullptr;
  size = roundUp(size);
  pthread_mutex_lock(&gMutex);
  void* p = nullptr;
  SizeClass* c = findClass(size, true);
  if (c && c->head) {
    p = c->head;
    c->head = c->head->next;
  } else if (c) {
    if (gChunkUsed + size > kChunk) {
      char* fresh = mapLowChunk();
      if (fresh) {
        gChunk = fresh;
        gChunkUsed = 0;
      }
    }
    if (gChunk && gChunkUsed + size <= kChunk) {
      p = gChunk + gChunkUsed;
      gChunkUsed += size;
    }
  }
  pthread_mutex_unlock(&gMutex);
  if (p) memset(p, 0, size);
  return p;
}

void lowmem_free(void* p, size_t size) {
  if (!p) return;
  size = roundUp(size);
  pthread_mutex_lock(&gMutex);
  SizeClass* c = findClass(size, true);
  if (c) {
    FreeBlock* b = static_cast<FreeBlock*>(p);
    b->next = c->head;
    c->head = b;
  }
  pthread_mutex_unlock(&gMutex);
}

#endif
