#include "platform/ui/cairo/FontCache.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <mutex>

#include "platform/ui/cairo/EmbeddedFonts.h"

namespace platform::ui::detail {

namespace {

struct Faces {
  FT_Library Library = nullptr;
  cairo_font_face_t* Face[2] = {nullptr, nullptr};
};

cairo_font_face_t* LoadFace(FT_Library library, const unsigned char* data, size_t size) {
  FT_Face face = nullptr;
  if (FT_New_Memory_Face(library, data, static_cast<FT_Long>(size), 0, &face) != 0) return nullptr;
  cairo_font_face_t* result = cairo_ft_font_face_create_for_ft_face(face, 0);
  // The FT_Face lives as long as the Cairo face that uses it.
  static const cairo_user_data_key_t key{};
  if (cairo_font_face_status(result) != CAIRO_STATUS_SUCCESS ||
      cairo_font_face_set_user_data(result, &key, face, [](void* f) { FT_Done_Face(static_cast<FT_Face>(f)); }) !=
          CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(result);
    FT_Done_Face(face);
    return nullptr;
  }
  return result;
}

const Faces& Shared() {
  // Never torn down: font faces may be in use by surfaces until the very end.
  static Faces* faces = [] {
    auto* f = new Faces;
    if (FT_Init_FreeType(&f->Library) != 0) {
      f->Library = nullptr;
      return f;
    }
    f->Face[0] = LoadFace(f->Library, fonts::kDejaVuSans, fonts::kDejaVuSansSize);
    f->Face[1] = LoadFace(f->Library, fonts::kDejaVuSansBold, fonts::kDejaVuSansBoldSize);
    return f;
  }();
  return *faces;
}

}  // namespace

cairo_font_face_t* EmbeddedFace(bool bold) { return Shared().Face[bold ? 1 : 0]; }

}  // namespace platform::ui::detail
