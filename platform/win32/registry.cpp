// registry.cpp — HKEY_CURRENT_USER on one .reg text file: key handles, queries and safe writes.
//
// The file is $XDG_CONFIG_HOME/tarnwick3d/registry.reg (else ~/.config/...). Opening a key reads
// the file fresh and keeps a snapshot of that key's values in the handle. Values this process
// sets are kept as pending changes until a flush (RegFlushKey, or RegCloseKey of a handle that
// set something); the flush re-reads the file under a lock, applies only the pending changes,
// and replaces the file atomically, so keys and values other programs wrote are kept. Reading
// never writes. A file that does not parse cleanly is copied to registry.reg.bad before it is
// replaced; a file that cannot be read at all is never replaced.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>

#include "platform/win32/registry_file.h"
#include "platform/win32/windows.h"

namespace {

constexpr const char* kRootName = "HKEY_CURRENT_USER";
constexpr size_t kMaxComponentBytes = 255;

struct KeyHandle {
  std::string path;                     // full path, the spelling the key was opened with
  REGSAM access = 0;
  bool dirty = false;                   // set a value that is not yet written
  std::vector<regfile::Value> values;   // the key's values as of opening, plus our own sets
};

std::mutex gMutex;
std::unordered_set<KeyHandle*> gHandles;
regfile::Document gPending;   // keys this process created and values it set, not yet written

// ---- where the file lives ----------------------------------------------------------------

std::string configHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;   // a relative path is ignored (XDG base directory rules)
  const char* home = std::getenv("HOME");
  if (home && home[0]) return std::string(home) + "/.config";
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0])
    return std::string(pw->pw_dir) + "/.config";
  return {};
}

std::string registryDirectory() {
  std::string base = configHome();
  return base.empty() ? std::string() : base + "/tarnwick3d";
}

std::string registryPath() {
  std::string dir = registryDirectory();
  return dir.empty() ? std::string() : dir + "/registry.reg";
}

// mkdir -p with mode 0700 for every directory it creates.
bool makeDirectories(const std::string& dir) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !makeDirectories(dir.substr(0, slash)))
    return false;
  return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

// ---- reading -------------------------------------------------------------------------------

struct LoadedFile {
  bool exists = false;     // something is at the path
  bool readable = false;   // ... and it is a regular file we could read
  regfile::ParseResult parsed;
};

LoadedFile loadFile(const std::string& path) {
  LoadedFile file;
  if (path.empty()) return file;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    file.exists = errno != ENOENT && errno != ENOTDIR;
    return file;
  }
  file.exists = true;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return file;
  }
  std::string text;
  char buf[65536];
  bool failed = false;
  while (text.size() <= regfile::kMaxFileBytes) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  if (failed) return file;
  file.readable = true;
  file.parsed = regfile::parse(text);   // an oversized text parses as empty and unclean
  return file;
}

// ---- writing -------------------------------------------------------------------------------

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Writes a temporary file next to `path`, syncs it and renames it over `path`. The content is
// either `text` or, when `copyFrom` is given, a copy of that file.
bool replaceFile(const std::string& path, int dirFd, const std::string& text,
                 const char* copyFrom, mode_t mode) {
  std::string tmp = path + ".XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0;
  if (ok && copyFrom) {
    int src = open(copyFrom, O_RDONLY | O_CLOEXEC);
    ok = src >= 0;
    char buf[65536];
    while (ok) {
      ssize_t n = read(src, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      ok = writeAll(fd, buf, static_cast<size_t>(n));
    }
    if (src >= 0) close(src);
  } else if (ok) {
    ok = writeAll(fd, text.data(), text.size());
  }
  ok = ok && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(tmp.c_str());
    return false;
  }
  fsync(dirFd);
  return true;
}

// Temporary files ("registry.reg.XXXXXX", "registry.reg.bad.XXXXXX") exist only while a
// writer holds the directory lock, so any found under the lock were left by a crash.
void removeStaleTemporaries(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (const dirent* e = readdir(d)) {
    std::string_view name(e->d_name);
    for (std::string_view prefix : {"registry.reg.bad.", "registry.reg."}) {
      if (name.size() == prefix.size() + 6 && name.substr(0, prefix.size()) == prefix) {
        unlinkat(dirfd(d), e->d_name, 0);
        break;
      }
    }
  }
  closedir(d);
}

// Applies every pending change to the file. Called with gMutex held.
LSTATUS flushPending() {
  if (gPending.keys.empty()) return ERROR_SUCCESS;
  std::string dir = registryDirectory();
  if (dir.empty() || !makeDirectories(dir)) return ERROR_ACCESS_DENIED;
  int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return ERROR_ACCESS_DENIED;
  // Other copies of the program (one per monitor) may flush at the same time.
  while (flock(dirFd, LOCK_EX) != 0 && errno == EINTR) {
  }

  removeStaleTemporaries(dir);
  std::string path = dir + "/registry.reg";
  LoadedFile file = loadFile(path);
  LSTATUS status = ERROR_SUCCESS;
  mode_t mode = 0600;
  struct stat st;
  if (file.exists && stat(path.c_str(), &st) == 0) mode = st.st_mode & 0777;
  if (file.exists && !file.readable) {
    status = ERROR_ACCESS_DENIED;   // replacing what we cannot read would lose it
  } else if (file.exists && !file.parsed.clean &&
             !replaceFile(path + ".bad", dirFd, {}, path.c_str(), mode)) {
    status = ERROR_ACCESS_DENIED;   // no backup, no replacement
  } else {
    regfile::Document document = std::move(file.parsed.document);
    for (const regfile::Key& change : gPending.keys) {
      regfile::Key& key = regfile::addKey(document, change.path);
      for (const regfile::Value& v : change.values) regfile::setValue(key.values, v);
    }
    std::string text = regfile::format(document);
    if (text.size() > regfile::kMaxFileBytes) {
      status = ERROR_OUTOFMEMORY;   // a file this large would not be read back
    } else if (replaceFile(path, dirFd, text, nullptr, mode)) {
      gPending.keys.clear();
      for (KeyHandle* h : gHandles) h->dirty = false;
    } else {
      status = ERROR_ACCESS_DENIED;
    }
  }
  flock(dirFd, LOCK_UN);
  close(dirFd);
  return status;
}

