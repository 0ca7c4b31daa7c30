// The C++ runtime's default answer to an uncaught exception prints the exception's type to
// stderr, demangled, before it aborts: that links the whole demangler and a printf into the
// program (about 70 KB). A windowed program has no stderr to print to, so this handler, which
// replaces the runtime's own at link time, only aborts, as the default does after printing.
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx
