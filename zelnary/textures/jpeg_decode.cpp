// JPEG through libjpeg-turbo, read from memory scanline by scanline into a picture that grows
// with the rows. Errors leave by longjmp from the error manager, so the frames that call
// setjmp hold only plain C data and delegate the work to helpers; the picture and the
// decompressor are owned by the caller.
#include <cstdio>
// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <bit>
#include <csetjmp>
#include <cstring>

#include "zelnary/textures/decoders.h"
#include "zelnary/textures/growing_rows.h"

namespace znr::textures {
namespace {

// Real progressive files use about ten scans; a file with hundreds only burns time.
constexpr int kMaxScans = 128;
constexpr long kMaxDecoderMemory = 1024l << 20;

struct JpegErrors {
  jpeg_error_mgr manager;  // first, so the library's pointer can be cast back
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void fail(j_common_ptr cinfo, const char* message) {
  auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
  std::snprintf(errors->message, sizeof errors->message, "%s", message);
  std::longjmp(errors->jump, 1);
}

[[noreturn]] void on_error_exit(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  fail(cinfo, text);
}

// Warnings about data that ends early or is corrupt would otherwise be papered over with
// grey blocks; they are errors here.
void on_emit_message(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
      fail(cinfo, "truncated");
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_HUFF_BAD_CODE:
      on_error_exit(cinfo);
    default:
      return;
  }
}

void on_output_message(j_common_ptr) {}

void on_progress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (dinfo->input_scan_number > kMaxScans) fail(cinfo, "too many scans");
}

bool create(j_decompress_ptr cinfo, JpegErrors* errors) {
  if (setjmp(errors->jump)) return false;
  jpeg_create_decompress(cinfo);
  return true;
}

// Every libjpeg call that may fail runs below a setjmp that is still live.
bool read_header(j_decompress_ptr cinfo, JpegErrors* errors, std::span<const uint8_t> bytes) {
  if (setjmp(errors->jump)) return false;
  jpeg_mem_src(cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(cinfo, TRUE);
  return true;
}

// Adobe writes CMYK inverted, which is what nearly every CMYK JPEG in the wild is.
void cmyk_row_to_argb(const JSAMPLE* cmyk, uint32_t* texels, JDIMENSION width) {
  for (JDIMENSION x = 0; x < width; ++x, cmyk += 4) {
    const uint32_t k = cmyk[3];
    texels[x] = argb(0xFF, cmyk[0] * k / 255, cmyk[1] * k / 255, cmyk[2] * k / 255);
  }
}

void decode_rows(j_decompress_ptr cinfo, GrowingRows* picture) {
  const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  if (cmyk) {
    cinfo->out_color_space = JCS_CMYK;
  } else {
    cinfo->out_color_space =
        std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;
  }
  jpeg_start_decompress(cinfo);
  const JDIMENSION width = cinfo->output_width;
  if (width != cinfo->image_width || cinfo->output_height != cinfo->image_height ||
      cinfo->output_components != 4) {
    fail(reinterpret_cast<j_common_ptr>(cinfo), "unexpected output layout");
  }
  JSAMPARRAY cmyk_row = cmyk ? (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo),
                                                           JPOOL_IMAGE, width * 4, 1)
                             : nullptr;
  while (cinfo->output_scanline < cinfo->output_height) {
    uint32_t* row = picture->row(cinfo->output_scanline);
    if (cmyk) {
      jpeg_read_scanlines(cinfo, cmyk_row, 1);
      cmyk_row_to_argb(cmyk_row[0], row, width);
    } else {
      JSAMPROW target = reinterpret_cast<JSAMPROW>(row);
      jpeg_read_scanlines(cinfo, &target, 1);
    }
  }
  // Reads on to the end marker so that a file cut after its pixels is still truncated.
  jpeg_finish_decompress(cinfo);
}

bool read_pixels(j_decompress_ptr cinfo, JpegErrors* errors, GrowingRows* picture) {
  if (setjmp(errors->jump)) return false;
  decode_rows(cinfo, picture);
  return true;
}

struct Decompressor {
  jpeg_decompress_struct cinfo{};
  bool created = false;
  ~Decompressor() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

std::string jpeg_error_text(const JpegErrors& errors) {
  if (std::strcmp(errors.message, "truncated") == 0) return "truncated";
  return std::string("bad JPEG: ") + errors.message;
}

}  // namespace

bool decode_jpeg(std::span<const uint8_t> bytes, Image& out, std::string& error,
                 const TextureBudget& budget) {
  JpegErrors errors{};
  jpeg_progress_mgr progress{};
  progress.progress_monitor = on_progress;
  Decompressor decompressor;
  j_decompress_ptr cinfo = &decompressor.cinfo;
  cinfo->err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = on_error_exit;
  errors.manager.emit_message = on_emit_message;
  errors.manager.output_message = on_output_message;

  if (!create(cinfo, &errors)) {
    error = jpeg_error_text(errors);
    return false;
  }
  decompressor.created = true;
  cinfo->progress = &progress;
  cinfo->mem->max_memory_to_use = kMaxDecoderMemory;
  if (!read_header(cinfo, &errors, bytes)) {
    error = jpeg_error_text(errors);
    return false;
  }
  if (!check_size(cinfo->image_width, cinfo->image_height, budget, error)) return false;
  // Every 8x8 block of the full-resolution component costs at least one bit (its DC code), so
  // a file holds at least a byte per 512 pixels; fewer cannot fill the picture.
  if (uint64_t{cinfo->image_width} * cinfo->image_height > uint64_t{bytes.size()} * 512) {
    error = "truncated";
    return false;
  }
  GrowingRows picture(static_cast<int32_t>(cinfo->image_width),
                      static_cast<int32_t>(cinfo->image_height));
  if (!read_pixels(cinfo, &errors, &picture)) {
    error = jpeg_error_text(errors);
    return false;
  }
  out = picture.finish();
  return true;
}

}  // namespace znr::textures
