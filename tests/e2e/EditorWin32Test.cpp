// The built Windows plug-in's editor in a real Win32 window, driven as a
// Windows DAW drives it: a top-level window of the test's own class is the
// editor's parent, the editor opcodes open and close the editor in it, the
// test runs the thread's message loop (calling effEditIdle as hosts do),
// moves the mouse and clicks through SendInput, sends wheel steps through the
// host's vendor-specific call, and reads the parent's pixels back through GDI.
#include <windows.h>
// windows.h maps these to their A versions; keep the plain names free.
#undef PostMessage
#undef TextOut

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "E2EFixture.h"
#include "platform/testing/PngWriter.h"
#include "tests/support/DisplayTurn.h"

namespace e2e {
namespace {

// Screen pixel (0x00RRGGBB) of a Windows colour value (0x00BBGGRR).
constexpr uint32_t Rgb(uint32_t colorRef) {
  return ((colorRef & 0xFF) << 16) | (colorRef & 0xFF00) | ((colorRef >> 16) & 0xFF);
}

// A pad's colour while the mouse is over it: each byte 0x30 lighter, at most 0xFF.
constexpr uint32_t Hot(uint32_t rgb) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) out |= std::min<uint32_t>(((rgb >> shift) & 0xFF) + 0x30, 0xFF) << shift;
  return out;
}

// The test form's layout: four 160 x 100 pads, the last one disabled.
struct Pad {
  const char* Name;
  int X, Y;
  uint32_t Color;  // 0x00RRGGBB
  bool Enabled;
};
constexpr int kPadW = 160, kPadH = 100;
constexpr Pad kPads[] = {
    {"Pad1", 40, 40, Rgb(0x003030C0), true},
    {"Pad2", 240, 40, Rgb(0x00C03030), true},
    {"Pad3", 40, 200, Rgb(0x0030A0C0), true},
    {"Pad4", 240, 200, Rgb(0x00A030A0), false},
};
constexpr uint32_t kOn = Rgb(0x0030C030), kBar = Rgb(0x00F0F0F0);
constexpr int kEditorW = 600, kEditorH = 480;
// The parent's own background: a colour the editor never shows, so a pixel of
// it means the editor did not paint there.
constexpr COLORREF kParentBrush = RGB(255, 0, 255);
// Where the parent sits on the screen: not at the origin, so window and screen
// coordinates differ.
constexpr int kParentX = 70, kParentY = 50;
// A point inside a pad away from its caption, frame and wheel bar.
int SampleX(const Pad& p) { return p.X + kPadW - 8; }
int SampleY(const Pad& p) { return p.Y + kPadH - 22; }
int BarY(const Pad& p) { return p.Y + kPadH - 5; }
int CentreX(const Pad& p) { return p.X + kPadW / 2; }
int CentreY(const Pad& p) { return p.Y + kPadH / 2; }
// Points of the form outside every pad.
constexpr int kBackground[][2] = {{10, 10}, {220, 170}, {420, 330}, {590, 470}};

constexpr VstInt32 kStCA = FourCC("stCA");
constexpr VstIntPtr kWhee = FourCC("Whee");

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%06X", v);
  return b;
}

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

// Some of the plug-in's audio, false when any sample is not finite.
bool ProcessesFinite(hostkit::Host& h) {
  std::vector<float> l, r, ol, orr;
  TestSignal(l, r, 2048);
  Render(h, l, r, ol, orr, 512);
  return std::all_of(ol.begin(), ol.end(), [](float v) { return std::isfinite(v); }) &&
         std::all_of(orr.begin(), orr.end(), [](float v) { return std::isfinite(v); });
}

