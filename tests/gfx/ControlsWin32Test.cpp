// Skinned controls in real Win32 windows (under Wine on a virtual display):
// a knob dragged with real pointer input keeps the pointer at the press
// point, and a button's popup on its own form opens outside the host's
// window at the right screen place, takes a choice and leaves no window.

#include <windows.h>
// windows.h maps these to their A versions; the toolkit's methods keep their names.
#undef PostMessage
#undef TextOut

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "gfx/ButtonFace.h"
#include "gfx/FrmButtonPopupBase.h"
#include "gfx/GraphicButton.h"
#include "gfx/GraphicKnob.h"
#include "gfx/GraphicList.h"
#include "tests/support/DisplayTurn.h"

namespace {

constexpr int kHostX = 200, kHostY = 300, kW = 300, kH = 200;  // host client area on the screen

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

class ControlsWin32 : public ::testing::Test {
protected:
  // One host window and one turn of the display for the suite.
  static void SetUpTestSuite() {
    Turn = new testsupport::DisplayTurn;
    if (!Turn->Held()) return;
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = "KesControlsHost";
    RegisterClassA(&wc);
    // Frameless, so the popup above the editor lies outside the whole host window.
    const DWORD style = WS_POPUP | WS_CLIPCHILDREN;
    RECT frame{0, 0, kW, kH};
    AdjustWindowRect(&frame, style, FALSE);
    Host = CreateWindowExA(0, wc.lpszClassName, "host", style, kHostX + frame.left, kHostY + frame.top,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, wc.hInstance, nullptr);
    if (!Host) return;
    ShowWindow(Host, SW_SHOW);
    SetForegroundWindow(Host);
    UpdateWindow(Host);
    Pump([] { return false; }, 50);
  }
  static void TearDownTestSuite() {
    if (Host) DestroyWindow(Host);
    Host = nullptr;
    UnregisterClassA("KesControlsHost", GetModuleHandleA(nullptr));
    delete Turn;
    Turn = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(Turn->Held()) << "another test process kept the display for a minute";
    ASSERT_NE(Host, nullptr) << "no top-level window: the Windows lanes run the tests under xvfb-run";
    POINT origin{0, 0};
    ClientToScreen(Host, &origin);
    ASSERT_EQ(origin.x, kHostX);
    ASSERT_EQ(origin.y, kHostY);
    Form = new TVCLForm(nullptr);
    Form->SetBounds(0, 0, kW, kH);
    ASSERT_TRUE(Form->CreateWindowIn(reinterpret_cast<platform::ui::Handle>(Host)));
    Canvas = new TGraphicCanvas(Form);
    Canvas->SetParent(Form);
    Canvas->SetBounds(0, 0, kW, kH);
    Canvas->SetColor(0x00202020);
    Windows = ThreadWindows();
  }
  void TearDown() override {
    delete Form;
    Pump([] { return false; }, 20);
  }

  template <class T>
  T* Add(int32_t l, int32_t t, int32_t w, int32_t h) {
    auto* c = new T(Form);
    c->SetBounds(l, t, w, h);
    c->SetParent(Form);
    c->SetGfxCanvas(Canvas);
    return c;
  }
  // The host's message loop until done() holds or ms pass.
  static bool Pump(const std::function<bool()>& done, DWORD ms = 2000) {
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
  // A screen pixel as 0x00RRGGBB, read from the whole screen's device context.
  static uint32_t ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof(bi));
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = 1;
    bi.bmiHeader.biHeight = -1;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    uint32_t p = 0xDEADBEEF;
    if (dib && bits) {
      HGDIOBJ old = SelectObject(mem, dib);
      BitBlt(mem, 0, 0, 1, 1, screen, x, y, SRCCOPY);
      GdiFlush();
      p = *static_cast<uint32_t*>(bits) & 0xFFFFFFu;
      SelectObject(mem, old);
      DeleteObject(dib);
    }
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return p;
  }
  // Absolute pointer input at a screen point (0..65536 spans the screen; rounded up so it maps back).
  static void MoveTo(int x, int y) {
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in;
    ZeroMemory(&in, sizeof(in));
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in.mi.dx = static_cast<LONG>((static_cast<int64_t>(x) * 65536 + w - 1) / w);
    in.mi.dy = static_cast<LONG>((static_cast<int64_t>(y) * 65536 + h - 1) / h);
    ASSERT_EQ(SendInput(1, &in, sizeof(INPUT)), 1u);
  }
  static void Button(bool down) {
    INPUT in;
    ZeroMemory(&in, sizeof(in));
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(SendInput(1, &in, sizeof(INPUT)), 1u);
  }
  static bool CursorAt(int x, int y) {
    POINT p;
    return GetCursorPos(&p) && p.x == x && p.y == y;
  }
  static int ThreadWindows() {
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&n));
    return n;
  }

  static testsupport::DisplayTurn* Turn;
  static HWND Host;
  TVCLForm* Form = nullptr;
  TGraphicCanvas* Canvas = nullptr;
  int Windows = 0;
};

