// The X11 window system against a private Xvfb server: painting into a host's
// window, input through XTest, posted messages from other threads, timers,
// bad parents, no display, capture, and no X resources left after many
// open/close cycles.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/Surface.h"
#include "platform/ui/WindowSystem.h"
#include "tests/support/XvfbServer.h"
// Xlib last: its macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace uitest {
namespace {

using namespace platform::ui;
using Clock = std::chrono::steady_clock;

// Records what reaches a window; paints a solid colour when it has one.
class Recorder : public WindowClient {
public:
  explicit Recorder(uint32_t paintColor = 0) : Color(paintColor) {}
  bool WindowProc(Handle window, Message& m) override {
    Seen.push_back(m);
    if (m.Msg != msg::Paint || !Color) return false;
    PaintTarget* t = Windows().BeginPaint(window);
    if (!t) return true;
    SurfaceError error;
    auto s = Surface::Create(t->Width, t->Height, false, error);
    s->SetBrush(Color, BrushStyle::Solid);
    s->FillRect(0, 0, t->Width, t->Height);
    s->CopyToTarget(*t, 0, 0);
    Windows().EndPaint(window, t);
    ++Paints;
    return true;
  }
  std::vector<Message> Only(std::function<bool(uint32_t)> keep) const {
    std::vector<Message> out;
    for (const Message& m : Seen)
      if (keep(m.Msg)) out.push_back(m);
    return out;
  }
  uint32_t Color;
  int Paints = 0;
  std::vector<Message> Seen;
};

class X11Windows : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    const std::string name = gServer.Start();
    if (!name.empty()) gConnection = XOpenDisplay(name.c_str());
    if (!gConnection) {
      gServer.Stop();
      return;
    }
    gDisplayName = name;
    if (const char* old = std::getenv("DISPLAY")) gOldDisplay = old;
    setenv("DISPLAY", gDisplayName.c_str(), 1);
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
  }
  void TearDown() override {
    for (Handle h : ours) ws.DestroyWindow(h);
    for (::Window w : parents) XDestroyWindow(d, w);
    if (d) XSync(d, False);
  }

  // A mapped top-level window of the test's own connection, standing for a host's window.
  ::Window HostWindow(int x, int y, unsigned w, unsigned h) {
    ::Window win = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, w, h, 0, 0, 0);
    XMapWindow(d, win);
    XSync(d, False);
    parents.push_back(win);
    return win;
  }
  Handle Child(::Window parent, const Rect& r, WindowClient* client) {
    Handle h = ws.CreateChildWindow(static_cast<Handle>(parent), r, client);
    if (h) ours.push_back(h);
    return h;
  }
  bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
      XSync(d, False);
      ws.Pump();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (Clock::now() < end);
    return false;
  }
  uint32_t ScreenPixel(::Window w, int x, int y) {
    XImage* image = XGetImage(d, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xDEADBEEF;
    const uint32_t p = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
    XDestroyImage(image);
    return p;
  }
  int CountWindows(::Window w) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
    int total = static_cast<int>(n);
    for (unsigned i = 0; i < n; ++i) total += CountWindows(children[i]);
    if (children) XFree(children);
    return total;
  }

  WindowSystem& ws = NativeWindowSystem();
  Display* d = nullptr;
  std::vector<Handle> ours;
  std::vector<::Window> parents;

  static inline testsupport::XvfbServer gServer;
  static inline Display* gConnection = nullptr;
  static inline std::string gDisplayName, gOldDisplay;
};

