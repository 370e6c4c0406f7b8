// Byte chunks handed from one thread to another through a queue that holds
// at most a fixed number of bytes: the writer of the package hands each
// chunk to the thread that hashes it, and waits when that thread falls
// behind, so that memory stays flat whatever the network's speed.
#ifndef BASTION_SRC_HTTPHELPER_CHUNK_QUEUE_H_
#define BASTION_SRC_HTTPHELPER_CHUNK_QUEUE_H_

#include <stddef.h>
#include <stdint.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace bastion {

class ChunkQueue {
 public:
  // `capacity`: the bytes queued at most. A single chunk larger than that is
  // still taken, once the queue is empty.
  explicit ChunkQueue(size_t capacity);
  ChunkQueue(const ChunkQueue&) = delete;
  ChunkQueue& operator=(const ChunkQueue&) = delete;

  // Queues a copy of `count` bytes, waiting while they would not fit. False,
  // with nothing queued, once the queue is closed.
  bool Push(const uint8_t* bytes, size_t count);
  // Moves the oldest chunk into `chunk`, waiting for one. False once the
  // queue is closed and empty.
  bool Pop(std::vector<uint8_t>& chunk);
  // No more pushes; what is queued can still be popped.
  void Close();
  // Closes and drops what is queued.
  void Cancel();
  size_t queuedBytes() const;

 private:
  const size_t capacity_;
  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::vector<uint8_t>> chunks_;
  // Chunks given back by Pop, reused by Push so that a steady stream does not
  // allocate for each chunk.
  std::vector<std::vector<uint8_t>> spare_;
  size_t queued_ = 0;
  bool closed_ = false;
};

}  // namespace bastion

#endif  // BASTION_SRC_HTTPHELPER_CHUNK_QUEUE_H_
