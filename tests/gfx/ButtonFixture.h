#pragma once
// A real form with one canvas inside a headless host window, for the
// selector controls' tests. Form point (x, y) lies at screen (100 + x, 150 + y).

#include <gtest/gtest.h>

#include "gfx/GraphicCanvas.h"
#include "platform/ui/HeadlessWindows.h"

class ButtonFixture : public ::testing::Test {
protected:
  static constexpr int32_t kX = 100, kY = 150, kW = 300, kH = 300;
  void SetUp() override {
    FPrevious = platform::ui::SetWindowSystem(&Ws);
    Host = Ws.CreateHostWindow({kX, kY, kX + kW - 1, kY + kH - 1});
    Form = new TVCLForm(nullptr);
    Form->SetBounds(0, 0, kW, kH);
    ASSERT_TRUE(Form->CreateWindowIn(Host));
    Canvas = new TGraphicCanvas(Form);
    Canvas->SetParent(Form);
    Canvas->SetBounds(0, 0, kW, kH);
    Canvas->SetColor(0x00202020);
    Form->Show();
    Ws.Advance(1);
  }
  void TearDown() override {
    delete Form;
    platform::ui::SetWindowSystem(FPrevious);
  }
  template <class T>
  T* Add(int32_t l, int32_t t, int32_t w, int32_t h) {
    auto* c = new T(Form);
    c->SetBounds(l, t, w, h);
    c->SetParent(Form);
    c->SetGfxCanvas(Canvas);
    return c;
  }
  // Mouse at a point of the form, in screen coordinates.
  void Down(int32_t x, int32_t y, int button = 0) { Ws.MouseDown(button, kX + x, kY + y); }
  void Up(int32_t x, int32_t y, int button = 0) { Ws.MouseUp(button, kX + x, kY + y); }
  void Move(int32_t x, int32_t y) { Ws.MouseMove(kX + x, kY + y); }
  void Click(int32_t x, int32_t y, int button = 0) {
    Move(x, y);
    Down(x, y, button);
    Up(x, y, button);
  }
  uint32_t At(int32_t x, int32_t y) { return Ws.ScreenPixel(kX + x, kY + y); }

  platform::ui::HeadlessWindowSystem Ws;
  platform::ui::Handle Host = 0;
  TVCLForm* Form = nullptr;
  TGraphicCanvas* Canvas = nullptr;

private:
  platform::ui::WindowSystem* FPrevious = nullptr;
};

inline TStringList Strings(std::initializer_list<const char*> texts) {
  TStringList l;
  for (const char* t : texts) l.Add(t);
  return l;
}