TEST_F(X11Windows, PaintThroughASurfaceReachesTheHostWindow) {
  ::Window host = HostWindow(0, 0, 200, 150);
  Recorder client(0x00336699);  // COLORREF: blue 0x33, green 0x66, red 0x99
  Handle child = Child(host, Rect{20, 10, 119, 79}, &client);
  ASSERT_NE(child, 0u);
  EXPECT_TRUE(ws.IsWindow(child));
  ws.ShowWindow(child, true);
  ASSERT_TRUE(PumpUntil([&] { return client.Paints > 0; })) << "no msg::Paint after the window was shown";
  XSync(d, False);
  EXPECT_EQ(ScreenPixel(host, 20, 10), 0x996633u);
  EXPECT_EQ(ScreenPixel(host, 119, 79), 0x996633u);
  EXPECT_EQ(ScreenPixel(host, 70, 45), 0x996633u);
  EXPECT_EQ(ScreenPixel(host, 19, 10), 0u);
  EXPECT_EQ(ScreenPixel(host, 120, 79), 0u);
  // An invalidated part is painted again, and only with an update rectangle inside it.
  client.Color = 0x00FFFFFF;
  const Rect part{10, 5, 29, 14};
  ws.InvalidateRect(child, &part);
  Rect update;
  ASSERT_TRUE(ws.GetUpdateRect(child, update));
  EXPECT_EQ(update.Left, 10);
  EXPECT_EQ(update.Bottom, 14);
  ASSERT_TRUE(PumpUntil([&] { return client.Paints > 1; }));
  XSync(d, False);
  EXPECT_EQ(ScreenPixel(host, 20 + 10, 10 + 5), 0xFFFFFFu);
  EXPECT_EQ(ScreenPixel(host, 20 + 29, 10 + 14), 0xFFFFFFu);
  EXPECT_EQ(ScreenPixel(host, 20 + 30, 10 + 14), 0x996633u) << "painted outside the update rectangle";
  EXPECT_FALSE(ws.GetUpdateRect(child, update));
}

TEST_F(X11Windows, XTestClicksAndWheelArriveInClientCoordinates) {
  ::Window host = HostWindow(0, 0, 300, 200);
  Recorder client;
  Handle child = Child(host, Rect{20, 10, 219, 159}, &client);
  ASSERT_NE(child, 0u);
  ws.ShowWindow(child, true);
  ASSERT_TRUE(PumpUntil([&] { return !client.Only([](uint32_t m) { return m == msg::Paint; }).empty(); }));
  XTestFakeMotionEvent(d, DefaultScreen(d), 50, 40, 0);
  for (unsigned button : {1u, 1u, 1u, 4u, 5u}) {
    XTestFakeButtonEvent(d, button, True, 0);
    XTestFakeButtonEvent(d, button, False, 0);
  }
  XSync(d, False);
  auto buttons = [](uint32_t m) { return m >= msg::LButtonDown && m <= msg::MouseWheel; };
  ASSERT_TRUE(PumpUntil([&] { return client.Only(buttons).size() >= 8; }));
  const std::vector<Message> got = client.Only(buttons);
  ASSERT_EQ(got.size(), 8u);
  // Win32's order for a double-click: down, up, double-click, up; a third press is a plain down again.
  const uint32_t want[] = {msg::LButtonDown, msg::LButtonUp, msg::LButtonDblClk, msg::LButtonUp,
                           msg::LButtonDown, msg::LButtonUp, msg::MouseWheel,    msg::MouseWheel};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(got[i].Msg, want[i]) << i;
    EXPECT_EQ(PointX(got[i].LParam), 30) << i;
    EXPECT_EQ(PointY(got[i].LParam), 30) << i;
    const bool down = got[i].Msg != msg::LButtonUp;
    EXPECT_EQ(got[i].WParam & mk::LButton, down ? mk::LButton : 0u) << i;
  }
  for (size_t i = 6; i < 8; ++i) {
    EXPECT_EQ(got[i].Msg, msg::MouseWheel);
    EXPECT_EQ(static_cast<int16_t>(got[i].WParam >> 16), i == 6 ? 120 : -120);
    EXPECT_EQ(PointX(got[i].LParam), 50) << "wheel points are in screen coordinates";
    EXPECT_EQ(PointY(got[i].LParam), 40);
  }
  int32_t x = 0, y = 0;
  ASSERT_TRUE(ws.GetCursorPos(x, y));
  EXPECT_EQ(x, 50);
  EXPECT_EQ(y, 40);
  ws.SetCursorPos(77, 66);
  ASSERT_TRUE(ws.GetCursorPos(x, y));
  EXPECT_EQ(x, 77);
  EXPECT_EQ(y, 66);
}

