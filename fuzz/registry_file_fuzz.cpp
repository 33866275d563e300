// registry_file_fuzz.cpp — libFuzzer target for the .reg parser and writer.
//
// Any input must parse without a fault, and whatever it yields must format to a clean file that
// parses back to exactly the same document and formats to the same text again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/win32/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  regfile::ParseResult first = regfile::parse(input);
  std::string text = regfile::format(first.document);
  regfile::ParseResult second = regfile::parse(text);
  if (!second.clean || second.ignoredLines != 0 || !(second.document == first.document)) {
    std::fprintf(stderr, "round trip changed the document:\n%s\n", text.c_str());
    std::abort();
  }
  if (regfile::format(second.document) != text) std::abort();
  return 0;
}
