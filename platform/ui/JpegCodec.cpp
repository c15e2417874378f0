// JPEG decoding and encoding with libjpeg(-turbo), the same code on every OS.
// libjpeg reports fatal errors through error_exit, which by default ends the
// process; here it jumps back to the call with the library's message.

#include <csetjmp>
#include <cstdio>
#include <cstring>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
// After jpeglib.h: the error codes and ERREXIT.
#include <jerror.h>

#include "platform/ui/Jpeg.h"

namespace platform::ui {

namespace {

struct ErrorManager {
  jpeg_error_mgr Base;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  errors->Base.format_message(info, errors->Message);
  std::longjmp(errors->Jump, 1);
}

// Warnings (a corrupt but decodable stream) are not worth a message box.
void OutputMessage(j_common_ptr) {}

void InitErrors(ErrorManager& errors) {
  jpeg_std_error(&errors.Base);
  errors.Base.error_exit = ErrorExit;
  errors.Base.output_message = OutputMessage;
  errors.Message[0] = 0;
}

// Memory source: the whole file is one buffer; running out means a truncated
// file, which is an error rather than libjpeg's default of inventing an end.
void InitSource(j_decompress_ptr) {}
boolean FillInput(j_decompress_ptr info) {
  ERREXIT(info, JERR_INPUT_EOF);
  return FALSE;
}
void SkipInput(j_decompress_ptr info, long count) {
  if (count <= 0) return;
  if (static_cast<size_t>(count) > info->src->bytes_in_buffer) ERREXIT(info, JERR_INPUT_EOF);
  info->src->next_input_byte += count;
  info->src->bytes_in_buffer -= static_cast<size_t>(count);
}
void TermSource(j_decompress_ptr) {}

// Memory destination growing a std::vector.
struct Destination {
  jpeg_destination_mgr Base;
  std::vector<uint8_t>* Out;
};
constexpr size_t kDestinationChunk = 16384;

void InitDestination(j_compress_ptr info) {
  auto* d = reinterpret_cast<Destination*>(info->dest);
  d->Out->resize(kDestinationChunk);
  d->Base.next_output_byte = d->Out->data();
  d->Base.free_in_buffer = d->Out->size();
}
boolean EmptyOutput(j_compress_ptr info) {
  auto* d = reinterpret_cast<Destination*>(info->dest);
  const size_t used = d->Out->size();
  d->Out->resize(used + kDestinationChunk);
  d->Base.next_output_byte = d->Out->data() + used;
  d->Base.free_in_buffer = kDestinationChunk;
  return TRUE;
}
void TermDestination(j_compress_ptr info) {
  auto* d = reinterpret_cast<Destination*>(info->dest);
  d->Out->resize(d->Out->size() - d->Base.free_in_buffer);
}

constexpr uint64_t kMaxPixels = uint64_t{1} << 26;

// The decoder's state lives outside the function that calls setjmp, so
// nothing longjmp skips over has a destructor or is left indeterminate.
struct Decoder {
  jpeg_decompress_struct Info;
  ErrorManager Errors;
  jpeg_source_mgr Source;
  std::vector<uint8_t> Row;
};

bool RunDecode(Decoder& d, const void* data, size_t size, DecodedImage& result) {
  if (setjmp(d.Errors.Jump)) return false;
  jpeg_create_decompress(&d.Info);
  d.Source.next_input_byte = static_cast<const JOCTET*>(data);
  d.Source.bytes_in_buffer = size;
  d.Source.init_source = InitSource;
  d.Source.fill_input_buffer = FillInput;
  d.Source.skip_input_data = SkipInput;
  d.Source.resync_to_restart = jpeg_resync_to_restart;
  d.Source.term_source = TermSource;
  d.Info.src = &d.Source;
  jpeg_read_header(&d.Info, TRUE);
  // Greyscale stays one channel; every other colour space comes out as RGB.
  const bool grey = d.Info.jpeg_color_space == JCS_GRAYSCALE;
  d.Info.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&d.Info);
  const int32_t width = static_cast<int32_t>(d.Info.output_width);
  const int32_t height = static_cast<int32_t>(d.Info.output_height);
  const int channels = d.Info.output_components;
  if (width <= 0 || height <= 0 || (channels != 1 && channels != 3)) {
    std::snprintf(d.Errors.Message, sizeof d.Errors.Message, "unsupported JPEG layout (%d channels)", channels);
    return false;
  }
  // A damaged header can claim any size; no skin comes near this one.
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPixels) {
    std::snprintf(d.Errors.Message, sizeof d.Errors.Message, "JPEG too large (%d x %d)", width, height);
    return false;
  }
  result.Width = width;
  result.Height = height;
  result.Pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  d.Row.resize(static_cast<size_t>(width) * static_cast<size_t>(channels));
  while (d.Info.output_scanline < d.Info.output_height) {
    const int32_t y = static_cast<int32_t>(d.Info.output_scanline);
    JSAMPROW row = d.Row.data();
    if (jpeg_read_scanlines(&d.Info, &row, 1) != 1) ERREXIT(&d.Info, JERR_INPUT_EOF);
    uint32_t* out = result.Pixels.data() + static_cast<size_t>(y) * width;
    const uint8_t* in = d.Row.data();
    for (int32_t x = 0; x < width; ++x, in += channels) {
      const uint32_t r = in[0], g = channels == 3 ? in[1] : in[0], b = channels == 3 ? in[2] : in[0];
      out[x] = (r << 16) | (g << 8) | b;
    }
  }
  jpeg_finish_decompress(&d.Info);
  return true;
}

