#include "host/VSTEditorBase.h"

#include "params/model/VSTParameterHost.h"

TVSTEditorBase::TVSTEditorBase(AudioEffect* owner, TVSTParameterHost* paramHost)
    : AEffEditor(owner), FParamHost(paramHost) {}

TVSTEditorBase::~TVSTEditorBase() {
  TSyncLock lock(FEditorLock);
  if (FForm) {
    FParamHost->OnEditorClosed(this);
    delete FForm;
    FForm = nullptr;
  }
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
    if (!FForm) return 0;
    return 1;
  } catch (...) {
    delete FForm;
    FForm = nullptr;
    return 0;
  }
}

void TVSTEditorBase::close() {
  TSyncLock lock(FEditorLock);
  if (!FForm) return;
  FParamHost->OnEditorClosed(this);
  delete FForm;
  FForm = nullptr;
}

void TVSTEditorBase::WheelStep(bool) {
  TSyncLock lock(FEditorLock);
  // The form's window receives the step once editor forms exist; a closed
  // editor ignores it.
}
