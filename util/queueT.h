// A thread-safe FIFO of object pointers: producers append, one or more
// consumers take from the front, blocking while it is empty.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <list>

template <typename T>
class QueueT {
 public:
  QueueT() {
    pthread_mutex_init(&mutexReceivedMessages, nullptr);
    pthread_cond_init(&conditionReceivedMessages, nullptr);
  }
  ~QueueT() {
    deleteAll();
    pthread_cond_destroy(&conditionReceivedMessages);
    pthread_mutex_destroy(&mutexReceivedMessages);
  }
  QueueT(const QueueT&) = delete;
  QueueT& operator=(const QueueT&) = delete;

  void enqueue(T* item) {
    pthread_mutex_lock(&mutexReceivedMessages);
    bool wasEmpty = listMessages.empty();
    listMessages.push_back(item);
    // Consumers only ever wait on an empty queue, so only the transition
    // from empty needs a wake-up.
    if (wasEmpty) pthread_cond_signal(&conditionReceivedMessages);
    pthread_mutex_unlock(&mutexReceivedMessages);
  }

  // Blocks until an item is there; the item may itself be null.
  T* dequeue() {
    pthread_mutex_lock(&mutexReceivedMessages);
    while (listMessages.empty())
      pthread_cond_wait(&conditionReceivedMessages, &mutexReceivedMessages);
    T* item = listMessages.front();
    listMessages.pop_front();
    pthread_mutex_unlock(&mutexReceivedMessages);
    return item;
  }

  // False when the queue is empty; a queued null pointer comes out as true
  // with *item == nullptr.
  bool dequeue_no_block(T** item) {
    pthread_mutex_lock(&mutexReceivedMessages);
    bool got = !listMessages.empty();
    if (got) {
      *item = listMessages.front();
      listMessages.pop_front();
    }
    pthread_mutex_unlock(&mutexReceivedMessages);
    return got;
  }

  bool empty() {
    pthread_mutex_lock(&mutexReceivedMessages);
    bool e = listMessages.empty();
    pthread_mutex_unlock(&mutexReceivedMessages);
    return e;
  }

  size_t size() {
    pthread_mutex_lock(&mutexReceivedMessages);
    size_t n = listMessages.size();
    pthread_mutex_unlock(&mutexReceivedMessages);
    return n;
  }

  // Drops every entry equal to `item`; returns how many there were.
  size_t remove(T* item) {
    pthread_mutex_lock(&mutexReceivedMessages);
    size_t before = listMessages.size();
    listMessages.remove(item);
    size_t n = before - listMessages.size();
    pthread_mutex_unlock(&mutexReceivedMessages);
    return n;
  }

  // Frees the list nodes, not the objects they point to.
  void deleteAll() {
    pthread_mutex_lock(&mutexReceivedMessages);
    listMessages.clear();
    pthread_mutex_unlock(&mutexReceivedMessages);
  }

  pthread_mutex_t mutexReceivedMessages;
  pthread_cond_t conditionReceivedMessages;
  std::list<T*> listMessages;
};
