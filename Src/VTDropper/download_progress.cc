#include "Src/VTDropper/download_progress.h"

namespace bastion {

void DownloadProgress::Reset() {
  chunks_ = 0;
  steps_ = 0;
}

bool DownloadProgress::OnChunk() {
  uint32_t seen = chunks_++;
  if (seen < kChunksPerStep - 1) return false;
  ++steps_;
  chunks_ = 0;
  return true;
}

bool DownloadProgress::NextFillStep() {
  if (steps_ >= kFullSteps) return false;
  ++steps_;
  return true;
}

}  // namespace bastion
