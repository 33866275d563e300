// archive_tool.cpp — tarnwick3d-archive: list, print, extract and pack RAR 2.0 media archives.
//
// Reading goes through the program's own path (a MemoryFile over the file's bytes, fetchEntry),
// so what this tool extracts is exactly what the screensaver would see.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_blocks.h"
#include "archive/archive_listing.h"
#include "archive/archive_lookup.h"
#include "tools/rar_archive_writer.h"

namespace fs = std::filesystem;

namespace {

const char* const kUsage =
    "usage: tarnwick3d-archive COMMAND ...\n"
    "\n"
    "Reads and writes the RAR 2.0 archives the screensaver carries (stored or compressed entries,\n"
    "1 MiB dictionary). Entry names match regardless of letter case and of '\\' versus '/'.\n"
    "\n"
    "commands:\n"
    "  list ARCHIVE             name, unpacked and packed size, method and CRC-32 of every entry\n"
    "  cat ARCHIVE NAME         write the entry's bytes to standard output; exit 1 when the entry\n"
    "                           is missing or fails its CRC-32 check\n"
    "  extract ARCHIVE DIR      write every entry under DIR ('\\' in names becomes '/'); exit 1\n"
    "                           and name the entries that failed\n"
    "  pack [OPTIONS] ARCHIVE FILE...\n"
    "                           write a new archive with one entry per FILE, in the order given.\n"
    "                           The entry name is the path as given, '/' stored as '\\'. An\n"
    "                           argument NAME=PATH stores the file at PATH under the entry NAME\n"
    "                           (split at the first '='; use this form for paths holding '=').\n"
    "    --stored               store the entries (method 0x30) instead of compressing (0x33)\n"
    "    --solid                compress all entries as one solid stream\n"
    "    --names-from LIST      also take entries from LIST, one FILE or NAME=PATH per line\n"
    "                           (empty lines and lines starting with '#' are skipped)\n"
    "    --verbose              print each entry's sizes and coding\n"
    "  --help                   this text\n"
    "\n"
    "exit status: 0 success, 1 an entry or archive failed, 2 bad command line\n";

int usageError(const std::string& message) {
  std::fprintf(stderr, "tarnwick3d-archive: %s\n(run 'tarnwick3d-archive --help' for usage)\n", message.c_str());
  return 2;
}

std::optional<std::vector<uint8_t>> readFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot open: " + std::strerror(errno);
    return std::nullopt;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = path + ": read error";
    return std::nullopt;
  }
  return bytes;
}

bool writeFile(const fs::path& path, const uint8_t* data, size_t size, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  if (out) out.close();
  if (!out) {
    error = path.string() + ": cannot write: " + std::strerror(errno);
    return false;
  }
  return true;
}

struct LoadedArchive {
  std::vector<uint8_t> bytes;
  MemoryFile file;
};

bool loadArchive(const std::string& path, LoadedArchive& archive) {
  std::string error;
  auto bytes = readFile(path, error);
  if (!bytes) {
    std::fprintf(stderr, "tarnwick3d-archive: %s\n", error.c_str());
    return false;
  }
  if (bytes->size() > 0xFFFFFFFFu) {
    std::fprintf(stderr, "tarnwick3d-archive: %s: larger than 4 GiB\n", path.c_str());
    return false;
  }
  archive.bytes = std::move(*bytes);
  archive.file.bytes = archive.bytes.data();
  archive.file.length = uint32_t(archive.bytes.size());
  archive.file.cursor = 0;
  return true;
}

// Lists the entries; reports a walk that ended early. False when it is no archive at all.
bool listEntries(const std::string& path, LoadedArchive& archive, std::vector<ArchiveEntryInfo>& entries,
                 bool& complete) {
  bool solid = false;
  ListingEnd end = listArchiveEntries(archive.file, entries, solid);
  complete = end == ListingEnd::complete;
  switch (end) {
    case ListingEnd::complete: break;
    case ListingEnd::notArchive:
      std::fprintf(stderr, "tarnwick3d-archive: %s: not a RAR archive\n", path.c_str());
      return false;
    case ListingEnd::subBlock:
      std::fprintf(stderr, "tarnwick3d-archive: %s: a sub-block stops the archive here\n", path.c_str());
      break;
    case ListingEnd::badBlock:
      std::fprintf(stderr, "tarnwick3d-archive: %s: damaged block header after %zu entries\n", path.c_str(),
                   entries.size());
      break;
    case ListingEnd::truncated:
      std::fprintf(stderr, "tarnwick3d-archive: %s: archive is cut short\n", path.c_str());
      break;
  }
  return true;
}

