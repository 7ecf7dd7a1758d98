// The C++ run-time pieces that the Windows program and BWCC32.DLL use,
// defined here so that the library's versions, which come with exception
// support, the demangler and thread locks, are never linked in. Both are
// built without exceptions: whatever would throw ends the program the way
// the C run-time ends it abnormally.
#include <cstdlib>
#include <new>
#include <string>

void* operator new(std::size_t size)
{
    if (void* block = std::malloc(size != 0 ? size : 1))
        return block;
    std::abort();
}

void* operator new[](std::size_t size) { return operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace std {

// What the containers call where the library would throw.
void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_invalid_argument(const char*) { abort(); }

// The library's own copy of the string class is built with exceptions:
// instantiating it here, without them, keeps that copy out.
template class basic_string<char>;

}  // namespace std
