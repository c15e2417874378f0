#pragma once
// TGraphicLabel: a static one-line text drawn with the control's font over
// whatever lies behind it. A label marked IsFilePath shortens a path that
// does not fit by replacing directory names with "...".

#include <cstdint>
#include <functional>
#include <string>

#include "gfx/ButtonFace.h"
#include "gfx/GraphicCanvas.h"

// Replaces directory names of path, left to right, with "..." until
// measure(result) <= maxWidth or only names of at most three characters and
// the file name are left. The first name replaced follows the first
// separator ('\' or '/'), or, for a name beginning with two backslashes, the
// separator after the server name.
std::string ShortenFilePath(const std::string& path, int32_t maxWidth,
                            const std::function<int32_t(const std::string&)>& measure);

class TGraphicLabel : public TGraphicElement {
public:
  explicit TGraphicLabel(TComponent* owner);

  bool ShowHint = false;
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  // Stored; the label never resizes itself.
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  bool IsFilePath() const { return FIsFilePath; }
  void SetIsFilePath(bool v);

  void PaintTo(TLinearBitmap& bitmap) override;
  const char* ClassName() const override { return "TGraphicLabel"; }

private:
  std::string FCaption;
  TAlignment FAlignment = taLeftJustify;
  bool FAutoSize = false;
  bool FIsFilePath = false;
};
