// Runs a fuzz target over the files of its corpus folders, one call per file, without the
// fuzzing engine: every input the fuzzer once kept is checked again by every test run. A
// target reports a fault by aborting; the last "replaying" line names the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(argv[i], ec)) {
      if (e.is_regular_file()) inputs.push_back(e.path());
    }
    if (ec) {
      std::fprintf(stderr, "cannot read corpus %s: %s\n", argv[i], ec.message().c_str());
      return 1;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  std::sort(inputs.begin(), inputs.end());
  for (const auto& path : inputs) {
    std::fprintf(stderr, "replaying %s\n", path.c_str());
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // An empty input still gets a valid pointer, as the engine gives one.
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return 0;
}