int commandList(const std::string& path) {
  LoadedArchive archive;
  if (!loadArchive(path, archive)) return 1;
  std::vector<ArchiveEntryInfo> entries;
  bool complete = false;
  if (!listEntries(path, archive, entries, complete)) return 1;
  std::printf("%10s %10s %-6s %-8s %s\n", "size", "packed", "method", "crc32", "name");
  for (const ArchiveEntryInfo& e : entries) {
    std::printf("%10u %10u 0x%02X%s %08X %s%s\n", e.unpackedSize, e.packedSize, e.method,
                (e.flags & 0x10) ? "+s" : "  ", e.fileCrc, e.name.c_str(), e.directory() ? "  (directory)" : "");
  }
  return complete ? 0 : 1;
}

int commandCat(const std::string& path, const std::string& name) {
  LoadedArchive archive;
  if (!loadArchive(path, archive)) return 1;
  uint8_t* data = nullptr;
  uint32_t size = 0;
  if (fetchEntry(&data, &size, name.c_str(), archive.file, nullptr) != 1) {
    std::vector<ArchiveEntryInfo> entries;
    bool solid = false;
    listArchiveEntries(archive.file, entries, solid);
    bool present = false;
    for (const ArchiveEntryInfo& e : entries) present |= entryNamesMatch(e.name.c_str(), name.c_str());
    std::fprintf(stderr, "tarnwick3d-archive: %s: %s\n", name.c_str(),
                 present ? "cannot be unpacked (damaged data or CRC-32 mismatch)" : "no such entry");
    return 1;
  }
  size_t written = size ? std::fwrite(data, 1, size, stdout) : 0;
  std::free(data);
  if (written != size || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "tarnwick3d-archive: writing to standard output failed\n");
    return 1;
  }
  return 0;
}

// The entry name as a relative path under the extraction directory, or nothing when it would
// leave that directory.
std::optional<fs::path> safeRelativePath(const std::string& name) {
  fs::path result;
  std::string part;
  std::string converted = name + "\\";
  for (char c : converted) {
    if (c == '\\' || c == '/') {
      if (part == "..") return std::nullopt;
      if (!part.empty() && part != ".") result /= part;
      part.clear();
    } else if (c == '\0') {
      return std::nullopt;
    } else {
      part += c;
    }
  }
  if (result.empty() || (!name.empty() && (name[0] == '/' || name[0] == '\\'))) return std::nullopt;
  return result;
}

int commandExtract(const std::string& path, const std::string& dir) {
  LoadedArchive archive;
  if (!loadArchive(path, archive)) return 1;
  std::vector<ArchiveEntryInfo> entries;
  bool complete = false;
  if (!listEntries(path, archive, entries, complete)) return 1;
  std::vector<std::string> failed;
  for (const ArchiveEntryInfo& e : entries) {
    auto relative = safeRelativePath(e.name);
    if (!relative) {
      std::fprintf(stderr, "tarnwick3d-archive: %s: unsafe name, skipped\n", e.name.c_str());
      failed.push_back(e.name);
      continue;
    }
    fs::path target = fs::path(dir) / *relative;
    std::error_code ec;
    if (e.directory()) {
      fs::create_directories(target, ec);
      if (ec) {
        std::fprintf(stderr, "tarnwick3d-archive: %s: %s\n", target.c_str(), ec.message().c_str());
        failed.push_back(e.name);
      }
      continue;
    }
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (fetchEntry(&data, &size, e.name.c_str(), archive.file, nullptr) != 1) {
      std::fprintf(stderr, "tarnwick3d-archive: %s: cannot be unpacked (damaged data or CRC-32 mismatch)\n",
                   e.name.c_str());
      failed.push_back(e.name);
      continue;
    }
    fs::create_directories(target.parent_path(), ec);
    std::string error;
    if (ec || !writeFile(target, data, size, error)) {
      std::fprintf(stderr, "tarnwick3d-archive: %s\n", ec ? (target.string() + ": " + ec.message()).c_str() : error.c_str());
      failed.push_back(e.name);
    }
    std::free(data);
  }
  if (!failed.empty()) {
    std::fprintf(stderr, "tarnwick3d-archive: %zu of %zu entries failed:\n", failed.size(), entries.size());
    for (const std::string& n : failed) std::fprintf(stderr, "  %s\n", n.c_str());
  }
  return failed.empty() && complete ? 0 : 1;
}

