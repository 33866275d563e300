// sample_corpus.cpp — generators of the packer's sample corpus.
#include "tools/sample_corpus.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/little_endian.h"

namespace {

// xorshift32: small, fast and the same everywhere.
struct Random {
  uint32_t s;
  explicit Random(uint32_t seed) : s(seed ? seed : 1) {}
  uint32_t next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  uint32_t below(uint32_t n) { return next() % n; }
};

std::vector<uint8_t> makeText(size_t size, uint32_t seed) {
  static const char* const words[] = {
      "the", "river", "runs", "under", "old", "stone", "bridge", "past", "a", "house", "where", "smoke",
      "rises", "from", "chimney", "and", "birds", "fly", "over", "meadows", "of", "tall", "grass", "while",
      "dragonflies", "hover", "near", "water", "sun", "sets", "behind", "hills", "ferns", "trees", "rocks",
      "wind", "moves", "slowly", "evening", "light", "warm", "golden", "shadows", "grow", "long", "on"};
  Random r(seed);
  std::string s;
  while (s.size() < size) {
    int n = 4 + int(r.below(12));
    for (int i = 0; i < n; ++i) {
      std::string w = words[r.below(sizeof(words) / sizeof(words[0]))];
      if (i == 0) w[0] = char(w[0] - 32);
      s += w;
      s += i + 1 < n ? " " : (r.below(4) ? ". " : ".\n");
    }
  }
  s.resize(size);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// Records like a model file: a header, vertex positions, normals, colours and indices.
std::vector<uint8_t> makeMesh(int vertices, uint32_t seed) {
  Random r(seed);
  std::vector<uint8_t> b = {'E', 'M', 'D', 0};
  put32(b, uint32_t(vertices));
  for (int i = 0; i < vertices; ++i) {
    float t = float(i) * 0.01f;
    float v[6] = {std::cos(t) * 100.0f, float(i % 64) * 2.5f, std::sin(t) * 100.0f,
                  std::cos(t), 0.0f, std::sin(t)};
    for (float f : v) {
      uint32_t u;
      std::memcpy(&u, &f, 4);
      put32(b, u);
    }
    put32(b, 0xFF808080u + (r.below(4) << 8));
  }
  for (int i = 0; i + 2 < vertices; ++i) {
    put16(b, uint32_t(i));
    put16(b, uint32_t(i + 1));
    put16(b, uint32_t(i + 2));
  }
  return b;
}

// A 24-bit TGA landscape picture: sky gradient over noisy hills.
std::vector<uint8_t> makeTga(int w, int h, uint32_t seed) {
  Random r(seed);
  std::vector<uint8_t> b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  put16(b, uint32_t(w));
  put16(b, uint32_t(h));
  b.push_back(24);
  b.push_back(0x20);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float ridge = float(h) * (0.55f + 0.1f * std::sin(float(x) * 0.05f) + 0.05f * std::sin(float(x) * 0.13f));
      int noise = int(r.below(9)) - 4;
      int red, green, blue;
      if (float(y) < ridge) {
        blue = 230 - y / 4 + noise;
        green = 160 - y / 6 + noise;
        red = 110 + y / 5 + noise;
      } else {
        green = 120 + int(30 * std::sin(float(x * y) * 0.001f)) + noise * 3;
        red = 60 + noise * 2;
        blue = 40 + noise;
      }
      b.push_back(uint8_t(std::clamp(blue, 0, 255)));
      b.push_back(uint8_t(std::clamp(green, 0, 255)));
      b.push_back(uint8_t(std::clamp(red, 0, 255)));
    }
  }
  return b;
}

// An 8-bit grey BMP of smooth noise (a height map).
std::vector<uint8_t> makeBmp(int w, int h, uint32_t seed) {
  Random r(seed);
  const uint32_t palette = 256 * 4, offset = 14 + 40 + palette, imageSize = uint32_t(w * h);
  std::vector<uint8_t> b = {'B', 'M'};
  put32(b, offset + imageSize);
  put32(b, 0);
  put32(b, offset);
  put32(b, 40);
  put32(b, uint32_t(w));
  put32(b, uint32_t(h));
  put16(b, 1);
  put16(b, 8);
  put32(b, 0);
  put32(b, imageSize);
  put32(b, 2835);
  put32(b, 2835);
  put32(b, 256);
  put32(b, 0);
  for (uint32_t i = 0; i < 256; ++i) put32(b, i * 0x010101u);
  std::vector<int> row(size_t(w), 128);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int left = x ? row[size_t(x - 1)] : row[0];
      row[size_t(x)] = std::clamp((row[size_t(x)] + left) / 2 + int(r.below(7)) - 3, 0, 255);
      b.push_back(uint8_t(row[size_t(x)]));
    }
  }
  return b;
}

