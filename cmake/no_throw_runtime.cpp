// libstdc++ reports a failed precondition of a library call (a substr past
// the end, a length past max_size) through its std::__throw_* functions.
// With exceptions off a throw ends the program anyway; the library's own
// definitions get there through its exception machinery, string class and
// demangler, more code than the rest of projport.exe. These definitions take
// their place (see projport_no_throw_runtime in cmake/compiler.cmake) and end
// the program at once, as an uncaught throw would. They are every function
// that libstdc++ defines in functexcept.o, so that object is never linked.
// Only for a program that uses no other part of the library: a string or a
// container would still bring in its own code (the size check of
// projport.exe then fails).
#include <cstdlib>

namespace std {

[[noreturn]] void __throw_bad_exception() { std::abort(); }
[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_bad_cast() { std::abort(); }
[[noreturn]] void __throw_bad_typeid() { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_domain_error(const char*) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_runtime_error(const char*) { std::abort(); }
[[noreturn]] void __throw_range_error(const char*) { std::abort(); }
[[noreturn]] void __throw_overflow_error(const char*) { std::abort(); }
[[noreturn]] void __throw_underflow_error(const char*) { std::abort(); }

}  // namespace std
