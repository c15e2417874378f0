#pragma once
// Counts global operator new calls made on the current thread while a
// TAllocCountScope is alive. A test binary that includes this header gets the
// counting replacements of the global allocation functions (linked from the
// test support library); a plug-in library loaded by an executable that
// exports them (ENABLE_EXPORTS) binds to them too, so its allocations are
// seen. The Windows DLL links its own C++ runtime, whose allocations are not.

class TAllocCountScope {
public:
  TAllocCountScope();
  ~TAllocCountScope();
  TAllocCountScope(const TAllocCountScope&) = delete;
  TAllocCountScope& operator=(const TAllocCountScope&) = delete;
  // Allocations on this thread since the scope began.
  long Count() const;
};
