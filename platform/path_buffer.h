// A path or command line in a fixed buffer of 260 wide characters: at most
// 259 characters and the terminating zero. An append that would not fit
// leaves the text unchanged and fails, so an over-long path is never cut.
#ifndef BASTION_PLATFORM_PATH_BUFFER_H_
#define BASTION_PLATFORM_PATH_BUFFER_H_

#include <stddef.h>

namespace bastion {

class PathBuffer {
 public:
  static constexpr size_t kCapacity = 260;

  PathBuffer() = default;
  PathBuffer(const PathBuffer&) = delete;
  PathBuffer& operator=(const PathBuffer&) = delete;

  bool Append(const wchar_t* text);
  bool Append(const wchar_t* text, size_t count);

  const wchar_t* c_str() const { return text_; }
  // Writable, for calls such as CreateProcessW that need it.
  wchar_t* data() { return text_; }
  size_t size() const { return length_; }

 private:
  wchar_t text_[kCapacity] = {};
  size_t length_ = 0;
};

}  // namespace bastion

#endif  // BASTION_PLATFORM_PATH_BUFFER_H_
