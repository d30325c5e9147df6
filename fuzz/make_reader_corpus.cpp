// Writes the reader test samples as seed files: fuzz/corpus/<reader>/<name>.
// Build by hand: g++ -std=c++20 -Itests fuzz/make_reader_corpus.cpp -o /tmp/make_reader_corpus
// and run from the repository root.
#include <filesystem>
#include <fstream>

#include "graphics/image_samples.h"

int main() {
  for (const zq::test::SampleFile& sample : zq::test::SampleFiles()) {
    const std::filesystem::path dir = std::filesystem::path("fuzz/corpus") / sample.kind;
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / (sample.name + "." + sample.kind), std::ios::binary);
    out.write(reinterpret_cast<const char*>(sample.bytes.data()),
              std::streamsize(sample.bytes.size()));
  }
  return 0;
}
