// The built plug-in's editor in a private Xvfb, driven as a Linux DAW drives
// it: a top-level window of the host's own connection is the parent, the
// editor opcodes open and close the editor in it, effEditIdle pumps it, XTest
// moves the pointer, clicks and turns the wheel, and the parent's pixels are
// read back from the server.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "E2EFixture.h"
#include "platform/testing/PngWriter.h"
#include "tests/support/XvfbServer.h"
// Xlib last: its macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

// Screen pixel (0x00RRGGBB) of a Windows colour value (0x00BBGGRR).
constexpr uint32_t Rgb(uint32_t colorRef) {
  return ((colorRef & 0xFF) << 16) | (colorRef & 0xFF00) | ((colorRef >> 16) & 0xFF);
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
// Where the host's window sits on the screen: not at the origin, so window and
// screen coordinates differ.
constexpr int kParentX = 70, kParentY = 50;
// A point inside a pad away from its caption, frame and wheel bar.
int SampleX(const Pad& p) { return p.X + kPadW - 8; }
int SampleY(const Pad& p) { return p.Y + kPadH - 22; }
int BarY(const Pad& p) { return p.Y + kPadH - 5; }

constexpr VstInt32 kStCA = FourCC("stCA");
constexpr VstIntPtr kWhee = FourCC("Whee");

std::string Hex(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%06X", v);
  return b;
}

// Some of the plug-in's audio, false when any sample is not finite.
bool ProcessesFinite(hostkit::Host& h) {
  std::vector<float> l, r, ol, orr;
  TestSignal(l, r, 2048);
  Render(h, l, r, ol, orr, 512);
  return std::all_of(ol.begin(), ol.end(), [](float v) { return std::isfinite(v); }) &&
         std::all_of(orr.begin(), orr.end(), [](float v) { return std::isfinite(v); });
}

// The host's own X error handler; the test makes no bad requests on its connection.
int HostErrorHandler(Display*, XErrorEvent* e) {
  ADD_FAILURE() << "X error " << int(e->error_code) << " on the host's connection";
  return 0;
}

class EditorX11 : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    // DISPLAY names our server before the plug-in opens its own connection
    // (on its first window).
    const std::string name = gServer.Start();
    if (!name.empty()) gConnection = XOpenDisplay(name.c_str());
    if (!gConnection) {
      gServer.Stop();
      return;
    }
    if (const char* old = std::getenv("DISPLAY")) gOldDisplay = old;
    setenv("DISPLAY", name.c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (gConnection) XCloseDisplay(gConnection);
    gConnection = nullptr;
    if (!gServer.Running()) return;
    gServer.Stop();
    if (gOldDisplay.empty()) {
      unsetenv("DISPLAY");
    } else {
      setenv("DISPLAY", gOldDisplay.c_str(), 1);
    }
  }

  void SetUp() override {
    if (!testsupport::XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    ASSERT_NE(gConnection, nullptr) << "Xvfb did not start";
    d = gConnection;
    XSetErrorHandler(HostErrorHandler);
    Parent = NewParent();
    MoveTo(kEditorW - 10, kEditorH - 10);  // the pointer starts over the background, away from the pads
    H = NewInstance();
    ASSERT_TRUE(H);
  }
  void TearDown() override {
    if (H) {
      H->Dispatch(effEditClose);
      H.reset();
    }
    if (d && Parent) XDestroyWindow(d, Parent);
    if (d) XSync(d, False);
  }

  // A mapped top-level window of the editor's size, as a host makes one.
  ::Window NewParent() {
    ::Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), kParentX, kParentY, kEditorW, kEditorH, 0, 0, 0);
    XStoreName(d, w, "host editor window");
    XMapWindow(d, w);
    XSync(d, False);
    return w;
  }
  VstIntPtr Open(::Window parent) {
    return H->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(parent)));
  }
  // The host's UI loop: its own events, then the editor's idle call, every 10 ms.
  bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
      while (XPending(d) > 0) {
        XEvent e;
        XNextEvent(d, &e);
      }
      H->Dispatch(effEditIdle);
      XSync(d, False);
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < end);
    return false;
  }
  void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
  }
  // The parent's pixel at (x, y), as the server shows it.
  uint32_t Pixel(int x, int y) {
    XImage* image = XGetImage(d, Parent, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xDEADBEEF;
    const uint32_t p = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
    XDestroyImage(image);
    return p;
  }
  bool PixelBecomes(int x, int y, uint32_t want, int ms = 3000) {
    return PumpUntil([&] { return Pixel(x, y) == want; }, ms);
  }
  bool Painted(int ms = 3000) { return PixelBecomes(SampleX(kPads[0]), SampleY(kPads[0]), kPads[0].Color, ms); }
  // Pointer moves and buttons through XTest, in the parent's coordinates.
  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(d, DefaultScreen(d), kParentX + x, kParentY + y, 0);
    XSync(d, False);
  }
  void Press(unsigned button, int times = 1) {
    for (int i = 0; i < times; ++i) {
      XTestFakeButtonEvent(d, button, True, 0);
      XTestFakeButtonEvent(d, button, False, 0);
    }
    XSync(d, False);
  }
  // Windows below w, at any depth.
  int CountWindows(::Window w) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return -1;
    int total = static_cast<int>(n);
    for (unsigned i = 0; i < n; ++i) total += CountWindows(children[i]);
    if (children) XFree(children);
    return total;
  }
  // The whole parent as 0x00RRGGBB rows; saved as a PNG when KES_SCREENSHOT_DIR is set.
  std::vector<uint32_t> Screenshot(const char* file) {
    std::vector<uint32_t> px;
    XImage* image = XGetImage(d, Parent, 0, 0, kEditorW, kEditorH, AllPlanes, ZPixmap);
    if (!image) return px;
    px.reserve(static_cast<size_t>(kEditorW) * kEditorH);
    for (int y = 0; y < kEditorH; ++y)
      for (int x = 0; x < kEditorW; ++x) px.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
    XDestroyImage(image);
    if (const char* dir = std::getenv("KES_SCREENSHOT_DIR")) {
      EXPECT_TRUE(platform::testing::WritePng(std::string(dir) + "/" + file, px.data(), kEditorW, kEditorH));
    }
    return px;
  }

  Display* d = nullptr;
  ::Window Parent = 0;
  std::unique_ptr<hostkit::Host> H;

  static inline testsupport::XvfbServer gServer;
  static inline Display* gConnection = nullptr;
  static inline std::string gOldDisplay;
};

