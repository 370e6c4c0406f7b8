// What a step that calls Windows came to: success, or failure with the
// Windows error that caused it, carried up to the one place that reports
// the run's end. Tests as true on success.
#ifndef BASTION_PLATFORM_WIN32_RESULT_H_
#define BASTION_PLATFORM_WIN32_RESULT_H_

namespace bastion {

class [[nodiscard]] Win32Result {
 public:
  static Win32Result Success() { return Win32Result(true, 0); }
  // `error` 0 for a failure that no Windows error explains.
  static Win32Result Failure(unsigned long error) { return Win32Result(false, error); }

  explicit operator bool() const { return ok_; }
  // 0 on success.
  unsigned long error() const { return error_; }

 private:
  Win32Result(bool ok, unsigned long error) : ok_(ok), error_(error) {}

  bool ok_;
  unsigned long error_;
};

}  // namespace bastion

#endif  // BASTION_PLATFORM_WIN32_RESULT_H_
