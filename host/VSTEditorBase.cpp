#include "host/VSTEditorBase.h"

#include "gfx/GraphicCanvas.h"
#include "params/model/VSTParameterHost.h"
#include "platform/ui/WindowSystem.h"

TVSTEditorBase::TVSTEditorBase(AudioEffect* owner, TVSTParameterHost* paramHost)
    : AEffEditor(owner), FParamHost(paramHost) {}

TVSTEditorBase::~TVSTEditorBase() {
  TSyncLock lock(FEditorLock);
  if (FForm) {
    FParamHost->OnEditorClosed(this);
    DestroyForm();
  }
}

void TVSTEditorBase::DestroyForm() {
  TComponent* form = FForm;
  FForm = nullptr;
  delete form;
}

VstIntPtr TVSTEditorBase::getRect(ERect** rect) {
  FRect.top = 0;
  FRect.left = 0;
  FRect.bottom = static_cast<VstInt16>(FParamHost->EditorHeight);
  FRect.right = static_cast<VstInt16>(FParamHost->EditorWidth);
  if (rect) *rect = &FRect;
  return 1;
}

VstIntPtr TVSTEditorBase::open(void* parent) {
  TSyncLock lock(FEditorLock);
  if (FForm) return 0;  // a second open is refused
  systemWindow = parent;
  try {
    FForm = FParamHost->DoCreateEditor(parent);
    auto* form = dynamic_cast<TCustomForm*>(FForm);
    if (!form || !form->HandleAllocated()) throw Exception("the editor form has no window");
    // Message boxes and file dialogs opened from the editor belong to its window.
    Application().Handle = form->Handle();
    FEditorThread = std::this_thread::get_id();
    form->SetBounds(0, 0, FParamHost->EditorWidth, FParamHost->EditorHeight);
    form->Show();
    return 1;
  } catch (...) {
    Application().Handle = 0;
    DestroyForm();
    return 0;
  }
}

void TVSTEditorBase::close() {
  TSyncLock lock(FEditorLock);
  if (!FForm) return;
  FParamHost->OnEditorClosed(this);
  Application().Handle = 0;
  DestroyForm();
}

void TVSTEditorBase::idle() {
  AEffEditor::idle();
  bool isOpen;
  {
    TSyncLock lock(FEditorLock);
    isOpen = FForm != nullptr && FEditorThread == std::this_thread::get_id();
  }
  if (isOpen) platform::ui::Windows().Pump();
}

void TVSTEditorBase::WheelStep(bool up) {
  TSyncLock lock(FEditorLock);
  if (auto* form = dynamic_cast<TCustomForm*>(FForm); form && form->HandleAllocated())
    platform::ui::Windows().PostMessage(form->Handle(), up ? TKM_WHEELUP : TKM_WHEELDOWN, 0, 0);
}