TEST_F(EditorX11, OpensInTheHostWindowAndPaintsPadsOverTheBackground) {
  ERect* rect = nullptr;
  ASSERT_EQ(H->Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, kEditorW);
  EXPECT_EQ(rect->bottom - rect->top, kEditorH);
  EXPECT_EQ(CountWindows(Parent), 0);
  ASSERT_EQ(Open(Parent), 1);
  ASSERT_TRUE(Painted()) << "Pad1 shows " << Hex(Pixel(SampleX(kPads[0]), SampleY(kPads[0])));
  EXPECT_GE(CountWindows(Parent), 1) << "the editor is a child of the host's window";
  const std::vector<uint32_t> shot = Screenshot("editor-x11.png");
  ASSERT_EQ(shot.size(), static_cast<size_t>(kEditorW) * kEditorH);
  auto at = [&](int x, int y) { return shot[static_cast<size_t>(y) * kEditorW + x]; };
  for (const Pad& p : kPads) {
    const uint32_t got = at(SampleX(p), SampleY(p));
    if (p.Enabled) {
      EXPECT_EQ(got, p.Color) << p.Name << " shows " << Hex(got);
      continue;
    }
    // A disabled pad is faded into the background: each channel between the
    // pad's colour and the background beside it on the same row, and neither.
    const uint32_t back = at(p.X - 6, SampleY(p));
    EXPECT_NE(got, p.Color) << p.Name;
    EXPECT_NE(got, back) << p.Name;
    for (int shift : {0, 8, 16}) {
      const uint32_t c = (got >> shift) & 0xFF, a = (p.Color >> shift) & 0xFF, b = (back >> shift) & 0xFF;
      EXPECT_GE(c + 1, std::min(a, b)) << p.Name << " " << Hex(got) << " pad " << Hex(p.Color) << " back " << Hex(back);
      EXPECT_LE(c, std::max(a, b) + 1) << p.Name << " " << Hex(got) << " pad " << Hex(p.Color) << " back " << Hex(back);
    }
  }
  // Outside the pads: the background picture, which is never black (the parent's own colour).
  for (auto [x, y] : {std::pair{5, 5}, {220, 150}, {420, 300}, {590, 470}, {300, 420}})
    EXPECT_NE(at(x, y), 0u) << "(" << x << "," << y << ")";
  EXPECT_EQ(Open(Parent), 0) << "a second open is refused";
  EXPECT_TRUE(ProcessesFinite(*H));
}

