// The JPEG loader around the JPEG library: an error exit that long-jumps
// back into DecodeJpeg, a source manager over a read call-back, a skipper of
// text markers and rows written straight into the DIB block (bottom-up).
//
// Between setjmp and a possible longjmp, DecodeJpeg keeps everything it must
// release in a heap object reached through a pointer that is never changed
// after setjmp, so the release after the jump sees the real state.
#include "runtime/toolkit/kxjpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxpicio.h"

namespace kxobject {

namespace {

constexpr size_t kSourceBuffer = 4096;
constexpr int kFirstAddon = 1000, kLastAddon = 1043;
constexpr int kErrBadOutput = 1005;
constexpr int kErrColormap = 1039;

const char* const* AddonMessages() {
  static const char* table[kLastAddon - kFirstAddon + 1] = {};
  table[kErrBadOutput - kFirstAddon] = "BMP output must be grayscale or RGB";
  table[kErrColormap - kFirstAddon] = "Output file format cannot handle %d colormap entries";
  return table;
}

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo) {
  (*cinfo->err->output_message)(cinfo);
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

struct CallbackSource {
  jpeg_source_mgr pub;
  JpegReadProc read;
  void* data;
  JOCTET* buffer;
  bool startOfFile;
  bool faked;  // the data ended and an end-of-image marker stands in
};

void InitSource(j_decompress_ptr cinfo) { reinterpret_cast<CallbackSource*>(cinfo->src)->startOfFile = true; }

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<CallbackSource*>(cinfo->src);
  uint32_t count = src->faked ? 0 : src->read(src->buffer, kSourceBuffer, src->data);
  if (count == 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    count = 2;
    src->faked = true;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = count;
  src->startOfFile = false;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (count > long(src->bytes_in_buffer)) {
    count -= long(src->bytes_in_buffer);
    (*src->fill_input_buffer)(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= size_t(count);
}

void TermSource(j_decompress_ptr) {}

void jpeg_callback_src(j_decompress_ptr cinfo, JpegReadProc read, void* data) {
  if (!cinfo->src) {
    auto* src = static_cast<CallbackSource*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(CallbackSource)));
    src->buffer = static_cast<JOCTET*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kSourceBuffer));
    cinfo->src = &src->pub;
  }
  auto* src = reinterpret_cast<CallbackSource*>(cinfo->src);
  src->pub.init_source = InitSource;
  src->pub.fill_input_buffer = FillInputBuffer;
  src->pub.skip_input_data = SkipInputData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermSource;
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = nullptr;
  src->read = read;
  src->data = data;
  src->faked = false;
}

int NextMarkerByte(j_decompress_ptr cinfo) {
  jpeg_source_mgr* src = cinfo->src;
  if (src->bytes_in_buffer == 0 && !(*src->fill_input_buffer)(cinfo)) ERREXIT(cinfo, JERR_CANT_SUSPEND);
  --src->bytes_in_buffer;
  return *src->next_input_byte++;
}

boolean SkipTextMarker(j_decompress_ptr cinfo) {
  int length = NextMarkerByte(cinfo) << 8;
  length += NextMarkerByte(cinfo);
  for (length -= 2; length > 0; --length) NextMarkerByte(cinfo);
  return TRUE;
}

// What a decode holds; released on every path.
struct Decode {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  bool created = false;
  FILE* file = nullptr;
  DibBuilder dib;
  ~Decode() {
    if (created) jpeg_destroy_decompress(&cinfo);
    if (file) std::fclose(file);
  }
};

}  // namespace

