// setup.exe's own allocation operators: the standard ones would link the whole exception runtime.
//
// The preloader never catches anything, so a failed allocation ends the
// process at once instead of throwing; TString does the same.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    std::abort();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

// Called only if a pure virtual function were reached through a half-built object.
extern "C" void __cxa_pure_virtual() { std::abort(); }