TEST_F(EditorX11, PointerClicksAndWheelFromXTestReachThePads) {
  ASSERT_EQ(Open(Parent), 1);
  ASSERT_TRUE(Painted());
  const Pad& pad = kPads[1];
  const int sx = SampleX(pad), sy = SampleY(pad);
  MoveTo(pad.X + kPadW / 2, pad.Y + kPadH / 2);
  ASSERT_TRUE(PumpUntil([&] { return Pixel(sx, sy) != pad.Color; })) << "no hover colour";
  const uint32_t hot = Pixel(sx, sy);
  for (int shift : {0, 8, 16}) EXPECT_GE((hot >> shift) & 0xFF, (pad.Color >> shift) & 0xFF) << Hex(hot);
  EXPECT_NE(hot, kOn);
  Press(Button1);
  EXPECT_TRUE(PixelBecomes(sx, sy, kOn)) << "after a click " << Hex(Pixel(sx, sy));
  // A wheel step widens the bar by a tenth of the pad (16 px): three up, then one down.
  EXPECT_NE(Pixel(pad.X + 5, BarY(pad)), kBar) << "a bar before any wheel step";
  Press(Button4, 3);
  EXPECT_TRUE(PixelBecomes(pad.X + 45, BarY(pad), kBar)) << "three steps: 48 px";
  Press(Button5);
  EXPECT_TRUE(PixelBecomes(pad.X + 35, BarY(pad), kOn)) << "one step back: 32 px";
  EXPECT_EQ(Pixel(pad.X + 29, BarY(pad)), kBar);
  EXPECT_EQ(Pixel(pad.X + 5, BarY(pad)), kBar);
  // Hover moves to another pad and ends when the pointer leaves the pads.
  const Pad& other = kPads[0];
  MoveTo(other.X + kPadW / 2, other.Y + kPadH / 2);
  EXPECT_TRUE(PumpUntil([&] { return Pixel(SampleX(other), SampleY(other)) != other.Color; }));
  EXPECT_EQ(Pixel(sx, sy), kOn);
  MoveTo(kEditorW - 10, kEditorH - 10);
  EXPECT_TRUE(PixelBecomes(SampleX(other), SampleY(other), other.Color)) << "hover colour stays after leaving";
  Screenshot("editor-x11-input.png");
}

TEST_F(EditorX11, CloseAndReopenManyTimesLeavesNoWindowsAndKeepsProcessing) {
  const int rootBefore = CountWindows(DefaultRootWindow(d));
  ASSERT_EQ(Open(Parent), 1);
  ASSERT_TRUE(Painted());
  H->Dispatch(effEditClose);
  // The editor's window is gone: the parent shows its own black again.
  EXPECT_TRUE(PixelBecomes(SampleX(kPads[0]), SampleY(kPads[0]), 0u));
  ASSERT_EQ(Open(Parent), 1) << "open after close";
  ASSERT_TRUE(Painted()) << "paints again after reopening";
  H->Dispatch(effEditClose);
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(Open(Parent), 1) << "cycle " << i;
    ASSERT_TRUE(Painted(2000)) << "cycle " << i;
    H->Dispatch(effEditClose);
    Pump(10);
  }
  XSync(d, False);
  EXPECT_EQ(CountWindows(Parent), 0);
  EXPECT_EQ(CountWindows(DefaultRootWindow(d)), rootBefore);
  EXPECT_TRUE(ProcessesFinite(*H));
  // With the editor closed, Xlib's process-wide error handler is the host's
  // again: a host may unload the library next.
  const XErrorHandler current = XSetErrorHandler(HostErrorHandler);
  EXPECT_EQ(current, HostErrorHandler);
}

