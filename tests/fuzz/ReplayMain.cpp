// Driver for fuzz harnesses in builds without libFuzzer: replays every file
// of the corpus folders given on the command line, then a fixed series of
// pseudo-random inputs (the same in every run), through the harness's
// LLVMFuzzerTestOneInput. A crash or sanitizer report fails the test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (!std::filesystem::is_directory(argv[i], ec)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++replayed;
    }
  }
  std::mt19937 rng(20261209);
  std::vector<uint8_t> input;
  constexpr int kRandomInputs = 2000;
  for (int n = 0; n < kRandomInputs; ++n) {
    input.resize(rng() % 512);
    for (auto& b : input) {
      // Mostly printable text with line ends, some raw bytes.
      const uint32_t r = rng();
      b = (r & 7) == 0 ? static_cast<uint8_t>(r >> 8) : static_cast<uint8_t>(" \r\n=,.#!?0123456789ABCDEFabcdef"[(r >> 8) % 31]);
    }
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("replayed %zu corpus files and %d generated inputs\n", replayed, kRandomInputs);
  return 0;
}
