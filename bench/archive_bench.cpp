// archive_bench.cpp — the media archive's figures: compression of our packer against gzip -9
// (etalon.bin and the sample corpus), and decode throughput of fetchEntry against unar on a
// large archive made by the packer.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive_lookup.h"
#include "tools/rar_archive_writer.h"
#include "tools/sample_corpus.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void writeFile(const fs::path& p, const std::vector<uint8_t>& data) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

size_t gzipSize(const fs::path& scratch, const std::vector<uint8_t>& data) {
  writeFile(scratch, data);
  std::string command = "gzip -9 -n -c '" + scratch.string() + "' | wc -c";
  FILE* pipe = popen(command.c_str(), "r");
  size_t size = 0;
  if (pipe) {
    if (std::fscanf(pipe, "%zu", &size) != 1) size = 0;
    pclose(pipe);
  }
  return size;
}

void compressionFigures(const fs::path& dir) {
  std::ifstream in(std::string(TARNWICK_TESTDATA_DIR) + "/rar/etalon.bin", std::ios::binary);
  std::vector<uint8_t> etalon((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (etalon.empty()) {
    std::printf("etalon.bin: not found under %s\n", TARNWICK_TESTDATA_DIR);
  } else {
    RarArchiveWriter writer(ArchiveWriterOptions{});
    writer.addEntry("etalon.bin", etalon.data(), etalon.size());
    size_t ours = writer.entries()[0].packedSize, gz = gzipSize(dir / "scratch", etalon);
    std::printf("etalon.bin      %8zu bytes: packer %6zu, gzip -9 %6zu, ratio packer/gzip %.3f\n", etalon.size(),
                ours, gz, double(ours) / double(gz));
  }

  std::vector<SampleFile> corpus = makeSampleCorpus();
  RarArchiveWriter writer(ArchiveWriterOptions{});
  size_t raw = 0, ours = 0, gz = 0;
  auto start = Clock::now();
  for (const SampleFile& f : corpus) writer.addEntry(f.name, f.data.data(), f.data.size());
  double packTime = seconds(start);
  std::printf("sample corpus, per entry (packer / gzip -9):\n");
  for (size_t i = 0; i < corpus.size(); ++i) {
    size_t g = gzipSize(dir / "scratch", corpus[i].data);
    const PackedEntryInfo& e = writer.entries()[i];
    std::printf("  %-26s %8u -> %8u / %8zu%s\n", corpus[i].name.c_str(), e.unpackedSize, e.packedSize, g,
                e.audioChannels ? "  (multimedia)" : "");
    raw += e.unpackedSize;
    ours += e.packedSize;
    gz += g;
  }
  std::printf("sample corpus   %8zu bytes: packer %6zu (%.1f%%), gzip -9 %6zu (%.1f%%), ratio packer/gzip %.3f\n", raw,
              ours, 100.0 * double(ours) / double(raw), gz, 100.0 * double(gz) / double(raw),
              double(ours) / double(gz));
  std::printf("packing speed   %.1f MB/s\n", double(raw) / 1e6 / packTime);
}

void decodeFigures(const fs::path& dir) {
  // 4 MiB entries, half mixed content and half noisy pixel rows (which compress little), so the
  // archive itself exceeds 30 MB. A lighter parse keeps the packing time reasonable.
  const size_t kEntries = 16, kEntrySize = 4u << 20;
  ArchiveWriterOptions options;
  options.encoder.passes = 1;
  options.encoder.chainDepth = 16;
  options.encoder.tryAudio = false;
  RarArchiveWriter writer(options);
  auto start = Clock::now();
  for (size_t i = 0; i < kEntries; ++i) {
    std::vector<uint8_t> data = makeMixedData(kEntrySize / 2, uint32_t(1000 + i));
    uint32_t noise = uint32_t(2463534242u + i);
    for (size_t k = 0; data.size() < kEntrySize; ++k) {
      noise ^= noise << 13;
      noise ^= noise >> 17;
      noise ^= noise << 5;
      data.push_back(uint8_t((k % 768) / 3 + (noise >> 26)));
    }
    writer.addEntry("Bench/part" + std::to_string(i) + ".bin", data.data(), data.size());
  }
  double packTime = seconds(start);
  const std::vector<uint8_t>& archive = writer.bytes();
  const double unpackedMb = double(kEntries * kEntrySize) / 1e6;
  std::printf("decode archive  %.1f MB packed, %.1f MB unpacked (packed in %.1f s, %.1f MB/s)\n",
              double(archive.size()) / 1e6, unpackedMb, packTime, unpackedMb / packTime);

  MemoryFile file{archive.data(), uint32_t(archive.size()), 0};
  double best = 1e30;
  for (int round = 0; round < 3; ++round) {
    start = Clock::now();
    for (size_t i = 0; i < kEntries; ++i) {
      uint8_t* out = nullptr;
      uint32_t size = 0;
      std::string name = "bench/PART" + std::to_string(i) + ".bin";
      if (fetchEntry(&out, &size, name.c_str(), file, nullptr) != 1) {
        std::printf("decode: %s failed\n", name.c_str());
        return;
      }
      std::free(out);
    }
    best = std::min(best, seconds(start));
  }
  std::printf("fetchEntry      %.3f s, %.0f MB/s (best of 3, CRC checks included)\n", best, unpackedMb / best);

  fs::path path = dir / "bench.rar";
  writeFile(path, archive);
  std::string command = "unar -q -o - '" + path.string() + "' > /dev/null 2>&1";
  double unarBest = 1e30;
  for (int round = 0; round < 2; ++round) {
    start = Clock::now();
    int status = std::system(command.c_str());
    double t = seconds(start);
    if (status != 0) {
      std::printf("unar: failed or missing (status %d)\n", status);
      return;
    }
    unarBest = std::min(unarBest, t);
  }
  std::printf("unar            %.3f s, %.0f MB/s (to /dev/null, best of 2)\n", unarBest, unpackedMb / unarBest);
  std::printf("speed-up        %.2fx faster than unar\n", unarBest / best);
}

}  // namespace

int main() {
  fs::path dir = fs::temp_directory_path() / ("tarnwick-archive-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  compressionFigures(dir);
  decodeFigures(dir);
  fs::remove_all(dir);
  return 0;
}
