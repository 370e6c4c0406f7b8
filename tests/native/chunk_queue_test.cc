#include "Src/Httphelper/chunk_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

using namespace bastion;

namespace {

// A producer far ahead of its consumer: every byte arrives in order, and the
// queue never holds more than its capacity.
TEST(ChunkQueue, HandsOverEveryByteInOrderWithinItsCapacity) {
  constexpr size_t kCapacity = 1000;
  ChunkQueue queue(kCapacity);
  std::vector<uint8_t> sent;
  for (int i = 0; i < 200000; ++i) sent.push_back(static_cast<uint8_t>(i * 7 + 3));
  std::thread producer([&] {
    for (size_t at = 0, n = 1; at < sent.size(); at += n, n = n % 997 + 1)
      ASSERT_TRUE(queue.Push(sent.data() + at, std::min(n, sent.size() - at)));
    queue.Close();
  });
  std::vector<uint8_t> received;
  std::vector<uint8_t> chunk;
  size_t most = 0;
  while (queue.Pop(chunk)) {
    most = std::max(most, queue.queuedBytes());
    received.insert(received.end(), chunk.begin(), chunk.end());
  }
  producer.join();
  EXPECT_EQ(received, sent);
  EXPECT_LE(most, kCapacity);
}

TEST(ChunkQueue, AnOversizedChunkPassesAloneAndClosingEndsBothSides) {
  ChunkQueue queue(4);
  const uint8_t big[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_TRUE(queue.Push(big, sizeof(big)));
  queue.Close();
  EXPECT_FALSE(queue.Push(big, 1));
  std::vector<uint8_t> chunk;
  ASSERT_TRUE(queue.Pop(chunk));
  EXPECT_EQ(chunk, std::vector<uint8_t>(big, big + 10));
  EXPECT_FALSE(queue.Pop(chunk));

  // A cancel drops what was queued and releases a producer waiting for room.
  ChunkQueue full(4);
  ASSERT_TRUE(full.Push(big, 4));
  std::thread waiting([&] { EXPECT_FALSE(full.Push(big, 4)); });
  full.Cancel();
  waiting.join();
  EXPECT_EQ(full.queuedBytes(), 0u);
  EXPECT_FALSE(full.Pop(chunk));
}

}  // namespace
