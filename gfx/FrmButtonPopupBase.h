#pragma once
// TFormButtonPopupBase: the borderless form a button's popup list can sit
// on, so the list may reach outside the button's own canvas and window. It
// is a child control of the button's form, but its window is a top-level
// popup (override-redirect on X11, WS_POPUP on Win32); its Left and Top
// stay in the parent form's client coordinates and the window is placed at
// the matching screen point.

#include "gfx/GraphicCanvas.h"

class TFormButtonPopupBase : public TVCLForm {
public:
  explicit TFormButtonPopupBase(TComponent* owner);
  ~TFormButtonPopupBase() override;

  TGraphicCanvas* GraphicCanvas1 = nullptr;
  // Told once when the form is destroyed (its owner's teardown may free it
  // before the control that opened it).
  TNotifyEvent OnFreeing;

  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  // Creates the popup window on first use, then shows it.
  void ShowPopup();
  // The window's rectangle on the screen for the current bounds.
  platform::ui::Rect ScreenBounds() const;
  const char* ClassName() const override { return "TFormButtonPopupBase"; }
};
