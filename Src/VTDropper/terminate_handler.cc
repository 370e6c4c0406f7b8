// The executables' terminate handler. libstdc++'s default one names the
// exception's type through the demangler, about 49 KB of the shipped exe that
// the stub never needs: nobody reads its standard error for a type name.
// Defining the symbol here keeps the library's copy out at link time
// (std::set_terminate would not: the default handler's reference stays).
// abort() keeps the exit code 3 of an unhandled exception.
#include <cstdlib>

namespace __gnu_cxx {

[[gnu::used]] void __verbose_terminate_handler() {
  std::abort();
}

}  // namespace __gnu_cxx