// Hosts that hand over a bad parent, or destroy theirs before closing the
// editor: no editor (or a quiet close), the process lives, a later open works.
TEST_F(EditorX11, BadOrVanishingParentsAreSurvived) {
  ::Window gone = NewParent();
  XDestroyWindow(d, gone);
  XSync(d, False);
  struct Case {
    const char* What;
    ::Window Xid;
  } cases[] = {{"never existed", 0x7fffffff}, {"destroyed", gone}, {"null", 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(Open(c.Xid), 0) << c.What;
    Pump(20);
    H->Dispatch(effEditClose);
  }
  const int rootBefore = CountWindows(DefaultRootWindow(d));
  // The host destroys its window while the editor is open, then idles and closes.
  ::Window doomed = NewParent();
  ASSERT_EQ(Open(doomed), 1);
  PumpUntil([] { return false; }, 100);
  XDestroyWindow(d, doomed);
  XSync(d, False);
  Pump(50);
  H->Dispatch(effEditClose);
  Pump(20);
  EXPECT_EQ(CountWindows(DefaultRootWindow(d)), rootBefore);
  ASSERT_EQ(Open(Parent), 1) << "a good open after the bad ones";
  EXPECT_TRUE(Painted());
  EXPECT_TRUE(ProcessesFinite(*H));
}

TEST_F(EditorX11, EditorCallsWhileClosedDoNothing) {
  auto closedCalls = [&] {
    for (int i = 0; i < 2; ++i) {
      H->Dispatch(effEditIdle);
      H->Dispatch(effEditClose);
      H->Dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f);
      H->Dispatch(effVendorSpecific, kStCA, kWhee, nullptr, -1.0f);
    }
  };
  closedCalls();  // never opened
  ASSERT_EQ(Open(Parent), 1);
  ASSERT_TRUE(Painted());
  H->Dispatch(effEditClose);
  closedCalls();  // opened and closed again
  EXPECT_EQ(CountWindows(Parent), 0);
  EXPECT_TRUE(ProcessesFinite(*H));
  // Wheel steps asked for while closed are not waiting for the next editor;
  // the same calls while it is open reach the pad under the pointer, also
  // when the editor opened under a pointer that has not moved since.
  const Pad& pad = kPads[1];
  MoveTo(pad.X + kPadW / 2, pad.Y + kPadH / 2);
  ASSERT_EQ(Open(Parent), 1);
  ASSERT_TRUE(Painted());
  EXPECT_TRUE(PumpUntil([&] { return Pixel(SampleX(pad), SampleY(pad)) != pad.Color; })) << "not hot under the pointer";
  EXPECT_NE(Pixel(pad.X + 5, BarY(pad)), kBar);
  for (int i = 0; i < 2; ++i) H->Dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f);
  EXPECT_TRUE(PixelBecomes(pad.X + 29, BarY(pad), kBar)) << "two steps: 32 px";
  EXPECT_NE(Pixel(pad.X + 35, BarY(pad)), kBar);
}

// Without a display (a host started without X) the editor is refused and the
// audio goes on. Runs in a fresh copy of the test binary, so neither this
// process's display nor the plug-in's connection to it is involved.
TEST(EditorX11NoDisplay, OpenIsRefusedAndAudioGoesOn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        unsetenv("DISPLAY");
        int failures = 0;
        auto check = [&](bool ok, const char* what) {
          if (!ok) {
            std::fprintf(stderr, "failed: %s\n", what);
            ++failures;
          }
        };
        {
          auto h = NewInstance();
          check(h != nullptr, "instance");
          if (h) {
            ERect* rect = nullptr;
            check(h->Dispatch(effEditGetRect, 0, 0, &rect) == 1 && rect, "effEditGetRect");
            check(h->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x200001})) == 0,
                  "effEditOpen returns 0");
            h->Dispatch(effEditIdle);
            h->Dispatch(effVendorSpecific, kStCA, kWhee, nullptr, 1.0f);
            h->Dispatch(effEditClose);
            check(ProcessesFinite(*h), "finite output");
          }
        }
        std::fflush(stderr);
        std::_Exit(failures ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace e2e
