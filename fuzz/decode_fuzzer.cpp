// libFuzzer harness for the texture decoders. FUZZ_DECODER picks one decoder directly
// (png, jpeg, bmp, tga); without it the input goes through decode_image's sniffing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "zelnary/textures/decode.h"
#include "zelnary/textures/decoders.h"

namespace {

// Far smaller than a world's budget so that each run stays quick: coverage pulls the fuzzer
// toward pictures that fill the budget, so it sets the cost of a run (here 256 KiB of texels
// at most). The size checks still fire, and a picture this size still grows in strips.
constexpr uint64_t kFuzzPixelBudget = 64u << 10;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  znr::Image image;
  std::string error;
  znr::TextureBudget budget{kFuzzPixelBudget};
#if defined(FUZZ_DECODER_PNG)
  const bool ok = znr::textures::decode_png(bytes, image, error, budget);
#elif defined(FUZZ_DECODER_JPEG)
  const bool ok = znr::textures::decode_jpeg(bytes, image, error, budget);
#elif defined(FUZZ_DECODER_BMP)
  const bool ok = znr::textures::decode_bmp(bytes, image, error, budget);
#elif defined(FUZZ_DECODER_TGA)
  const bool ok = znr::textures::decode_tga(bytes, image, error, budget);
#else
  const bool ok = znr::decode_image(bytes, image, error, budget);
#endif
  // The contract every decoder keeps: a picture of the stated size, or a message.
  if (ok) {
    const auto expected = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    if (image.width <= 0 || image.height <= 0 || image.texels.size() != expected) std::abort();
  } else if (error.empty() || !image.texels.empty()) {
    std::abort();
  }
  return 0;
}
