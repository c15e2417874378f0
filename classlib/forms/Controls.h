#pragma once
// Controls and forms of the class library, over the window-system port.
//
// TControl is a non-windowed control: a rectangle in its parent's client
// area that receives mouse messages from its parent and paints through its
// parent. TWinControl owns a native window and its children in z-order (the
// first child lies lowest); it dispatches mouse messages to the topmost
// child under the point, and the child that received a press keeps the
// moves and the release (capture). TCustomForm is a windowed control that is
// a child of a foreign window (the host's) or a borderless popup.
//
// Everything here runs on the thread that owns the windows.

#include <cstdint>
#include <string>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Events.h"
#include "platform/ui/WindowSystem.h"

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// Modifier and button state of a mouse event.
using TShiftState = uint32_t;
constexpr TShiftState ssShift = 0x01, ssAlt = 0x02, ssCtrl = 0x04, ssLeft = 0x08, ssRight = 0x10, ssMiddle = 0x20,
                      ssDouble = 0x40;

struct TFont {
  std::string Name = "Tahoma";
  int32_t Height = 11;  // pixels
  bool Bold = false;
  uint32_t Color = 0;  // 0x00BBGGRR
  bool operator==(const TFont&) const = default;
};

using TMouseEvent = TEvent<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)>;
using TMouseMoveEvent = TEvent<void(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y)>;

// The message record handed to window procedures. A handler that does not
// process a message calls DefaultHandler, which clears Handled so the window
// system does its default.
struct TMessage : platform::ui::Message {
  bool Handled = true;
};

class TWinControl;

class TControl : public TComponent {
public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* parent);

  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  virtual void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  void SetLeft(int32_t v) { SetBounds(v, FTop, FWidth, FHeight); }
  void SetTop(int32_t v) { SetBounds(FLeft, v, FWidth, FHeight); }
  void SetWidth(int32_t v) { SetBounds(FLeft, FTop, v, FHeight); }
  void SetHeight(int32_t v) { SetBounds(FLeft, FTop, FWidth, v); }

  bool Visible() const { return FVisible; }
  void SetVisible(bool v);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  uint32_t Color() const { return FColor; }
  void SetColor(uint32_t c);
  const TFont& Font() const { return FFont; }
  void SetFont(const TFont& f);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool v);
  // The control covers every pixel of its rectangle.
  bool Opaque() const { return FOpaque; }
  void SetOpaque(bool v) { FOpaque = v; }
  // Form designers are not part of this library: never designing.
  bool Designing() const { return false; }
  // Shown, and every parent shown.
  bool Showing() const;

  // Sends a message to the control's window procedure; returns its result.
  intptr_t Perform(uint32_t message, uintptr_t wparam, intptr_t lparam);
  virtual void WndProc(TMessage& m);
  // Asks the window system to repaint the control's area.
  virtual void Invalidate();
  virtual void Repaint() { Invalidate(); }
  virtual void Update() {}
  // The control's point in its parent window's client coordinates, and
  // the nearest windowed ancestor's handle.
  platform::ui::Handle ParentHandle() const;
  void ClientToScreen(int32_t& x, int32_t& y) const;

  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnResize;
  const char* ClassName() const override { return "TControl"; }

protected:
  virtual void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void MouseMove(TShiftState shift, int32_t x, int32_t y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  virtual void DblClick() { OnDblClick(this); }
  virtual void Click() { OnClick(this); }
  // Notifications, called after the new state is in effect.
  virtual void VisibleChanged() {}
  virtual void EnabledChanged() {}
  virtual void FontChanged() {}
  virtual void ColorChanged() {}
  virtual void ParentFontChanged() {}
  // Called after the bounds changed; fires OnResize.
  virtual void Resize() { OnResize(this); }
  // Ends a control's part in a parent's capture (the press it got is over).
  bool FClicked = false;

private:
  friend class TWinControl;
  TWinControl* FParent = nullptr;
  int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  bool FEnabled = true;
  uint32_t FColor = 0x00FFFFFF;
  TFont FFont;
  bool FParentFont = true;
  bool FOpaque = false;
};

class TWinControl : public TControl, public platform::ui::WindowClient {
public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int i) const { return FControls[static_cast<size_t>(i)]; }
  // The topmost non-windowed child at a client point (disabled ones only
  // when asked), or null.
  TControl* ControlAtPos(int32_t x, int32_t y, bool allowDisabled) const;
  platform::ui::Handle Handle() const { return FHandle; }
  bool HandleAllocated() const { return FHandle != 0; }
  TControl* CaptureControl() const { return FCaptureControl; }

  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) override;
  void WndProc(TMessage& m) override;
  void Invalidate() override;
  bool WindowProc(platform::ui::Handle window, platform::ui::Message& m) final;
  const char* ClassName() const override { return "TWinControl"; }

protected:
  // A child was inserted (true) or removed (false).
  virtual void ChildListChanged(TControl* child, bool inserted);
  virtual bool DoMouseWheelDown(TShiftState) { return false; }
  virtual bool DoMouseWheelUp(TShiftState) { return false; }
  void DefaultHandler(TMessage& m) { m.Handled = false; }
  // Adopts a native window created by a derived class; DestroyHandle drops it.
  void AdoptHandle(platform::ui::Handle h) { FHandle = h; }
  void DestroyHandle();
  void VisibleChanged() override;
  void FontChanged() override;

private:
  friend class TControl;
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);
  void DispatchMouse(TMessage& m);

  std::vector<TControl*> FControls;
  platform::ui::Handle FHandle = 0;
  TControl* FCaptureControl = nullptr;
};

// A form: the root of a tree of controls, in its own native window.
class TCustomForm : public TWinControl {
public:
  explicit TCustomForm(TComponent* owner);
  ~TCustomForm() override;
  // Creates the window as a hidden child of a foreign (host) window. False
  // when the window system refuses (bad parent, no display).
  bool CreateWindowIn(platform::ui::Handle parent);
  // Creates the window as a hidden borderless popup at screen coordinates.
  bool CreatePopup(int32_t screenLeft, int32_t screenTop);
  void Show();
  void Hide();
  bool Focused() const;
  void SetFocus();
  const char* ClassName() const override { return "TCustomForm"; }

protected:
  void WndProc(TMessage& m) override;
};

// The application object: the window that message boxes and dialogs belong to.
struct TApplication {
  platform::ui::Handle Handle = 0;
};
TApplication& Application();

// Shift state from a mouse message's WParam and the keys held now.
TShiftState MouseShiftState(uintptr_t wparam);