class EditorWin32 : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    // Test processes under one Wine server share the display and its one
    // mouse cursor, and ctest runs two at a time: the editor suites take turns.
    Turn = new testsupport::DisplayTurn;
    if (!Turn->Held()) {
      Problem = "another test process kept the display for a minute";
      return;
    }
    HDC screen = GetDC(nullptr);
    const int depth = screen ? GetDeviceCaps(screen, BITSPIXEL) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = CreateSolidBrush(kParentBrush);
    wc.lpszClassName = "KesE2EEditorParent";
    RegisterClassA(&wc);
    // A DAW's editor frame: clips its children, client area the editor's size.
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    RECT frame{0, 0, kEditorW, kEditorH};
    AdjustWindowRect(&frame, style, FALSE);
    Parent = CreateWindowExA(0, wc.lpszClassName, "editor parent", style, kParentX, kParentY, frame.right - frame.left,
                             frame.bottom - frame.top, nullptr, nullptr, wc.hInstance, nullptr);
    char why[256];
    if (!Parent) {
      std::snprintf(why, sizeof why,
                    "cannot create a top-level window (error %lu): is there a display? The Windows lanes run the "
                    "tests under xvfb-run",
                    GetLastError());
      Problem = why;
      return;
    }
    ShowWindow(Parent, SW_SHOW);
    SetForegroundWindow(Parent);
    UpdateWindow(Parent);
    RECT client;
    GetClientRect(Parent, &client);
    POINT corner{kEditorW, kEditorH};
    ClientToScreen(Parent, &corner);
    if (depth < 24 || client.right != kEditorW || client.bottom != kEditorH ||
        corner.x > GetSystemMetrics(SM_CXSCREEN) || corner.y > GetSystemMetrics(SM_CYSCREEN)) {
      std::snprintf(why, sizeof why,
                    "the display (%d x %d, %d bits) cannot show a %d x %d editor at (%d, %d) in true colour; the "
                    "Windows lanes use a 1280x1024x24 screen",
                    GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), depth, kEditorW, kEditorH, kParentX,
                    kParentY);
      Problem = why;
    }
  }
  static void TearDownTestSuite() {
    if (Parent) DestroyWindow(Parent);
    Parent = nullptr;
    WNDCLASSA wc;
    if (GetClassInfoA(GetModuleHandleA(nullptr), "KesE2EEditorParent", &wc)) {
      UnregisterClassA("KesE2EEditorParent", GetModuleHandleA(nullptr));
      DeleteObject(wc.hbrBackground);
    }
    delete Turn;
    Turn = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(Problem.empty()) << Problem;
    ASSERT_NE(Parent, nullptr);
    H = NewInstance();
    ASSERT_TRUE(H);
    MoveMouse(-40, kEditorH / 2);  // off the editor: no pad starts hot
  }
  void TearDown() override {
    if (H) H->Dispatch(effEditClose);
    H.reset();
    Pump([] { return false; }, 20);
  }

  VstIntPtr Open(HWND parent) { return H->Dispatch(effEditOpen, 0, 0, parent); }
  void Close() { H->Dispatch(effEditClose); }
  void Wheel(float direction) { H->Dispatch(effVendorSpecific, kStCA, kWhee, nullptr, direction); }

  // Runs the message loop as a host does, with effEditIdle every 20 ms, until
  // done() holds or ms pass.
  bool Pump(const std::function<bool()>& done, DWORD ms = 2000) {
    const DWORD start = GetTickCount();
    DWORD lastIdle = start - 20;
    for (;;) {
      MSG m;
      while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
      }
      if (H && GetTickCount() - lastIdle >= 20) {
        H->Dispatch(effEditIdle);
        lastIdle = GetTickCount();
      }
      if (done()) return true;
      if (GetTickCount() - start > ms) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
  }

  // The parent's client pixels (0x00RRGGBB, rows top-down) as the screen
  // shows them, children included: a device context of the parent that does
  // not leave out its children.
  static std::vector<uint32_t> Capture(int x, int y, int w, int h) {
    std::vector<uint32_t> out(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    HDC src = GetDCEx(Parent, nullptr, DCX_CACHE);
    HDC mem = CreateCompatibleDC(src);
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof(bi));
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
      HGDIOBJ old = SelectObject(mem, dib);
      BitBlt(mem, 0, 0, w, h, src, x, y, SRCCOPY);
      GdiFlush();
      const auto* p = static_cast<const uint32_t*>(bits);
      for (size_t i = 0; i < out.size(); ++i) out[i] = p[i] & 0xFFFFFFu;
      SelectObject(mem, old);
      DeleteObject(dib);
    }
    DeleteDC(mem);
    ReleaseDC(Parent, src);
    return out;
  }
  static uint32_t Pixel(int x, int y) { return Capture(x, y, 1, 1)[0]; }

  // Mouse input as the user makes it, at a point in the parent's client coordinates.
  static void MoveMouse(int x, int y) {
    POINT p{x, y};
    ClientToScreen(Parent, &p);
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in;
    ZeroMemory(&in, sizeof(in));
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    // Absolute input spans 0..65536 over the screen; round up so it maps back to this pixel.
    in.mi.dx = static_cast<LONG>((static_cast<int64_t>(p.x) * 65536 + w - 1) / w);
    in.mi.dy = static_cast<LONG>((static_cast<int64_t>(p.y) * 65536 + h - 1) / h);
    ASSERT_EQ(SendInput(1, &in, sizeof(INPUT)), 1u);
    POINT now;
    ASSERT_TRUE(GetCursorPos(&now));
    EXPECT_TRUE(now.x == p.x && now.y == p.y)
        << "the cursor went to " << now.x << ", " << now.y << ", not " << p.x << ", " << p.y;
  }
  static void Click() {
    INPUT in[2];
    ZeroMemory(in, sizeof(in));
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(SendInput(2, in, sizeof(INPUT)), 2u);
  }

  // What a person would see, as a PNG in $KES_SCREENSHOT_DIR when that is set.
  static void SaveScreenshot(const char* name) {
    const char* dir = std::getenv("KES_SCREENSHOT_DIR");
    if (!dir || !*dir) return;
    // A Unix folder reaches this Windows program through Wine's Z: drive.
    const std::string path = std::string(dir[0] == '/' ? "Z:" : "") + dir + "/" + name;
    std::vector<uint32_t> shot = Capture(0, 0, kEditorW, kEditorH);
    EXPECT_TRUE(platform::testing::WritePng(path, shot.data(), kEditorW, kEditorH)) << path;
  }

  static int ChildWindows() {
    int n = 0;
    EnumChildWindows(Parent, CountWindow, reinterpret_cast<LPARAM>(&n));
    return n;
  }
  static int ThreadWindows() {
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&n));
    return n;
  }

  // Pumps until the editor shows every pad in its resting colour.
  bool ShowsPads() {
    return Pump([] {
      for (const Pad& p : kPads)
        if (p.Enabled && Pixel(SampleX(p), SampleY(p)) != p.Color) return false;
      return true;
    });
  }

  static testsupport::DisplayTurn* Turn;
  static HWND Parent;
  static std::string Problem;
  std::unique_ptr<hostkit::Host> H;
};

