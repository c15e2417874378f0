// Replaces the global allocation functions of the test binary so a test can
// count the allocations made inside a call on its own thread.
#include "tests/support/AllocCounter.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool tCounting = false;
thread_local long tCount = 0;

void* CountedAlloc(std::size_t size) {
  if (tCounting) ++tCount;
  return std::malloc(size ? size : 1);
}
void* CountedAllocOrThrow(std::size_t size) {
  if (void* p = CountedAlloc(size)) return p;
  throw std::bad_alloc();
}
}  // namespace

TAllocCountScope::TAllocCountScope() {
  tCount = 0;
  tCounting = true;
}
TAllocCountScope::~TAllocCountScope() { tCounting = false; }
long TAllocCountScope::Count() const { return tCount; }

// The replacements pair malloc with free on purpose.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) { return CountedAllocOrThrow(size); }
void* operator new[](std::size_t size) { return CountedAllocOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