TEST_F(X11Windows, MessagesPostedFromAnotherThreadArriveInOrderOnPump) {
  Recorder helperClient, childClient;
  Handle helper = ws.CreateHelperWindow(&helperClient);
  ASSERT_NE(helper, 0u);
  ours.push_back(helper);
  Handle child = Child(HostWindow(0, 0, 50, 50), Rect{0, 0, 9, 9}, &childClient);
  ASSERT_NE(child, 0u);
  std::thread poster([&] {
    for (uintptr_t i = 0; i < 200; ++i) {
      EXPECT_TRUE(ws.PostMessage(i % 2 ? child : helper, msg::User + 1, i, -static_cast<intptr_t>(i)));
    }
  });
  poster.join();
  EXPECT_TRUE(helperClient.Seen.empty()) << "delivered before Pump";
  ws.Pump();
  for (Recorder* r : {&helperClient, &childClient}) {
    const std::vector<Message> got = r->Only([](uint32_t m) { return m == msg::User + 1; });
    ASSERT_EQ(got.size(), 100u);
    for (size_t i = 0; i < got.size(); ++i) {
      const uintptr_t n = 2 * i + (r == &childClient ? 1 : 0);
      EXPECT_EQ(got[i].WParam, n);
      EXPECT_EQ(got[i].LParam, -static_cast<intptr_t>(n));
    }
  }
  // Messages waiting for a window that is destroyed are never delivered.
  ASSERT_TRUE(ws.PostMessage(child, msg::User + 2, 0, 0));
  ws.DestroyWindow(child);
  EXPECT_FALSE(ws.IsWindow(child));
  EXPECT_FALSE(ws.PostMessage(child, msg::User + 2, 0, 0));
  ws.Pump();
  EXPECT_TRUE(childClient.Only([](uint32_t m) { return m == msg::User + 2; }).empty());
}

TEST_F(X11Windows, TimerTicksAfterItsIntervalUntilKilled) {
  Recorder client;
  Handle helper = ws.CreateHelperWindow(&client);
  ours.push_back(helper);
  auto ticks = [&] { return client.Only([](uint32_t m) { return m == msg::Timer; }); };
  const auto start = Clock::now();
  ASSERT_NE(ws.SetTimer(helper, 7, 40), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !ticks().empty(); }));
  // The backend's clock counts whole milliseconds: up to one early.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(39));
  EXPECT_EQ(ticks()[0].WParam, 7u);
  ASSERT_TRUE(PumpUntil([&] { return ticks().size() >= 2; })) << "a timer repeats";
  ws.KillTimer(helper, 7);
  const size_t before = ticks().size();
  PumpUntil([] { return false; }, 150);
  EXPECT_EQ(ticks().size(), before);
}

TEST_F(X11Windows, BadOrDestroyedParentGivesNoWindowAndTheProcessLives) {
  Recorder client;
  EXPECT_EQ(ws.CreateChildWindow(0x7fffffff, Rect{0, 0, 9, 9}, &client), 0u);
  ::Window gone = HostWindow(0, 0, 40, 40);
  XDestroyWindow(d, gone);
  XSync(d, False);
  parents.clear();
  EXPECT_EQ(ws.CreateChildWindow(static_cast<Handle>(gone), Rect{0, 0, 9, 9}, &client), 0u);
  EXPECT_EQ(ws.CreateChildWindow(0, Rect{0, 0, 9, 9}, &client), 0u);
  // The connection is still usable afterwards.
  EXPECT_NE(Child(HostWindow(0, 0, 40, 40), Rect{0, 0, 9, 9}, &client), 0u);
}

