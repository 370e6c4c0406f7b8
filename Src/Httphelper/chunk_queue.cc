#include "Src/Httphelper/chunk_queue.h"

#include <string.h>

#include <utility>

namespace bastion {

ChunkQueue::ChunkQueue(size_t capacity) : capacity_(capacity) {}

bool ChunkQueue::Push(const uint8_t* bytes, size_t count) {
  std::unique_lock<std::mutex> guard(lock_);
  changed_.wait(guard, [&] { return closed_ || queued_ == 0 || queued_ + count <= capacity_; });
  if (closed_) return false;
  std::vector<uint8_t> chunk;
  if (!spare_.empty()) {
    chunk = std::move(spare_.back());
    spare_.pop_back();
  }
  chunk.resize(count);
  if (count > 0) memcpy(chunk.data(), bytes, count);
  chunks_.push_back(std::move(chunk));
  queued_ += count;
  changed_.notify_all();
  return true;
}

bool ChunkQueue::Pop(std::vector<uint8_t>& chunk) {
  std::unique_lock<std::mutex> guard(lock_);
  changed_.wait(guard, [&] { return closed_ || !chunks_.empty(); });
  if (chunks_.empty()) return false;
  // The caller's previous chunk becomes a spare for the next push.
  if (chunk.capacity() > 0 && spare_.size() < 4) spare_.push_back(std::move(chunk));
  chunk = std::move(chunks_.front());
  chunks_.pop_front();
  queued_ -= chunk.size();
  changed_.notify_all();
  return true;
}

void ChunkQueue::Close() {
  std::lock_guard<std::mutex> guard(lock_);
  closed_ = true;
  changed_.notify_all();
}

void ChunkQueue::Cancel() {
  std::lock_guard<std::mutex> guard(lock_);
  closed_ = true;
  chunks_.clear();
  queued_ = 0;
  changed_.notify_all();
}

size_t ChunkQueue::queuedBytes() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queued_;
}

}  // namespace bastion
