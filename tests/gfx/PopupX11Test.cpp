// A button's popup on its own base form in real X11 windows (a private
// Xvfb): the host's plain Xlib window holds the editor form, the popup list
// opens above it in screen coordinates, XTest chooses an entry, and the
// popup window is gone afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "gfx/FrmButtonPopupBase.h"
#include "gfx/GraphicButton.h"
#include "gfx/GraphicList.h"
#include "platform/ui/WindowSystem.h"
#include "tests/support/XvfbServer.h"
// Xlib last: its macros (None, Bool, Status) clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kParentX = 200, kParentY = 300, kW = 300, kH = 200;

class PopupX11 : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
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
    if (gOldDisplay.empty())
      unsetenv("DISPLAY");
    else
      setenv("DISPLAY", gOldDisplay.c_str(), 1);
  }
  void SetUp() override {
    if (!testsupport::XvfbServer::Installed()) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    ASSERT_NE(gConnection, nullptr) << "Xvfb did not start";
    d = gConnection;
    Parent = XCreateSimpleWindow(d, DefaultRootWindow(d), kParentX, kParentY, kW, kH, 0, 0, 0);
    XMapWindow(d, Parent);
    XSync(d, False);
  }
  void TearDown() override {
    delete Form;
    if (d && Parent) XDestroyWindow(d, Parent);
    if (d) XSync(d, False);
  }
  // The host's loop: its own events, then the toolkit's queue, every 10 ms.
  bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    do {
      while (XPending(d) > 0) {
        XEvent e;
        XNextEvent(d, &e);
      }
      platform::ui::Windows().Pump();
      XSync(d, False);
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < end);
    return false;
  }
  uint32_t RootPixel(int x, int y) {
    XImage* image = XGetImage(d, DefaultRootWindow(d), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xDEADBEEF;
    const uint32_t p = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
    XDestroyImage(image);
    return p;
  }
  void ClickAt(int x, int y) {
    XTestFakeMotionEvent(d, DefaultScreen(d), x, y, 0);
    XSync(d, False);
    PumpUntil([] { return false; }, 50);
    XTestFakeButtonEvent(d, 1, True, 0);
    XSync(d, False);
    PumpUntil([] { return false; }, 50);
    XTestFakeButtonEvent(d, 1, False, 0);
    XSync(d, False);
  }
  int CountWindows(::Window w) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n)) return -1;
    int total = static_cast<int>(n);
    for (unsigned i = 0; i < n; ++i) total += CountWindows(children[i]);
    if (children) XFree(children);
    return total;
  }

  Display* d = nullptr;
  ::Window Parent = 0;
  TVCLForm* Form = nullptr;
  static inline testsupport::XvfbServer gServer;
  static inline Display* gConnection = nullptr;
  static inline std::string gOldDisplay;
};

TEST_F(PopupX11, BasePopupOpensAboveTheHostWindowChoosesAndLeavesNoWindow) {
  Form = new TVCLForm(nullptr);
  Form->SetBounds(0, 0, kW, kH);
  ASSERT_TRUE(Form->CreateWindowIn(static_cast<platform::ui::Handle>(Parent)));
  auto* canvas = new TGraphicCanvas(Form);
  canvas->SetParent(Form);
  canvas->SetBounds(0, 0, kW, kH);
  canvas->SetColor(0x00202020);
  auto* button = new TGraphicButton(Form);
  button->SetBounds(20, 0, 80, 20);
  button->SetParent(Form);
  button->SetGfxCanvas(canvas);
  button->SetColor(0x00646464);
  TStringList values;
  for (const char* v : {"a", "b", "c", "d", "e"}) values.Add(v);
  button->SetValues(values);
  button->ShowPopup = true;
  button->PopupUseBase = true;
  Form->Show();
  ASSERT_TRUE(PumpUntil([&] { return RootPixel(kParentX + 20, kParentY + 10) == 0x8C8C8C; }));
  const int windows = CountWindows(DefaultRootWindow(d));

  ClickAt(kParentX + 40, kParentY + 10);
  ASSERT_TRUE(PumpUntil([&] { return button->PopupForm() != nullptr; }));
  ASSERT_NE(button->PopupList(), nullptr);
  // Five rows of 20 pixels right above the button, outside the host's window.
  const int top = kParentY - 5 * 20;
  EXPECT_TRUE(PumpUntil([&] { return RootPixel(kParentX + 20, top + 30) == 0x8C8C8C; }))
      << std::hex << RootPixel(kParentX + 20, top + 30);
  EXPECT_EQ(CountWindows(DefaultRootWindow(d)), windows + 1);

  ClickAt(kParentX + 40, top + 3 * 20 + 10);
  EXPECT_TRUE(PumpUntil([&] { return button->ItemIndex() == 3; }));
  EXPECT_TRUE(PumpUntil([&] { return CountWindows(DefaultRootWindow(d)) == windows; }));
  EXPECT_EQ(button->PopupForm(), nullptr);
  EXPECT_NE(RootPixel(kParentX + 20, top + 30), 0x8C8C8Cu);  // nothing left on the screen there
}

}  // namespace