testsupport::DisplayTurn* EditorWin32::Turn = nullptr;
HWND EditorWin32::Parent = nullptr;
std::string EditorWin32::Problem;

TEST_F(EditorWin32, OpensInTheHostWindowAndPaintsTheForm) {
  ERect* rect = nullptr;
  ASSERT_EQ(H->Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, kEditorW);
  EXPECT_EQ(rect->bottom - rect->top, kEditorH);
  const int children = ChildWindows();
  ASSERT_EQ(Open(Parent), 1);
  EXPECT_GT(ChildWindows(), children) << "the editor's window is a child of the host's";
  EXPECT_TRUE(ShowsPads());
  std::vector<uint32_t> shot = Capture(0, 0, kEditorW, kEditorH);
  auto at = [&](int x, int y) { return shot[static_cast<size_t>(y * kEditorW + x)]; };
  for (const Pad& p : kPads) {
    const uint32_t got = at(SampleX(p), SampleY(p));
    if (p.Enabled)
      EXPECT_EQ(got, p.Color) << p.Name << ": " << Hex(got);
    else  // faded into the background: neither its own colour nor black
      EXPECT_TRUE(got != p.Color && got != Hot(p.Color) && got != 0) << p.Name << ": " << Hex(got);
  }
  for (const auto& b : kBackground) {
    const uint32_t got = at(b[0], b[1]);
    EXPECT_NE(got, 0u) << "black background at " << b[0] << ", " << b[1];
    EXPECT_NE(got, Rgb(kParentBrush)) << "the host's window shows through at " << b[0] << ", " << b[1];
  }
  SaveScreenshot("editor-win32.png");
  EXPECT_EQ(Open(Parent), 0) << "a second open is refused";
  EXPECT_TRUE(ShowsPads());
}

// Real mouse input (SendInput: Wine moves its cursor, hit-tests and queues
// the messages as for a user's mouse) and the host's wheel call, step by step.
TEST_F(EditorWin32, HoverClicksAndWheelReachThePadUnderTheMouse) {
  ASSERT_EQ(Open(Parent), 1);
  ASSERT_TRUE(ShowsPads());
  const Pad& p1 = kPads[0];
  const Pad& p2 = kPads[1];
  const int sx = SampleX(p2), sy = SampleY(p2);
  // The bar after a net two wheel-ups ends 2/10 of the pad's width in.
  const int barEnd = p2.X + kPadW * 2 / 10;
  struct Want {
    int X, Y;
    uint32_t Color;
  };
  struct Step {
    const char* What;
    std::function<void()> Act;
    std::vector<Want> Wants;
  } steps[] = {
      {"mouse over Pad2",
       [&] { MoveMouse(CentreX(p2), CentreY(p2)); },
       {{sx, sy, Hot(p2.Color)}, {SampleX(p1), SampleY(p1), p1.Color}}},
      {"mouse on the background between the pads", [&] { MoveMouse(220, 170); }, {{sx, sy, p2.Color}}},
      {"mouse back over Pad2", [&] { MoveMouse(CentreX(p2), CentreY(p2)); }, {{sx, sy, Hot(p2.Color)}}},
      {"left click", [&] { Click(); }, {{sx, sy, kOn}}},
      {"three wheel-ups and one wheel-down",
       [&] {
         for (float d : {1.0f, 1.0f, 1.0f, -1.0f}) Wheel(d);
       },
       {{barEnd - 3, BarY(p2), kBar}, {barEnd + 2, BarY(p2), kOn}, {sx, sy, kOn}, {p1.X + 5, BarY(p1), p1.Color}}},
      {"second click", [&] { Click(); }, {{sx, sy, Hot(p2.Color)}, {barEnd - 3, BarY(p2), kBar}}},
      {"mouse leaves the editor", [&] { MoveMouse(-40, 200); }, {{sx, sy, p2.Color}, {barEnd - 3, BarY(p2), kBar}}},
  };
  for (const Step& s : steps) {
    s.Act();
    const bool reached = Pump([&] {
      for (const Want& w : s.Wants)
        if (Pixel(w.X, w.Y) != w.Color) return false;
      return true;
    });
    if (!reached) {
      for (const Want& w : s.Wants)
        EXPECT_EQ(Hex(Pixel(w.X, w.Y)), Hex(w.Color)) << s.What << ": pixel " << w.X << ", " << w.Y;
      FAIL() << "after " << s.What;
    }
  }
  SaveScreenshot("editor-win32-input.png");
}

