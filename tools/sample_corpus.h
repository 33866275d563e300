// sample_corpus.h — a varied, repeatable set of files for checking and measuring the packer:
// text, structured binary, generated pictures, raw samples, repetitive data, a file larger than
// the 1 MiB window, and the degenerate empty and one-byte files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SampleFile {
  std::string name;  // entry name, '/' separated
  std::vector<uint8_t> data;
};

// The same bytes on every call and every machine.
std::vector<SampleFile> makeSampleCorpus();

// About `size` bytes of mixed content (the corpus kinds repeated with variations), for the
// decode benchmark's large archive.
std::vector<uint8_t> makeMixedData(size_t size, uint32_t seed);
