#include "Src/VTDropper/download_progress.h"

#include <gtest/gtest.h>

using namespace bastion;

namespace {

// Page steps made during `chunks` chunks and in the fill-up afterwards.
std::pair<int, int> Steps(int chunks) {
  DownloadProgress progress;
  progress.Reset();
  int during = 0;
  for (int i = 0; i < chunks; ++i) during += progress.OnChunk() ? 1 : 0;
  int after = 0;
  while (progress.NextFillStep()) ++after;
  return {during, after};
}

TEST(DownloadProgress, OneStepOnEvery27thChunk) {
  DownloadProgress progress;
  progress.Reset();
  for (int call = 1; call <= 81; ++call) EXPECT_EQ(progress.OnChunk(), call % 27 == 0) << call;
  EXPECT_EQ(progress.steps(), 3u);
}

TEST(DownloadProgress, FillUpReachesExactly102) {
  EXPECT_EQ(Steps(0), std::make_pair(0, 102));
  EXPECT_EQ(Steps(26), std::make_pair(0, 102));
  EXPECT_EQ(Steps(27), std::make_pair(1, 101));
  EXPECT_EQ(Steps(27 * 102), std::make_pair(102, 0));
  EXPECT_EQ(Steps(27 * 150 + 5), std::make_pair(150, 0));
}

TEST(DownloadProgress, ResetStartsBothCountsAgain) {
  DownloadProgress progress;
  for (int i = 0; i < 40; ++i) progress.OnChunk();  // one step, 13 chunks pending
  progress.Reset();
  EXPECT_EQ(progress.steps(), 0u);
  for (int i = 0; i < 26; ++i) EXPECT_FALSE(progress.OnChunk());
  EXPECT_TRUE(progress.OnChunk());
}

}  // namespace