TEST_F(EditorWin32, CloseRemovesTheEditorAndReopeningPaintsAgainAnyNumberOfTimes) {
  const Pad& p1 = kPads[0];
  // One cycle first: the window system may make helper windows of its own on first use.
  ASSERT_EQ(Open(Parent), 1);
  ASSERT_TRUE(ShowsPads());
  Close();
  const int children = ChildWindows(), threadWindows = ThreadWindows();
  for (int i = 0; i < 50; ++i) {
    // The parent shows its own colour again once the editor is gone.
    ASSERT_TRUE(Pump([&] { return Pixel(SampleX(p1), SampleY(p1)) == Rgb(kParentBrush); }))
        << "the closed editor stays on the screen, cycle " << i;
    ASSERT_EQ(Open(Parent), 1) << "cycle " << i;
    ASSERT_TRUE(ShowsPads()) << "no paint after reopening, cycle " << i;
    Close();
    ASSERT_EQ(ChildWindows(), children) << "child windows left behind in cycle " << i;
    ASSERT_EQ(ThreadWindows(), threadWindows) << "helper windows left behind in cycle " << i;
  }
  EXPECT_TRUE(ProcessesFinite(*H));
}

TEST_F(EditorWin32, BadParentsAreRefusedAndAGoodOneWorksAfterwards) {
  HWND gone = CreateWindowExA(0, "KesE2EEditorParent", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(gone, nullptr);
  DestroyWindow(gone);
  const int children = ChildWindows(), threadWindows = ThreadWindows();
  struct Case {
    HWND Parent;
    const char* What;
  } cases[] = {
      {nullptr, "null"},
      {gone, "a destroyed window"},
      {reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF1234)), "a bogus value"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Open(c.Parent), 0) << c.What;
    EXPECT_EQ(ChildWindows(), children) << c.What;
    EXPECT_EQ(ThreadWindows(), threadWindows) << "windows left behind by " << c.What;
    Pump([] { return false; }, 20);
  }
  EXPECT_EQ(MessageLog(), "") << "a refused open shows nothing";
  ASSERT_EQ(Open(Parent), 1);
  EXPECT_TRUE(ShowsPads());
  EXPECT_TRUE(ProcessesFinite(*H));
}

TEST_F(EditorWin32, IdleCloseAndWheelWhileClosedDoNothing) {
  auto closedCalls = [&] {
    for (int i = 0; i < 2; ++i) {
      H->Dispatch(effEditIdle);
      Close();
      Wheel(1.0f);
    }
    Pump([] { return false; }, 20);
  };
  closedCalls();  // never opened
  ASSERT_EQ(Open(Parent), 1);
  ASSERT_TRUE(ShowsPads());
  Close();
  closedCalls();  // after a close
  // The wheel steps sent while closed reached no pad of the next editor.
  ASSERT_EQ(Open(Parent), 1);
  MoveMouse(CentreX(kPads[1]), CentreY(kPads[1]));
  EXPECT_TRUE(Pump([&] { return Pixel(SampleX(kPads[1]), SampleY(kPads[1])) == Hot(kPads[1].Color); }));
  EXPECT_EQ(Hex(Pixel(kPads[1].X + 5, BarY(kPads[1]))), Hex(Hot(kPads[1].Color)));
  EXPECT_TRUE(ProcessesFinite(*H));
}

}  // namespace
}  // namespace e2e