struct Encoder {
  jpeg_compress_struct Info;
  ErrorManager Errors;
  Destination Dest;
  std::vector<uint8_t> Row;
};

bool RunEncode(Encoder& e, const uint32_t* pixels, int32_t width, int32_t height, int quality) {
  if (setjmp(e.Errors.Jump)) return false;
  jpeg_create_compress(&e.Info);
  e.Dest.Base.init_destination = InitDestination;
  e.Dest.Base.empty_output_buffer = EmptyOutput;
  e.Dest.Base.term_destination = TermDestination;
  e.Info.dest = &e.Dest.Base;
  e.Info.image_width = static_cast<JDIMENSION>(width);
  e.Info.image_height = static_cast<JDIMENSION>(height);
  e.Info.input_components = 3;
  e.Info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&e.Info);
  jpeg_set_quality(&e.Info, quality, TRUE);
  jpeg_start_compress(&e.Info, TRUE);
  e.Row.resize(static_cast<size_t>(width) * 3);
  while (e.Info.next_scanline < e.Info.image_height) {
    const uint32_t* in = pixels + static_cast<size_t>(e.Info.next_scanline) * width;
    for (int32_t x = 0; x < width; ++x) {
      e.Row[x * 3 + 0] = static_cast<uint8_t>(in[x] >> 16);
      e.Row[x * 3 + 1] = static_cast<uint8_t>(in[x] >> 8);
      e.Row[x * 3 + 2] = static_cast<uint8_t>(in[x]);
    }
    JSAMPROW row = e.Row.data();
    jpeg_write_scanlines(&e.Info, &row, 1);
  }
  jpeg_finish_compress(&e.Info);
  return true;
}

}  // namespace

bool DecodeJpeg(const void* data, size_t size, DecodedImage& image, std::string& error) {
  if (!data || size == 0) {
    error = "empty JPEG data";
    return false;
  }
  Decoder d{};
  InitErrors(d.Errors);
  d.Info.err = &d.Errors.Base;
  DecodedImage result;
  const bool ok = RunDecode(d, data, size, result);
  jpeg_destroy_decompress(&d.Info);
  if (!ok) {
    error = d.Errors.Message[0] ? d.Errors.Message : "damaged JPEG data";
    return false;
  }
  image = std::move(result);
  return true;
}

bool EncodeJpeg(const uint32_t* pixels, int32_t width, int32_t height, int quality, std::vector<uint8_t>& out) {
  if (!pixels || width <= 0 || height <= 0 || width > 65500 || height > 65500) return false;
  Encoder e{};
  InitErrors(e.Errors);
  e.Info.err = &e.Errors.Base;
  std::vector<uint8_t> bytes;
  e.Dest.Out = &bytes;
  const bool ok = RunEncode(e, pixels, width, height, quality < 1 ? 1 : (quality > 100 ? 100 : quality));
  jpeg_destroy_compress(&e.Info);
  if (!ok) return false;
  out = std::move(bytes);
  return true;
}

}  // namespace platform::ui
