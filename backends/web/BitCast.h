#pragma once
// Emscripten's C++ library before 3.1.x's newer releases has <bit> without std::bit_cast; the
// compiler has the built-in it is made of. Included ahead of every source of the web build.
#include <bit>

#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From> constexpr To bit_cast(const From& from) noexcept {
    static_assert(sizeof(To) == sizeof(From), "bit_cast needs equal sizes");
    return __builtin_bit_cast(To, from);
}
} // namespace std
#endif