TEST_F(X11Windows, WithoutDisplayNoXWindowIsCreated) {
  ::Window host = HostWindow(0, 0, 40, 40);
  Recorder client;
  unsetenv("DISPLAY");
  const Handle child = ws.CreateChildWindow(static_cast<Handle>(host), Rect{0, 0, 9, 9}, &client);
  const Handle popup = ws.CreatePopupWindow(Rect{0, 0, 9, 9}, &client);
  const Handle helper = ws.CreateHelperWindow(&client);
  setenv("DISPLAY", gDisplayName.c_str(), 1);
  EXPECT_EQ(child, 0u);
  EXPECT_EQ(popup, 0u);
  EXPECT_NE(helper, 0u) << "helper windows need no display";
  ours.push_back(helper);
}

TEST_F(X11Windows, CaptureGrabsThePointerUntilReleasedOrDestroyed) {
  Recorder client;
  Handle child = Child(HostWindow(0, 0, 60, 60), Rect{0, 0, 29, 29}, &client);
  ASSERT_NE(child, 0u);
  ws.ShowWindow(child, true);
  PumpUntil([&] { return !client.Seen.empty(); }, 500);
  auto testCanGrab = [&] {
    const int r = XGrabPointer(d, DefaultRootWindow(d), False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                               None, CurrentTime);
    if (r == GrabSuccess) XUngrabPointer(d, CurrentTime);
    XSync(d, False);
    return r == GrabSuccess;
  };
  ws.SetCapture(child);
  EXPECT_EQ(ws.GetCapture(), child);
  EXPECT_FALSE(testCanGrab());
  ws.ReleaseCapture();
  EXPECT_EQ(ws.GetCapture(), 0u);
  EXPECT_TRUE(testCanGrab());
  // Another window keeps the connection open, so only the destroy can end the grab.
  ASSERT_NE(Child(HostWindow(0, 0, 20, 20), Rect{0, 0, 9, 9}, &client), 0u);
  ws.SetCapture(child);
  ws.DestroyWindow(child);
  EXPECT_EQ(ws.GetCapture(), 0u);
  EXPECT_TRUE(testCanGrab());
}

TEST_F(X11Windows, OpenCloseCyclesLeaveNoWindowsBehind) {
  ::Window host = HostWindow(0, 0, 100, 100);
  const int before = CountWindows(DefaultRootWindow(d));
  for (int i = 0; i < 50; ++i) {
    Recorder client(0x000000FF);
    Handle child = ws.CreateChildWindow(static_cast<Handle>(host), Rect{0, 0, 49, 49}, &client);
    ASSERT_NE(child, 0u) << "cycle " << i;
    Handle inner = ws.CreateChildWindow(child, Rect{5, 5, 14, 14}, &client);
    Handle popup = ws.CreatePopupWindow(Rect{200, 200, 239, 229}, &client);
    Handle helper = ws.CreateHelperWindow(&client);
    ASSERT_NE(inner, 0u);
    ASSERT_NE(popup, 0u);
    ws.ShowWindow(child, true);
    ws.ShowWindow(popup, true);
    ws.SetTimer(helper, 1, 1);
    ws.SetCapture(child);
    ws.ShowCursor(child, false);
    PumpUntil([&] { return client.Paints >= 2; }, 1000);
    ws.DestroyWindow(popup);
    ws.DestroyWindow(child);  // takes inner with it
    EXPECT_FALSE(ws.IsWindow(inner));
    ws.DestroyWindow(helper);
    ws.Pump();
    EXPECT_TRUE(client.Paints >= 1) << "cycle " << i;
  }
  XSync(d, False);
  EXPECT_EQ(CountWindows(DefaultRootWindow(d)), before);
}

}  // namespace
}  // namespace uitest