testsupport::DisplayTurn* ControlsWin32::Turn = nullptr;
HWND ControlsWin32::Host = nullptr;

TEST_F(ControlsWin32, KnobDragHoldsThePointerAtThePressPoint) {
  auto* knob = Add<TGraphicKnob>(100, 60, 48, 48);
  knob->SetStepFast(1);
  knob->SetOnGetParamRange([](TObject*, int32_t& lo, int32_t& hi, int32_t& def, int32_t& cur) {
    lo = 0;
    hi = 1000;
    def = 0;
    cur = 500;
  });
  int endDrags = 0;
  knob->OnEndDrag = [&](TObject*) { ++endDrags; };
  Form->Show();
  Pump([] { return false; }, 50);

  const int px = kHostX + 124, py = kHostY + 84;  // the knob's centre
  MoveTo(px, py);
  ASSERT_TRUE(Pump([&] { return CursorAt(px, py); })) << "the pointer did not reach the knob";
  Button(true);
  ASSERT_TRUE(Pump([&] { return knob->Dragging(); })) << "the press did not reach the knob";
  // Each move of ten pixels up adds ten; the pointer goes back to the press point after each.
  for (int i = 1; i <= 3; ++i) {
    MoveTo(px, py - 10);
    EXPECT_TRUE(Pump([&] { return knob->Value() >= 500 + 10 * i; })) << "move " << i << ": " << knob->Value();
    EXPECT_TRUE(Pump([&] { return CursorAt(px, py); })) << "move " << i << ": the pointer was not put back";
  }
  Button(false);
  EXPECT_TRUE(Pump([&] { return !knob->Dragging(); }));
  Pump([] { return false; }, 30);
  EXPECT_EQ(knob->Value(), 530);
  EXPECT_EQ(endDrags, 1);
  EXPECT_TRUE(CursorAt(px, py));
  CURSORINFO ci;
  ZeroMemory(&ci, sizeof(ci));
  ci.cbSize = sizeof(ci);
  ASSERT_TRUE(GetCursorInfo(&ci));
  EXPECT_TRUE(ci.flags & CURSOR_SHOWING) << "the pointer stayed hidden after the release";
}

TEST_F(ControlsWin32, BasePopupOpensOutsideTheHostWindowChoosesAndLeavesNoWindow) {
  auto* button = Add<TGraphicButton>(20, 0, 80, 20);
  button->SetColor(0x00646464);
  TStringList values;
  for (const char* v : {"a", "b", "c", "d", "e"}) values.Add(v);
  button->SetValues(values);
  button->ShowPopup = true;
  button->PopupUseBase = true;
  Form->Show();
  // The lit left edge of the button's face (grey, so the same as 0x00RRGGBB), above the
  // text: GDI's glyphs may touch the first column. The popup's rows share the face.
  const uint32_t edge = ScaleColor(1.4, 0x00646464);
  ASSERT_TRUE(Pump([&] { return ScreenPixel(kHostX + 20, kHostY + 1) == edge; }))
      << std::hex << ScreenPixel(kHostX + 20, kHostY + 1) << " instead of " << edge;

  MoveTo(kHostX + 40, kHostY + 10);
  Pump([&] { return CursorAt(kHostX + 40, kHostY + 10); });
  Button(true);
  Button(false);
  ASSERT_TRUE(Pump([&] { return button->PopupForm() != nullptr; }));
  ASSERT_NE(button->PopupList(), nullptr);
  const HWND popup = reinterpret_cast<HWND>(button->PopupForm()->Handle());
  ASSERT_TRUE(IsWindow(popup));
  // Five rows of 20 pixels right above the button, wholly outside the host window.
  RECT r, host;
  ASSERT_TRUE(GetWindowRect(popup, &r));
  ASSERT_TRUE(GetWindowRect(Host, &host));
  EXPECT_EQ(r.left, kHostX + 20);
  EXPECT_EQ(r.bottom, kHostY);
  EXPECT_EQ(r.bottom - r.top, 5 * 20);
  EXPECT_LT(r.bottom - 1, host.top);
  EXPECT_TRUE(Pump([&] { return ScreenPixel(r.left, r.top + 21) == edge; }))
      << std::hex << ScreenPixel(r.left, r.top + 21) << " instead of " << edge;
  EXPECT_TRUE(IsWindowVisible(popup));

  const int choiceX = r.left + 10, choiceY = r.top + 3 * 20 + 10;
  MoveTo(choiceX, choiceY);
  Pump([&] { return CursorAt(choiceX, choiceY); });
  Button(true);
  Button(false);
  EXPECT_TRUE(Pump([&] { return button->ItemIndex() == 3; })) << button->ItemIndex();
  EXPECT_TRUE(Pump([&] { return button->PopupForm() == nullptr && !IsWindow(popup); }));
  EXPECT_TRUE(Pump([&] { return ThreadWindows() == Windows; })) << ThreadWindows() << " windows, not " << Windows;
  EXPECT_TRUE(Pump([&] { return ScreenPixel(r.left, r.top + 21) != edge; })) << "the popup's pixels stayed";
}

}  // namespace
