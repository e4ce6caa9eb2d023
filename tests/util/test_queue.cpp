// The thread-safe FIFO behind the timer thread.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "util/queueT.h"

TEST(TimerQueueT, KeepsOrderRemovesEntriesAndTreatsNullAsAnItem) {
  QueueT<int> q;
  int a = 1, b = 2, c = 3;
  q.enqueue(&a);
  q.enqueue(&b);
  q.enqueue(nullptr);
  q.enqueue(&a);
  q.enqueue(&c);
  EXPECT_EQ(q.remove(&a), 2u);
  EXPECT_EQ(q.dequeue(), &b);
  int* got = &c;
  ASSERT_TRUE(q.dequeue_no_block(&got));
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(q.dequeue(), &c);
  EXPECT_FALSE(q.dequeue_no_block(&got));
  q.enqueue(&a);
  q.deleteAll();
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(a + b, 3) << "entries are dropped, not the objects";
}

TEST(TimerQueueT, ManyProducersOneBlockingConsumerLoseNothing) {
  QueueT<int> q;
  const int kPerProducer = 2000;
  static int items[4][kPerProducer];
  std::vector<std::thread> producers;
  for (int p = 0; p < 4; ++p)
    producers.emplace_back([&q, p] {
      for (int i = 0; i < kPerProducer; ++i) q.enqueue(&items[p][i]);
    });
  int last[4] = {-1, -1, -1, -1};
  for (int n = 0; n < 4 * kPerProducer; ++n) {
    int* it = q.dequeue();
    int p = static_cast<int>((it - &items[0][0]) / kPerProducer);
    int i = static_cast<int>((it - &items[0][0]) % kPerProducer);
    ASSERT_EQ(i, last[p] + 1) << "producer " << p;  // FIFO per producer
    last[p] = i;
  }
  for (auto& t : producers) t.join();
  EXPECT_TRUE(q.empty());
}
