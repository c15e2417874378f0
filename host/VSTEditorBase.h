#pragma once
// TVSTEditorBase: the editor object of the host interface. It places the
// plug-in's editor form, built by the parameter host's OnCreateEditor, inside
// the window the host supplies, and drops it again on close.
//
// States: closed (no form) and open (form exists). The editor lock guards the
// form reference, so wheel steps arriving with any dispatcher call can test it
// safely; they only post messages, so the form is touched on its own thread.
// idle() also runs the window system's pending work where it has no message
// loop of its own (X11): the thread that opened the editor (the host's UI
// thread) is the editor's thread, and idle calls from any other thread only
// do the base behaviour.

#include <thread>

#include "classlib/forms/Controls.h"
#include "gfx/core/SyncObject.h"
#include "host/DAudioEffect.h"

class TVSTParameterHost;

class TVSTEditorBase : public AEffEditor {
public:
  TVSTEditorBase(AudioEffect* effect, TVSTParameterHost* paramHost);
  ~TVSTEditorBase() override;

  VstIntPtr getRect(ERect** rect) override;
  VstIntPtr open(void* parent) override;
  void close() override;
  void idle() override;
  void update() override {}

  // One wheel step for the control under the mouse (ignored while closed).
  void WheelStep(bool up);
  TComponent* Form() const { return FForm; }
  const char* ClassName() const override { return "TVSTEditorBase"; }

private:
  void DestroyForm();

  TVSTParameterHost* FParamHost;
  TComponent* FForm = nullptr;
  TSyncObject FEditorLock;
  ERect FRect{};
  std::thread::id FEditorThread;
};
