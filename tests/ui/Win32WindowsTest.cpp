// The Win32 window system with real windows: a top-level window stands for
// the host's editor parent, the test runs the message loop a host would run
// and reads back what reached the screen.

#include <windows.h>
// windows.h maps these to their A versions; the ports' methods keep their names.
#undef PostMessage
#undef TextOut

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "platform/ui/Surface.h"
#include "platform/ui/WindowSystem.h"
#include "tests/support/DisplayTurn.h"

namespace platform::ui {
namespace {

// Runs the thread's message loop until done() holds or ms pass.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 3000) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    if (done()) return true;
    if (GetTickCount() - start > ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

HWND H(Handle w) { return reinterpret_cast<HWND>(w); }

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

// Records what arrives; paints its client area in Fill, then, when Inset is
// set, a surface in Overlay moved by (10, 10) and clipped to logical 0..19.
class Client : public WindowClient {
public:
  bool WindowProc(Handle window, Message& m) override {
    if (ThrowOn != 0 && m.Msg == ThrowOn) throw std::runtime_error("client failure");
    Seen.push_back(m);
    if (m.Msg != msg::Paint) return m.Msg == msg::EraseBkgnd;
    WindowSystem& ws = NativeWindowSystem();
    PaintTarget* t = ws.BeginPaint(window);
    if (!t) return false;
    RECT rc;
    GetClientRect(H(window), &rc);
    SurfaceError err;
    auto s = Surface::Create(rc.right, rc.bottom, false, err);
    if (s) {
      s->SetBrush(Fill, BrushStyle::Solid);
      s->FillRect(0, 0, rc.right, rc.bottom);
      s->CopyToTarget(*t, 0, 0);
    }
    if (Inset) {
      auto o = Surface::Create(50, 50, false, err);
      o->SetBrush(Overlay, BrushStyle::Solid);
      o->FillRect(0, 0, 50, 50);
      ws.OffsetOrigin(*t, 10, 10);
      ws.IntersectClip(*t, Rect{0, 0, 19, 19});
      o->CopyToTarget(*t, 0, 0);
    }
    ws.EndPaint(window, t);
    ++Paints;
    return true;
  }
  int Count(uint32_t message) const {
    int n = 0;
    for (const Message& m : Seen) n += m.Msg == message;
    return n;
  }
  std::vector<Message> Seen;
  uint32_t Fill = RGB(200, 40, 20);
  uint32_t Overlay = RGB(10, 180, 60);
  bool Inset = false;
  uint32_t ThrowOn = 0;
  int Paints = 0;
};

class Win32Windows : public ::testing::Test {
protected:
  // One host window for the suite: creating and mapping a top-level window is slow under Wine.
  static void SetUpTestSuite() {
    Turn = new testsupport::DisplayTurn;
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "KesTestHostWindow";
    RegisterClassA(&wc);
    // No WS_CLIPCHILDREN: the parent's DC then reads the children's pixels too.
    Host = CreateWindowExA(0, wc.lpszClassName, "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 360, 260, nullptr,
                           nullptr, wc.hInstance, nullptr);
    SetForegroundWindow(Host);
    UpdateWindow(Host);
    PumpFor(50);
  }
  static void TearDownTestSuite() {
    if (Host) ::DestroyWindow(Host);
    Host = nullptr;
    PumpFor(10);
    delete Turn;
    Turn = nullptr;
  }
  void SetUp() override { ASSERT_NE(Host, nullptr); }

  // The parent's client pixels as 0x00RRGGBB.
  uint32_t Pixel(HWND w, int x, int y) {
    HDC src = GetDC(w);
    HDC mem = CreateCompatibleDC(src);
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof(bi));
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 1;
    bi.bmiHeader.biHeight = -1;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, 1, 1, src, x, y, SRCCOPY);
    GdiFlush();
    const uint32_t p = *static_cast<uint32_t*>(bits) & 0xFFFFFFu;
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(w, src);
    return p;
  }

  Handle ShownChild(Client& c, const Rect& bounds) {
    WindowSystem& ws = NativeWindowSystem();
    Handle w = ws.CreateChildWindow(reinterpret_cast<Handle>(Host), bounds, &c);
    if (w) {
      ws.ShowWindow(w, true);
      PumpUntil([&] { return c.Paints > 0; });
    }
    return w;
  }

