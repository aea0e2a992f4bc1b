// Replays a fuzz corpus through a harness once, without libFuzzer: each file under the given
// folders is handed to LLVMFuzzerTestOneInput. A harness that finds a broken contract aborts,
// which fails the run; an input that takes longer than the limit fails it too, since inputs
// that once hung or crawled are kept in the corpora.
// Usage: fuzz_replay_NAME SECONDS_PER_INPUT FOLDER...
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SECONDS_PER_INPUT FOLDER...\n", argv[0]);
    return 2;
  }
  const double limit = std::atof(argv[1]);
  size_t inputs = 0, slow = 0;
  for (int i = 2; i < argc; ++i) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
      const auto start = std::chrono::steady_clock::now();
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      if (took.count() > limit) {
        std::fprintf(stderr, "%s: %.2f s\n", entry.path().c_str(), took.count());
        ++slow;
      }
      ++inputs;
    }
  }
  std::printf("%zu inputs, %zu slower than %g s\n", inputs, slow, limit);
  return inputs > 0 && slow == 0 ? 0 : 1;
}
