// The nothrow forms of new, on the C runtime's heap. libstdc++'s own ones call the throwing
// forms inside a try block, which links the C++ exception runtime and its demangler into a
// program that throws nothing. The ordinary delete releases them: it calls free() too.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}
