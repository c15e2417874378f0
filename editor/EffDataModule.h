#pragma once
// TEffectDataModule: the process-wide skin module, created once when the
// library loads and freed when it unloads. It will hold the decoded skin
// images the editor forms draw with; until the editor exists it carries none.

#include "classlib/Classes.h"

class TEffectDataModule : public TComponent {
public:
  explicit TEffectDataModule(TComponent* owner) : TComponent(owner) {}
  const char* ClassName() const override { return "TEffectDataModule"; }
};