win::HGLOBAL DecodeJpeg(const char* fileName, JpegReadProc read, bool quantize, void* data, uint32_t* unread) {
  const auto decode = std::make_unique<Decode>();
  Decode* const d = decode.get();
  if (fileName) {
    d->file = std::fopen(fileName, "rb");
    if (!d->file) {
      std::fprintf(stderr, "can't open %s\n", fileName);
      return {};
    }
  }
  jpeg_decompress_struct& cinfo = d->cinfo;
  cinfo.err = jpeg_std_error(&d->err.pub);
  d->err.pub.error_exit = JpegErrorExit;
  if (setjmp(d->err.jump)) return {};
  jpeg_create_decompress(&cinfo);
  d->created = true;
  d->err.pub.addon_message_table = AddonMessages();
  d->err.pub.first_addon_message = kFirstAddon;
  d->err.pub.last_addon_message = kLastAddon;
  jpeg_set_marker_processor(&cinfo, JPEG_COM, SkipTextMarker);
  jpeg_set_marker_processor(&cinfo, JPEG_APP0 + 12, SkipTextMarker);
  if (fileName)
    jpeg_stdio_src(&cinfo, d->file);
  else
    jpeg_callback_src(&cinfo, read, data);
  jpeg_read_header(&cinfo, TRUE);
  d->err.pub.trace_level = 0;

  cinfo.dct_method = JDCT_ISLOW;
  if (fileName || !quantize) {
    cinfo.quantize_colors = FALSE;
    cinfo.dither_mode = JDITHER_NONE;
    if (!fileName) cinfo.out_color_space = JCS_RGB;
  } else {
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = 256;
    cinfo.two_pass_quantize = FALSE;
    cinfo.dither_mode = JDITHER_ORDERED;
  }
  jpeg_calc_output_dimensions(&cinfo);
  const bool rgb = cinfo.out_color_space == JCS_RGB && !cinfo.quantize_colors;
#ifdef JCS_EXTENSIONS
  // The library can store the pixels in the DIB's order itself.
  if (rgb) cinfo.out_color_space = JCS_EXT_BGR;
  constexpr bool kSwap = false;
#else
  constexpr bool kSwap = true;
#endif
  if (!rgb && cinfo.out_color_space != JCS_GRAYSCALE && cinfo.out_color_space != JCS_RGB) {
    cinfo.err->msg_code = kErrBadOutput;
    (*cinfo.err->error_exit)(reinterpret_cast<j_common_ptr>(&cinfo));
  }
  const int32_t width = int32_t(cinfo.output_width), height = int32_t(cinfo.output_height);
  if (d->dib.Start(width, height, rgb ? 24 : 8, rgb ? 0 : 256, false) != 1) {
    std::fprintf(stderr, "JPEG picture of %d x %d pixels is too large\n", width, height);
    return {};
  }
  BITMAPINFOHEADER& h = d->dib.Header();
  h.biSizeImage = 0;
  if (cinfo.saw_JFIF_marker && cinfo.density_unit == 2) {
    h.biXPelsPerMeter = int32_t(cinfo.X_density) * 100;
    h.biYPelsPerMeter = int32_t(cinfo.Y_density) * 100;
  }
  jpeg_start_decompress(&cinfo);
  if (!rgb) {
    uint8_t* table = d->dib.Table();
    if (!cinfo.quantize_colors) {
      for (int i = 0; i < 256; ++i) table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = uint8_t(i);
    } else {
      if (cinfo.actual_number_of_colors > 256) {
        cinfo.err->msg_code = kErrColormap;
        cinfo.err->msg_parm.i[0] = cinfo.actual_number_of_colors;
        (*cinfo.err->error_exit)(reinterpret_cast<j_common_ptr>(&cinfo));
      }
      const bool three = cinfo.out_color_components == 3;
      for (int i = 0; i < cinfo.actual_number_of_colors; ++i) {
        table[4 * i] = three ? cinfo.colormap[2][i] : cinfo.colormap[0][i];
        table[4 * i + 1] = three ? cinfo.colormap[1][i] : cinfo.colormap[0][i];
        table[4 * i + 2] = cinfo.colormap[0][i];
      }
    }
  }
  // Rows arrive top first; each goes to its DIB row with its pad zeroed.
  const size_t pixelBytes = size_t(width) * (rgb ? 3 : 1);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = d->dib.Row(height - 1 - int32_t(cinfo.output_scanline));
    std::memset(row + pixelBytes, 0, d->dib.stride - pixelBytes);
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) std::memset(row, 0, pixelBytes);
    if (rgb && kSwap)
      for (int32_t x = 0; x < width; ++x) std::swap(row[3 * x], row[3 * x + 2]);
  }
  jpeg_finish_decompress(&cinfo);
  if (unread) {
    const auto* src = reinterpret_cast<const CallbackSource*>(cinfo.src);
    *unread = src->faked ? 0 : uint32_t(src->pub.bytes_in_buffer);
  }
  return d->dib.Finish();
}

extern "C" win::HGLOBAL LoadDibFromJpegFile(const char* fileName) {
  if (!fileName) return {};
  return DecodeJpeg(fileName, nullptr, false, nullptr, nullptr);
}

extern "C" win::HGLOBAL LoadDibFromJpegStream(JpegReadProc read, int32_t quantize, void* data) {
  if (!read) return {};
  return DecodeJpeg(nullptr, read, quantize != 0, data, nullptr);
}

uint32_t JpegStreamRead(void* buffer, uint32_t count, void* data) {
  return BoundedRead(*static_cast<TKxStream*>(data), buffer, count);
}

void TKxDib::ReadJpeg(TKxStream& stream) {
  CheckEmpty();
  if (stream.Status != 0) {
    Status = -1;
    return;
  }
  const bool quantize = ScreenDc().GetDeviceCaps(win::NUMCOLORS) >= 0;
  uint32_t unread = 0;
  const win::HGLOBAL block = DecodeJpeg(nullptr, JpegStreamRead, quantize, &stream, &unread);
  if (!block) {
    Status = -1;
    return;
  }
  stream.Seek(stream.GetPos() - int32_t(unread));
  Adopt(block, true);
}

}  // namespace kxobject
