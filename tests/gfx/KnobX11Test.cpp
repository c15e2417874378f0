// A knob drag in a real X11 window on a private Xvfb server, with the pointer
// moved and pressed through XTest: the value moves, the pointer is held at
// the press point during the drag and is found there after the release.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "gfx/GraphicKnob.h"
#include "platform/ui/WindowSystem.h"
#include "tests/support/XvfbServer.h"
// Xlib last: its macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using Clock = std::chrono::steady_clock;

class KnobX11 : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!testsupport::XvfbServer::Installed()) return;
    const std::string name = gServer.Start();
    if (!name.empty()) gConnection = XOpenDisplay(name.c_str());
    if (!gConnection) return;
    if (const char* old = std::getenv("DISPLAY")) gOldDisplay = old;
    setenv("DISPLAY", name.c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (gConnection) XCloseDisplay(gConnection);
    gConnection = nullptr;
    if (!gServer.Running()) return;
    gServer.Stop();
    if (gOldDisplay.empty())
      unsetenv("DISPLAY");
    else
      setenv("DISPLAY", gOldDisplay.c_str(), 1);
  }
  void SetUp() override {
    if (!testsupport::XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    ASSERT_NE(gConnection, nullptr) << "Xvfb did not start";
    d = gConnection;
  }
  bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
      XSync(d, False);
      platform::ui::Windows().Pump();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (Clock::now() < end);
    return false;
  }
  void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
  }
  void Pointer(int x, int y) {
    XTestFakeMotionEvent(d, DefaultScreen(d), x, y, 0);
    XSync(d, False);
  }
  void Button(bool down) {
    XTestFakeButtonEvent(d, 1, down ? True : False, 0);
    XSync(d, False);
  }
  bool PointerAt(int& x, int& y) {
    ::Window root = 0, child = 0;
    int wx = 0, wy = 0;
    unsigned mask = 0;
    return XQueryPointer(d, DefaultRootWindow(d), &root, &child, &x, &y, &wx, &wy, &mask);
  }

  Display* d = nullptr;
  static inline testsupport::XvfbServer gServer;
  static inline Display* gConnection = nullptr;
  static inline std::string gOldDisplay;
};

TEST_F(KnobX11, DragHoldsThePointerAtThePressPoint) {
  ::Window host = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 300, 200, 0, 0, 0);
  XMapWindow(d, host);
  XSync(d, False);
  auto* form = new TVCLForm(nullptr);
  form->SetBounds(0, 0, 300, 200);
  ASSERT_TRUE(form->CreateWindowIn(static_cast<platform::ui::Handle>(host)));
  auto* canvas = new TGraphicCanvas(form);
  canvas->SetParent(form);
  canvas->SetBounds(0, 0, 300, 200);
  auto* knob = new TGraphicKnob(form);
  knob->SetBounds(100, 60, 48, 48);
  knob->SetParent(form);
  knob->SetGfxCanvas(canvas);
  knob->SetStepFast(1);
  knob->SetOnGetParamRange([](TObject*, int32_t& lo, int32_t& hi, int32_t& def, int32_t& cur) {
    lo = 0;
    hi = 1000;
    def = 0;
    cur = 500;
  });
  int endDrags = 0;
  knob->OnEndDrag = [&](TObject*) { ++endDrags; };
  form->Show();
  Pump(100);

  int32_t px = 24, py = 24;
  knob->ClientToScreen(px, py);
  Pointer(px, py);
  Pump(50);
  Button(true);
  ASSERT_TRUE(PumpUntil([&] { return knob->Dragging(); })) << "the press did not reach the knob";
  // Three moves up; each is put back to the press point before the next.
  for (int i = 0; i < 3; ++i) {
    Pointer(px, py - 10);
    const int32_t target = 500 + 10 * (i + 1);
    EXPECT_TRUE(PumpUntil([&] { return knob->Value() >= target; })) << "move " << i << ": " << knob->Value();
    int x = 0, y = 0;
    EXPECT_TRUE(PumpUntil([&] { return PointerAt(x, y) && x == px && y == py; })) << x << "," << y;
  }
  Button(false);
  EXPECT_TRUE(PumpUntil([&] { return !knob->Dragging(); }));
  Pump(50);
  EXPECT_EQ(knob->Value(), 530);
  EXPECT_EQ(endDrags, 1);
  int x = 0, y = 0;
  ASSERT_TRUE(PointerAt(x, y));
  EXPECT_EQ(x, px);
  EXPECT_EQ(y, py);
  delete form;
  XDestroyWindow(d, host);
  XSync(d, False);
}

}  // namespace