  static HWND Host;
  static testsupport::DisplayTurn* Turn;
};

HWND Win32Windows::Host = nullptr;
testsupport::DisplayTurn* Win32Windows::Turn = nullptr;

constexpr uint32_t Rgb(uint32_t colorref) {  // 0x00BBGGRR -> 0x00RRGGBB
  return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

TEST_F(Win32Windows, ChildPaintsReachTheParentAtItsBounds) {
  Client c;
  c.Inset = true;
  Handle w = ShownChild(c, Rect{20, 30, 139, 109});  // 120 x 80 at (20, 30)
  ASSERT_NE(w, 0u);
  ASSERT_GT(c.Paints, 0);
  EXPECT_EQ(GetParent(H(w)), Host);
  struct Case {
    int X, Y;
    uint32_t Want;
    const char* What;
  } cases[] = {
      {19, 60, Rgb(RGB(255, 255, 255)), "left of the child: the parent's background"},
      {20, 30, Rgb(c.Fill), "the child's first pixel"},
      {139, 109, Rgb(c.Fill), "the child's last pixel"},
      {140, 60, Rgb(RGB(255, 255, 255)), "right of the child"},
      {20 + 10, 30 + 10, Rgb(c.Overlay), "the overlay starts at the moved origin"},
      {20 + 29, 30 + 29, Rgb(c.Overlay), "the overlay's last pixel inside the clip"},
      {20 + 30, 30 + 15, Rgb(c.Fill), "the overlay is clipped to logical 0..19"},
      {20 + 9, 30 + 15, Rgb(c.Fill), "left of the moved origin"},
  };
  for (const Case& k : cases) EXPECT_EQ(Pixel(Host, k.X, k.Y), k.Want) << k.What;
  NativeWindowSystem().DestroyWindow(w);
  EXPECT_FALSE(NativeWindowSystem().IsWindow(w));
}

TEST_F(Win32Windows, UpdateRectangleIsInclusive) {
  Client c;
  WindowSystem& ws = NativeWindowSystem();
  Handle w = ShownChild(c, Rect{0, 0, 99, 59});
  ASSERT_NE(w, 0u);
  Rect r;
  EXPECT_FALSE(ws.GetUpdateRect(w, r)) << "painted and validated";
  const Rect part{5, 6, 14, 20};
  ws.InvalidateRect(w, &part);
  ASSERT_TRUE(ws.GetUpdateRect(w, r));
  EXPECT_EQ(r.Left, 5);
  EXPECT_EQ(r.Top, 6);
  EXPECT_EQ(r.Right, 14);
  EXPECT_EQ(r.Bottom, 20);
  ws.InvalidateRect(w, nullptr);
  ASSERT_TRUE(ws.GetUpdateRect(w, r));
  EXPECT_EQ(r.Left, 0);
  EXPECT_EQ(r.Right, 99);
  EXPECT_EQ(r.Bottom, 59);
  const int before = c.Paints;
  EXPECT_TRUE(PumpUntil([&] { return c.Paints > before; }));
  EXPECT_FALSE(ws.GetUpdateRect(w, r));
  ws.DestroyWindow(w);
}

TEST_F(Win32Windows, HelperWindowPassesOnlyApplicationMessagesAndTimers) {
  WindowSystem& ws = NativeWindowSystem();
  Client c;
  Handle w = ws.CreateHelperWindow(&c);
  ASSERT_NE(w, 0u);
  EXPECT_FALSE(IsWindowVisible(H(w)));
  struct Case {
    uint32_t Msg;
    bool Delivered;
  } cases[] = {{msg::User - 1, false}, {msg::User, true},         {msg::User + 77, true},
               {msg::AppLast, true},   {msg::AppLast + 1, false}, {msg::MouseMove, false}};
  for (const Case& k : cases) ASSERT_TRUE(ws.PostMessage(w, k.Msg, k.Msg * 3u, -static_cast<intptr_t>(k.Msg)));
  ASSERT_NE(ws.SetTimer(w, 7, 10), 0u);
  ASSERT_TRUE(PumpUntil([&] { return c.Count(msg::Timer) >= 2; }));
  ws.KillTimer(w, 7);
  PumpFor(20);
  const int ticks = c.Count(msg::Timer);
  PumpFor(60);
  EXPECT_EQ(c.Count(msg::Timer), ticks) << "a killed timer keeps ticking";
  for (const Case& k : cases) {
    bool found = false;
    for (const Message& m : c.Seen)
      if (m.Msg == k.Msg) {
        found = true;
        EXPECT_EQ(m.WParam, k.Msg * 3u);
        EXPECT_EQ(m.LParam, -static_cast<intptr_t>(k.Msg));
      }
    EXPECT_EQ(found, k.Delivered) << std::hex << k.Msg;
  }
  for (const Message& m : c.Seen) {
    const bool app = m.Msg >= msg::User && m.Msg <= msg::AppLast;
    EXPECT_TRUE(app || (m.Msg == msg::Timer && m.WParam == 7)) << std::hex << m.Msg;
  }
  ws.DestroyWindow(w);
  EXPECT_FALSE(ws.IsWindow(w));
  EXPECT_FALSE(ws.PostMessage(w, msg::User, 0, 0));
}

TEST_F(Win32Windows, ClientExceptionsStayInTheWindowProcedure) {
  WindowSystem& ws = NativeWindowSystem();
  Client helperClient, formClient;
  helperClient.ThrowOn = formClient.ThrowOn = msg::User + 1;
  Handle helper = ws.CreateHelperWindow(&helperClient);
  Handle form = ws.CreateChildWindow(reinterpret_cast<Handle>(Host), Rect{0, 0, 9, 9}, &formClient);
  ASSERT_NE(helper, 0u);
  ASSERT_NE(form, 0u);
  for (Handle w : {helper, form}) EXPECT_EQ(SendMessageA(H(w), msg::User + 1, 0, 0), 0);
  ws.DestroyWindow(helper);
  ws.DestroyWindow(form);
}

TEST_F(Win32Windows, DeadOrBogusParentsGiveNoWindow) {
  WindowSystem& ws = NativeWindowSystem();
  HWND gone = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(gone, nullptr);
  ::DestroyWindow(gone);
  Client c;
  for (Handle parent : {Handle{0}, reinterpret_cast<Handle>(gone), Handle{0x7FFF1234}}) {
    EXPECT_EQ(ws.CreateChildWindow(parent, Rect{0, 0, 9, 9}, &c), 0u) << std::hex << parent;
  }
  EXPECT_TRUE(c.Seen.empty());
}

TEST_F(Win32Windows, DestroyedWindowsLeaveNoWindowsObjectsOrHiddenCursor) {
  WindowSystem& ws = NativeWindowSystem();
  auto topLevel = [] {
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&n));
    return n;
  };
  auto children = [&] {
    int n = 0;
    EnumChildWindows(Host, CountWindow, reinterpret_cast<LPARAM>(&n));
    return n;
  };
  auto cursorCount = [] {
    ::ShowCursor(TRUE);
    return ::ShowCursor(FALSE);
  };
  const DWORD gdi0 = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const DWORD user0 = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  const int top0 = topLevel(), child0 = children(), cursor0 = cursorCount();
  for (int i = 0; i < 50; ++i) {
    Client c;
    Handle helper = ws.CreateHelperWindow(&c);
    Handle child = ws.CreateChildWindow(reinterpret_cast<Handle>(Host), Rect{0, 0, 63, 31}, &c);
    Handle popup = ws.CreatePopupWindow(Rect{200, 200, 239, 229}, &c);
    ASSERT_TRUE(helper && child && popup);
    Handle grandchild = ws.CreateChildWindow(child, Rect{1, 1, 10, 10}, &c);
    ASSERT_NE(grandchild, 0u);
    ws.ShowWindow(child, true);
    ws.ShowWindow(grandchild, true);
    ws.ShowCursor(child, false);
    ws.ShowCursor(child, false);  // counted once
    EXPECT_EQ(cursorCount(), cursor0 - 1);
    ws.SetTimer(helper, 1, 1000);
    PumpUntil([&] { return c.Paints >= 2; }, 500);
    ws.DestroyWindow(popup);
    ws.DestroyWindow(child);  // its child and its hidden cursor go with it
    ws.DestroyWindow(helper);
    EXPECT_FALSE(ws.IsWindow(grandchild));
    const size_t seen = c.Seen.size();
    PumpFor(2);
    EXPECT_EQ(c.Seen.size(), seen) << "a destroyed window's client got a message";
  }
  EXPECT_EQ(topLevel(), top0);
  EXPECT_EQ(children(), child0);
  EXPECT_EQ(cursorCount(), cursor0);
  // Wine answers 0 here; Windows counts the process's objects.
  if (gdi0 != 0 && user0 != 0) {
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi0);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user0);
  }
}

