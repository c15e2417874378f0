#pragma once
// Windows test processes under one Wine server share one display and one
// mouse, and ctest runs two at a time: suites that show windows, read the
// screen back or move the mouse take turns through one named mutex, held for
// the whole suite.

#include <windows.h>

namespace testsupport {

class DisplayTurn {
public:
  // Waits up to a minute for the display; Held() says whether it came.
  DisplayTurn() {
    FMutex = CreateMutexA(nullptr, FALSE, "KesTestDisplayTurn");
    const DWORD waited = FMutex ? WaitForSingleObject(FMutex, 60000) : WAIT_FAILED;
    FHeld = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~DisplayTurn() {
    if (FHeld) ReleaseMutex(FMutex);
    if (FMutex) CloseHandle(FMutex);
  }
  DisplayTurn(const DisplayTurn&) = delete;
  DisplayTurn& operator=(const DisplayTurn&) = delete;
  bool Held() const { return FHeld; }

private:
  HANDLE FMutex = nullptr;
  bool FHeld = false;
};

}  // namespace testsupport
