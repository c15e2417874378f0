// The window system on Windows: real windows of two classes registered by
// this module, GDI paints, and the host's message loop delivering everything.
//
// Helper windows ("KestruneVCLClass") pass only posted application messages
// and timers to their client; form and popup windows pass every message and
// fall back to DefWindowProcA when the client does not handle it. The client
// sits in GWLP_USERDATA and is cleared before a window is destroyed, so a
// destroyed window's client gets nothing more. No C++ exception leaves a
// window procedure.

#include <windows.h>
// windows.h maps PostMessage to PostMessageA; the port's method keeps its own name.
#undef PostMessage

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ui/WindowSystem.h"

namespace platform::ui {

namespace {

const char kHelperClass[] = "KestruneVCLClass";
const char kFormClass[] = "KestruneFormWindow";

// The module (DLL or executable) this code is linked into: window classes
// belong to it, so two plug-ins built from this code never share one.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

WindowClient* ClientOf(HWND hwnd) { return reinterpret_cast<WindowClient*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

// Calls the client; true with the result when it handled the message.
bool CallClient(WindowClient* client, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  Message m;
  m.Msg = msg;
  m.WParam = wp;
  m.LParam = lp;
  try {
    if (!client->WindowProc(reinterpret_cast<Handle>(hwnd), m)) return false;
  } catch (...) {
    result = 0;
    return true;
  }
  result = m.Result;
  return true;
}

void RestoreCursor(HWND hwnd);

LRESULT CALLBACK HelperProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  WindowClient* client = ClientOf(hwnd);
  if (client && ((msg >= msg::User && msg <= msg::AppLast) || msg == WM_TIMER)) {
    LRESULT result = 0;
    if (CallClient(client, hwnd, msg, wp, lp, result)) return result;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  if (msg == WM_NCDESTROY) RestoreCursor(hwnd);
  WindowClient* client = ClientOf(hwnd);
  if (client) {
    LRESULT result = 0;
    if (CallClient(client, hwnd, msg, wp, lp, result)) return result;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// The two window classes, registered on first use and unregistered when the
// module is unloaded.
class WindowClasses {
public:
  WindowClasses() : FInstance(ThisModule()) {
    WNDCLASSA helper;
    ZeroMemory(&helper, sizeof(helper));
    helper.lpfnWndProc = HelperProc;
    helper.hInstance = FInstance;
    helper.lpszClassName = kHelperClass;
    FHelper = RegisterClassA(&helper) != 0;

    WNDCLASSA form;
    ZeroMemory(&form, sizeof(form));
    form.style = CS_DBLCLKS;
    form.lpfnWndProc = FormProc;
    form.hInstance = FInstance;
    form.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    form.lpszClassName = kFormClass;
    FForm = RegisterClassA(&form) != 0;
  }
  ~WindowClasses() {
    if (FHelper) UnregisterClassA(kHelperClass, FInstance);
    if (FForm) UnregisterClassA(kFormClass, FInstance);
  }
  WindowClasses(const WindowClasses&) = delete;
  WindowClasses& operator=(const WindowClasses&) = delete;

  HINSTANCE Instance() const { return FInstance; }

private:
  HINSTANCE FInstance;
  bool FHelper = false, FForm = false;
};

WindowClasses& Classes() {
  static WindowClasses classes;
  return classes;
}

// Windows that hid the cursor with ShowCursor(FALSE), each counted once so the
// display counter stays balanced; a destroyed window shows it again.
std::mutex gCursorLock;
std::vector<HWND> gCursorHidden;

void RestoreCursor(HWND hwnd) {
  std::lock_guard<std::mutex> guard(gCursorLock);
  auto it = std::find(gCursorHidden.begin(), gCursorHidden.end(), hwnd);
  if (it == gCursorHidden.end()) return;
  gCursorHidden.erase(it);
  ::ShowCursor(TRUE);
}

BOOL CALLBACK DetachClient(HWND hwnd, LPARAM) {
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  return TRUE;
}

HWND H(Handle window) { return reinterpret_cast<HWND>(window); }

// A paint in progress: the target handed to the client and what EndPaint needs.
struct Win32Paint {
  PaintTarget Target;
  PAINTSTRUCT Ps;
  HWND Window;
};

class Win32WindowSystem : public WindowSystem {
public:
  const char* Name() const override { return "win32"; }

  Handle CreateChildWindow(Handle parent, const Rect& bounds, WindowClient* client) override {
    if (parent == 0 || !::IsWindow(H(parent))) return 0;
    HWND hwnd = CreateWindowExA(0, kFormClass, "", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, bounds.Left,
                                bounds.Top, std::max(bounds.Width(), 0), std::max(bounds.Height(), 0), H(parent),
                                nullptr, Classes().Instance(), client);
    return reinterpret_cast<Handle>(hwnd);
  }

  Handle CreatePopupWindow(const Rect& screenBounds, WindowClient* client) override {
    HWND hwnd =
        CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kFormClass, "", WS_POPUP | WS_CLIPCHILDREN,
                        screenBounds.Left, screenBounds.Top, std::max(screenBounds.Width(), 0),
                        std::max(screenBounds.Height(), 0), nullptr, nullptr, Classes().Instance(), client);
    return reinterpret_cast<Handle>(hwnd);
  }

  Handle CreateHelperWindow(WindowClient* client) override {
    HWND hwnd = CreateWindowExA(WS_EX_TOOLWINDOW, kHelperClass, "CtlWindow", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                Classes().Instance(), nullptr);
    if (hwnd) SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(client));
    return reinterpret_cast<Handle>(hwnd);
  }

  void DestroyWindow(Handle window) override {
    HWND hwnd = H(window);
    if (!::IsWindow(hwnd) || !OwnWindow(hwnd)) return;
    DetachClient(hwnd, 0);
    EnumChildWindows(hwnd, DetachClient, 0);
    ::DestroyWindow(hwnd);
  }

  bool IsWindow(Handle window) override { return window != 0 && ::IsWindow(H(window)); }

  void SetBounds(Handle window, const Rect& bounds) override {
    MoveWindow(H(window), bounds.Left, bounds.Top, std::max(bounds.Width(), 0), std::max(bounds.Height(), 0), TRUE);
  }

  void ShowWindow(Handle window, bool show) override {
    HWND hwnd = H(window);
    // Popups never take the activation from the host's window.
    const bool popup = (GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_POPUP) != 0;
    ::ShowWindow(hwnd, !show ? SW_HIDE : popup ? SW_SHOWNA : SW_SHOW);
  }

  void ClientToScreen(Handle window, int32_t& x, int32_t& y) override {
    POINT p{x, y};
    if (::ClientToScreen(H(window), &p)) {
      x = p.x;
      y = p.y;
    }
  }

  Rect ScreenRect() override {
    return Rect{0, 0, GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1};
  }

  bool PostMessage(Handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) override {
    return PostMessageA(H(window), message, wparam, lparam) != 0;
  }

  uintptr_t SetTimer(Handle window, uintptr_t id, uint32_t ms) override {
    return ::SetTimer(H(window), id, ms, nullptr);
  }

  void KillTimer(Handle window, uintptr_t id) override { ::KillTimer(H(window), id); }

  void InvalidateRect(Handle window, const Rect* rect) override {
    if (!rect) {
      ::InvalidateRect(H(window), nullptr, FALSE);
      return;
    }
    RECT r{rect->Left, rect->Top, rect->Right + 1, rect->Bottom + 1};
    ::InvalidateRect(H(window), &r, FALSE);
  }

  bool GetUpdateRect(Handle window, Rect& rect) override {
    RECT r;
    if (!::GetUpdateRect(H(window), &r, FALSE)) return false;
    rect = Rect{r.left, r.top, r.right - 1, r.bottom - 1};
    return true;
  }

  PaintTarget* BeginPaint(Handle window) override {
    auto paint = std::make_unique<Win32Paint>();
    paint->Window = H(window);
    HDC dc = ::BeginPaint(paint->Window, &paint->Ps);
    if (!dc) return nullptr;
    RECT client{0, 0, 0, 0};
    GetClientRect(paint->Window, &client);
    PaintTarget& t = paint->Target;
    t.NativeDC = dc;
    t.Width = client.right;
    t.Height = client.bottom;
    const RECT& u = paint->Ps.rcPaint;
    t.Clip = Rect{u.left, u.top, u.right - 1, u.bottom - 1};
    FPaints.push_back(std::move(paint));
    return &FPaints.back()->Target;
  }

  void EndPaint(Handle, PaintTarget* target) override {
    auto it = std::find_if(FPaints.begin(), FPaints.end(), [&](const auto& p) { return &p->Target == target; });
    if (it == FPaints.end()) return;
    ::EndPaint((*it)->Window, &(*it)->Ps);
    FPaints.erase(it);
  }

  void OffsetOrigin(PaintTarget& target, int32_t dx, int32_t dy) override {
    // Logical (0, 0) moves by (dx, dy) on the device: the window origin moves the other way.
    if (target.NativeDC) OffsetWindowOrgEx(static_cast<HDC>(target.NativeDC), -dx, -dy, nullptr);
    target.OriginX += dx;
    target.OriginY += dy;
  }

  void IntersectClip(PaintTarget& target, const Rect& rect) override {
    if (target.NativeDC)
      IntersectClipRect(static_cast<HDC>(target.NativeDC), rect.Left, rect.Top, rect.Right + 1, rect.Bottom + 1);
    Rect d{rect.Left + target.OriginX, rect.Top + target.OriginY, rect.Right + target.OriginX,
           rect.Bottom + target.OriginY};
    Rect& c = target.Clip;
    c = Rect{std::max(c.Left, d.Left), std::max(c.Top, d.Top), std::min(c.Right, d.Right),
             std::min(c.Bottom, d.Bottom)};
  }

  void SetCapture(Handle window) override { ::SetCapture(H(window)); }
  void ReleaseCapture() override { ::ReleaseCapture(); }
  Handle GetCapture() override { return reinterpret_cast<Handle>(::GetCapture()); }

  void TrackMouseLeave(Handle window) override {
    TRACKMOUSEEVENT t;
    ZeroMemory(&t, sizeof(t));
    t.cbSize = sizeof(t);
    t.dwFlags = TME_LEAVE;
    t.hwndTrack = H(window);
    t.dwHoverTime = 0;
    TrackMouseEvent(&t);
  }

  bool GetCursorPos(int32_t& x, int32_t& y) override {
    POINT p;
    if (!::GetCursorPos(&p)) return false;
    x = p.x;
    y = p.y;
    return true;
  }

  void SetCursorPos(int32_t x, int32_t y) override { ::SetCursorPos(x, y); }

  void ShowCursor(Handle window, bool show) override {
    HWND hwnd = H(window);
    if (show) {
      RestoreCursor(hwnd);
      return;
    }
    if (!::IsWindow(hwnd)) return;
    std::lock_guard<std::mutex> guard(gCursorLock);
    if (std::find(gCursorHidden.begin(), gCursorHidden.end(), hwnd) != gCursorHidden.end()) return;
    gCursorHidden.push_back(hwnd);
    ::ShowCursor(FALSE);
  }

  uint32_t KeyState() override {
    uint32_t k = 0;
    if (GetKeyState(VK_SHIFT) < 0) k |= keys::Shift;
    if (GetKeyState(VK_CONTROL) < 0) k |= keys::Control;
    if (GetKeyState(VK_MENU) < 0) k |= keys::Alt;
    return k;
  }

  void SetFocus(Handle window) override { ::SetFocus(H(window)); }
  bool HasFocus(Handle window) override { return window != 0 && ::GetFocus() == H(window); }

  void Pump() override {}

private:
  // Only windows of this module's classes are destroyed through the port.
  static bool OwnWindow(HWND hwnd) {
    return GetWindowLongPtrA(hwnd, GWLP_HINSTANCE) == reinterpret_cast<LONG_PTR>(Classes().Instance());
  }

  std::vector<std::unique_ptr<Win32Paint>> FPaints;
};

}  // namespace

WindowSystem& NativeWindowSystem() {
  static Win32WindowSystem system;
  return system;
}

}  // namespace platform::ui
