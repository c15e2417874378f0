#pragma once
// The process's FreeType library and the embedded faces as Cairo font faces,
// created once on first use (thread-safe) and kept for the process's life.

#include <cairo.h>

namespace platform::ui::detail {

// The Cairo face of the embedded regular or bold font; null when FreeType
// could not load it. The caller does not own the reference.
cairo_font_face_t* EmbeddedFace(bool bold);

}  // namespace platform::ui::detail
