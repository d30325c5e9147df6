// Writes the reader test samples and the hostile files of the reader tests as seed files:
// fuzz/corpus/<reader>/<name>.<reader> and fuzz/corpus/<reader>/hostile_<name>.<reader>. The
// hostile ones keep each fault found so far in the corpus, so that a regression shows as a
// finding (tools/fuzz.sh runs with a memory and a time limit per input).
// Build by hand and run from the repository root:
//   g++ -std=c++20 -Itests -Ifuzz fuzz/make_reader_corpus.cpp -o /tmp/make_reader_corpus
#include <filesystem>
#include <fstream>
#include <string>

#include "graphics/image_samples.h"
#include "hostile_files.h"

namespace {

void WriteSeed(const std::string& kind, const std::string& name, const zq::test::Bytes& bytes) {
  const std::filesystem::path dir = std::filesystem::path("fuzz/corpus") / kind;
  std::filesystem::create_directories(dir);
  std::ofstream out(dir / (name + "." + kind), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace

int main() {
  for (const zq::test::SampleFile& sample : zq::test::SampleFiles())
    WriteSeed(sample.kind, sample.name, sample.bytes);
  // The small reproducers only: the edge-of-limit files are large and add nothing to fuzz from.
  for (const zq::test::HostileFile& file : zq::test::HostileFiles())
    if (file.log != nullptr && file.bytes.size() <= 4096)
      WriteSeed(file.kind, "hostile_" + file.name, file.bytes);
  return 0;
}
