// The run time's default answer to std::terminate, defined here so that the library's is not
// linked: that one names the exception's type through the C++ demangler, a twentieth of the
// DLL. This one says the same on stderr with the type's name as the compiler writes it, then
// aborts as that one does.
#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    static bool terminating = false;
    if (terminating) {
        std::fputs("terminate called recursively\n", stderr);
        std::abort();
    }
    terminating = true;
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        std::fputs("terminate called without an active exception\n", stderr);
        std::abort();
    }
    std::fputs("terminate called after throwing an instance of '", stderr);
    std::fputs(type->name(), stderr);
    std::fputs("'\n", stderr);
    try {
        throw;
    } catch (const std::exception& exception) {
        std::fputs("  what():  ", stderr);
        std::fputs(exception.what(), stderr);
        std::fputs("\n", stderr);
    } catch (...) {
    }
    std::abort();
}

}  // namespace __gnu_cxx
