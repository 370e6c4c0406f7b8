// Counting of the page's progress steps during one download: one step per
// 27 received chunks, and the bar filled up to 102 steps afterwards.
#ifndef BASTION_SRC_VTDROPPER_DOWNLOAD_PROGRESS_H_
#define BASTION_SRC_VTDROPPER_DOWNLOAD_PROGRESS_H_

#include <stdint.h>

namespace bastion {

class DownloadProgress {
 public:
  static constexpr uint32_t kChunksPerStep = 27;
  static constexpr uint32_t kFullSteps = 102;

  // Both counts back to 0, before each download.
  void Reset();
  // One chunk received; true when the page is due one step.
  bool OnChunk();
  // One fill-up step after the download; false once 102 steps were made.
  bool NextFillStep();

  uint32_t steps() const { return steps_; }

 private:
  uint32_t chunks_ = 0;
  uint32_t steps_ = 0;
};

}  // namespace bastion

#endif  // BASTION_SRC_VTDROPPER_DOWNLOAD_PROGRESS_H_