// ---- handles -------------------------------------------------------------------------------

KeyHandle* liveHandle(HKEY key) {
  auto* h = reinterpret_cast<KeyHandle*>(key);
  return gHandles.count(h) ? h : nullptr;
}

// The full path of `subKey` under `key`; false when the parent or the subkey is unusable.
LSTATUS resolvePath(HKEY key, LPCSTR subKey, std::string& path) {
  if (key == HKEY_CURRENT_USER) {
    path = kRootName;
  } else if (KeyHandle* parent = liveHandle(key)) {
    path = parent->path;
  } else if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT) {
    return ERROR_ACCESS_DENIED;   // only the current user's hive is kept
  } else {
    return ERROR_INVALID_HANDLE;
  }
  if (!subKey || !subKey[0]) return ERROR_SUCCESS;
  std::string_view sub(subKey);
  size_t start = 0;
  while (start <= sub.size()) {
    size_t end = sub.find('\\', start);
    if (end == std::string_view::npos) end = sub.size();
    if (end == start || end - start > kMaxComponentBytes) return ERROR_INVALID_PARAMETER;
    start = end + 1;
  }
  path += '\\';
  path += sub;
  return regfile::isValidKeyPath(path) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

LSTATUS openKey(HKEY parent, LPCSTR subKey, REGSAM access, bool create, HKEY* result,
                LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  std::lock_guard lock(gMutex);
  std::string path;
  if (LSTATUS status = resolvePath(parent, subKey, path); status != ERROR_SUCCESS) return status;

  LoadedFile file = loadFile(registryPath());
  const regfile::Document& onDisk = file.parsed.document;
  bool exists = path == kRootName || regfile::keyExists(onDisk, path) ||
                regfile::keyExists(gPending, path);
  if (!exists && !create) return ERROR_FILE_NOT_FOUND;
  // A new key is written with the next flush; creating it alone never touches the file.
  if (!exists) regfile::addKey(gPending, path);
  if (disposition) *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;

  auto* handle = new KeyHandle;
  handle->path = path;
  handle->access = access;
  if (const regfile::Key* k = regfile::findKey(onDisk, path)) handle->values = k->values;
  if (const regfile::Key* k = regfile::findKey(gPending, path))
    for (const regfile::Value& v : k->values) regfile::setValue(handle->values, v);
  gHandles.insert(handle);
  *result = reinterpret_cast<HKEY>(handle);
  return ERROR_SUCCESS;
}

}  // namespace

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM access,
                               SECURITY_ATTRIBUTES*, HKEY* result, LPDWORD disposition) {
  return openKey(key, subKey, access, true, result, disposition);
}

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, HKEY* result) {
  return openKey(key, subKey, access, false, result, nullptr);
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                                LPDWORD dataSize) {
  std::lock_guard lock(gMutex);
  KeyHandle* h = liveHandle(key);
  if (!h) return ERROR_INVALID_HANDLE;
  if (!(h->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (data && !dataSize) return ERROR_INVALID_PARAMETER;
  const regfile::Value* v = regfile::findValue(h->values, valueName ? valueName : "");
  if (!v) return ERROR_FILE_NOT_FOUND;
  if (type) *type = v->type;
  if (!dataSize) return ERROR_SUCCESS;
  DWORD size = static_cast<DWORD>(v->data.size());
  if (data && *dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;   // the caller's buffer is left as it was
  }
  if (data && size) std::memcpy(data, v->data.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD dataSize) {
  std::lock_guard lock(gMutex);
  KeyHandle* h = liveHandle(key);
  if (!h) return ERROR_INVALID_HANDLE;
  if (!(h->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::string_view name = valueName ? valueName : "";
  if (!regfile::isValidValueName(name) || dataSize > regfile::kMaxValueBytes ||
      (!data && dataSize > 0))
    return ERROR_INVALID_PARAMETER;

  regfile::Value value{std::string(name), type, {}};
  if (dataSize) value.data.assign(data, data + dataSize);
  regfile::setValue(regfile::addKey(gPending, h->path).values, value);
  // Every open handle on this key sees the new value at once, as on Windows.
  for (KeyHandle* other : gHandles) {
    if (regfile::equalsIgnoreCase(other->path, h->path)) regfile::setValue(other->values, value);
  }
  h->dirty = true;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegFlushKey(HKEY key) {
  std::lock_guard lock(gMutex);
  if (key != HKEY_CURRENT_USER && !liveHandle(key)) return ERROR_INVALID_HANDLE;
  return flushPending();
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  std::lock_guard lock(gMutex);
  if (key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  KeyHandle* h = liveHandle(key);
  if (!h) return ERROR_INVALID_HANDLE;
  // A failed write keeps the changes pending for a later flush; the handle goes either way.
  if (h->dirty) flushPending();
  gHandles.erase(h);
  delete h;
  return ERROR_SUCCESS;
}