struct PackItem {
  std::string name;
  std::string path;
};

PackItem parsePackItem(const std::string& arg) {
  size_t eq = arg.find('=');
  if (eq == std::string::npos || eq == 0) return {arg, arg};
  return {arg.substr(0, eq), arg.substr(eq + 1)};
}

int commandPack(const std::vector<std::string>& args) {
  ArchiveWriterOptions options;
  bool verbose = false;
  std::vector<PackItem> items;
  std::string archivePath;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--stored") {
      options.stored = true;
    } else if (a == "--solid") {
      options.solid = true;
    } else if (a == "--verbose") {
      verbose = true;
    } else if (a == "--names-from") {
      if (i + 1 >= args.size()) return usageError("--names-from needs a file");
      std::ifstream list(args[++i]);
      if (!list) return usageError(args[i] + ": cannot open");
      std::string line;
      while (std::getline(list, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        items.push_back(parsePackItem(line));
      }
    } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
      return usageError("unknown option " + a);
    } else if (archivePath.empty()) {
      archivePath = a;
    } else {
      items.push_back(parsePackItem(a));
    }
  }
  if (archivePath.empty()) return usageError("pack needs an archive name");
  if (items.empty()) return usageError("pack needs at least one file");
  if (options.stored && options.solid) return usageError("--stored and --solid exclude each other");

  RarArchiveWriter writer(options);
  for (const PackItem& item : items) {
    std::string error;
    auto data = readFile(item.path, error);
    if (!data) {
      std::fprintf(stderr, "tarnwick3d-archive: %s\n", error.c_str());
      return 1;
    }
    if (!writer.addEntry(item.name, data->data(), data->size())) {
      std::fprintf(stderr, "tarnwick3d-archive: %s: entry name must be 1 to 259 characters, data below 4 GiB\n",
                   item.name.c_str());
      return 1;
    }
    if (verbose) {
      const PackedEntryInfo& e = writer.entries().back();
      std::printf("%10u -> %10u  %s  %s\n", e.unpackedSize, e.packedSize,
                  options.stored ? "stored" : e.audioChannels ? "audio" : "lz", e.name.c_str());
    }
  }
  // Write beside the target and rename, so a failed run never leaves half an archive.
  std::string temp = archivePath + ".tmp";
  std::string error;
  if (!writeFile(temp, writer.bytes().data(), writer.bytes().size(), error)) {
    std::fprintf(stderr, "tarnwick3d-archive: %s\n", error.c_str());
    std::remove(temp.c_str());
    return 1;
  }
  std::error_code ec;
  fs::rename(temp, archivePath, ec);
  if (ec) {
    std::fprintf(stderr, "tarnwick3d-archive: %s: %s\n", archivePath.c_str(), ec.message().c_str());
    std::remove(temp.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usageError("no command");
  const std::string command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (command == "list") {
    if (args.size() != 2) return usageError("list takes one archive");
    return commandList(args[1]);
  }
  if (command == "cat") {
    if (args.size() != 3) return usageError("cat takes an archive and an entry name");
    return commandCat(args[1], args[2]);
  }
  if (command == "extract") {
    if (args.size() != 3) return usageError("extract takes an archive and a directory");
    return commandExtract(args[1], args[2]);
  }
  if (command == "pack") return commandPack(std::vector<std::string>(args.begin() + 1, args.end()));
  return usageError("unknown command '" + command + "'");
}