// 16-bit stereo samples: two tones with a little noise.
std::vector<uint8_t> makeSamples(int frames, uint32_t seed) {
  Random r(seed);
  std::vector<uint8_t> b;
  for (int i = 0; i < frames; ++i) {
    int left = int(9000 * std::sin(float(i) * 0.031f)) + int(r.below(101)) - 50;
    int right = int(7000 * std::sin(float(i) * 0.0207f + 1.0f)) + int(r.below(61)) - 30;
    put16(b, uint32_t(left) & 0xFFFF);
    put16(b, uint32_t(right) & 0xFFFF);
  }
  return b;
}

std::vector<uint8_t> makeRepetitive() {
  std::vector<uint8_t> b;
  const char* pattern = "grass5.tga;grass6.tga;";
  for (int i = 0; i < 8000; ++i) b.insert(b.end(), pattern, pattern + std::strlen(pattern));
  b.insert(b.end(), 60000, 0);
  return b;
}

// Over 1 MiB: random stretches and copies from far back, so matches cross the window's wrap.
std::vector<uint8_t> makeLarge(size_t size, uint32_t seed) {
  Random r(seed);
  std::vector<uint8_t> b;
  b.reserve(size);
  while (b.size() < size) {
    uint32_t kind = r.below(10);
    if (kind < 3 || b.size() < 4096) {
      for (int i = 0; i < 48; ++i) b.push_back(uint8_t(r.next() >> 24));
    } else if (kind < 6) {
      std::vector<uint8_t> t = makeText(200 + r.below(800), r.next());
      b.insert(b.end(), t.begin(), t.end());
    } else {
      size_t from = b.size() - 1 - r.below(uint32_t(std::min<size_t>(b.size() - 300, 1000000)));
      size_t len = 4 + r.below(300);
      for (size_t i = 0; i < len; ++i) b.push_back(b[from + i]);
    }
  }
  b.resize(size);
  return b;
}

}  // namespace

std::vector<SampleFile> makeSampleCorpus() {
  std::vector<SampleFile> files;
  files.push_back({"Data/empty.bin", {}});
  files.push_back({"Data/one.bin", {'Z'}});
  files.push_back({"Data/story.txt", makeText(150000, 11)});
  files.push_back({"Models/tree.emd", makeMesh(4000, 12)});
  files.push_back({"Texture/valley.tga", makeTga(256, 192, 13)});
  files.push_back({"Texture/Terra/height.bmp", makeBmp(256, 256, 14)});
  files.push_back({"Sound/ambient.raw", makeSamples(40000, 15)});
  files.push_back({"Data/repeat.bin", makeRepetitive()});
  files.push_back({"Data/large.bin", makeLarge(1200000, 16)});
  return files;
}

std::vector<uint8_t> makeMixedData(size_t size, uint32_t seed) {
  Random r(seed);
  std::vector<uint8_t> b;
  b.reserve(size + 300000);
  while (b.size() < size) {
    uint32_t s = r.next();
    switch (r.below(5)) {
      case 0: {
        auto t = makeText(100000 + r.below(100000), s);
        b.insert(b.end(), t.begin(), t.end());
        break;
      }
      case 1: {
        auto t = makeMesh(2000 + int(r.below(3000)), s);
        b.insert(b.end(), t.begin(), t.end());
        break;
      }
      case 2: {
        auto t = makeTga(256, 128, s);
        b.insert(b.end(), t.begin(), t.end());
        break;
      }
      case 3: {
        auto t = makeBmp(256, 256, s);
        b.insert(b.end(), t.begin(), t.end());
        break;
      }
      default: {
        auto t = makeLarge(150000, s);
        b.insert(b.end(), t.begin(), t.end());
      }
    }
  }
  b.resize(size);
  return b;
}