TEST_F(Win32Windows, ClicksReachTheClientInClientCoordinates) {
  WindowSystem& ws = NativeWindowSystem();
  Client c;
  Handle w = ShownChild(c, Rect{30, 20, 229, 169});
  ASSERT_NE(w, 0u);
  int32_t sx = 12, sy = 34;
  ws.ClientToScreen(w, sx, sy);
  POINT p{0, 0};
  ::ClientToScreen(Host, &p);
  EXPECT_EQ(sx, p.x + 30 + 12);
  EXPECT_EQ(sy, p.y + 20 + 34);
  ws.SetCursorPos(sx, sy);
  int32_t cx = 0, cy = 0;
  ASSERT_TRUE(ws.GetCursorPos(cx, cy));
  EXPECT_EQ(cx, sx);
  EXPECT_EQ(cy, sy);
  PumpFor(30);
  // Two quick clicks: the second arrives as a double-click (the class has CS_DBLCLKS).
  INPUT in[4];
  ZeroMemory(in, sizeof(in));
  for (int i = 0; i < 4; ++i) {
    in[i].type = INPUT_MOUSE;
    in[i].mi.dwFlags = i % 2 == 0 ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  }
  ASSERT_EQ(SendInput(4, in, sizeof(INPUT)), 4u);
  ASSERT_TRUE(PumpUntil([&] { return c.Count(msg::LButtonUp) >= 2; }));
  ASSERT_EQ(c.Count(msg::LButtonDown), 1);
  ASSERT_EQ(c.Count(msg::LButtonDblClk), 1);
  for (const Message& m : c.Seen)
    if (m.Msg == msg::LButtonDown || m.Msg == msg::LButtonDblClk) {
      EXPECT_EQ(PointX(m.LParam), 12);
      EXPECT_EQ(PointY(m.LParam), 34);
      EXPECT_TRUE(m.WParam & mk::LButton);
    }
  ws.DestroyWindow(w);
}

}  // namespace
}  // namespace platform::ui
