// instance_registry.cpp — FindWindowA across processes of this user.
//
// Each top-level window of ours has an entry file in $XDG_RUNTIME_DIR/tarnwick3d/ (fallback
// /tmp/tarnwick3d-<uid>/, which must be a directory of ours with mode 0700) named
// "<pid>-<handle>.win" and holding "<class>\0<title>\0". The owning process keeps the file locked
// (flock) while the window lives. An entry whose lock can be taken belongs to a process that died
// without cleaning up: FindWindowA removes it and does not count it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32_internal.h"

namespace tw32 {
namespace {

constexpr const char* kSuffix = ".win";

// Entries of this process, removed at exit even when the program does not destroy its windows.
struct OwnEntry {
  std::string path;
  pid_t pid;
};
std::vector<OwnEntry> gOwnEntries;

void removeOwnEntriesAtExit() {
  for (const OwnEntry& e : gOwnEntries)
    if (e.pid == getpid()) unlink(e.path.c_str());
}

bool privateDirectory(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (lstat(path.c_str(), &st) != 0) return false;
  }
  return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

// The entry directory, created when missing; empty when no safe one exists.
std::string entryDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string dir;
  if (runtime && runtime[0] == '/') {
    dir = std::string(runtime) + "/tarnwick3d";
  } else {
    dir = "/tmp/tarnwick3d-" + std::to_string(getuid());
  }
  if (privateDirectory(dir)) return dir;
  static bool reported = false;
  if (!reported) std::fprintf(stderr, "tarnwick3d: no private runtime directory at %s\n", dir.c_str());
  reported = true;
  return {};
}

bool writeAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
  return strcasecmp(a.c_str(), b) == 0;
}

bool matches(const std::string& cls, const std::string& title, LPCSTR className, LPCSTR windowName) {
  if (className && !equalsIgnoringCase(cls, className)) return false;
  if (windowName && title != windowName) return false;
  return true;
}

// Reads a live entry's class and title; removes a stale one. False when the entry does not count.
bool readLiveEntry(const std::string& path, std::string* cls, std::string* title) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
    // Nobody holds it: its process is gone. Take it exclusively before removing it, so an entry
    // being read by another process at the same moment is removed once.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) unlink(path.c_str());
    close(fd);
    return false;
  }
  char buffer[1024];
  ssize_t n = read(fd, buffer, sizeof buffer);
  close(fd);
  if (n <= 0) return false;
  std::string text(buffer, static_cast<size_t>(n));
  size_t split = text.find('\0');
  if (split == std::string::npos) return false;
  *cls = text.substr(0, split);
  size_t end = text.find('\0', split + 1);
  *title = text.substr(split + 1, end == std::string::npos ? std::string::npos : end - split - 1);
  return true;
}

}  // namespace

void registerTopLevel(Window& window) {
  std::string dir = entryDirectory();
  if (dir.empty()) return;
  char name[64];
  std::snprintf(name, sizeof name, "%ld-%lx", static_cast<long>(getpid()),
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(window.handle)));
  // Written under a hidden name and renamed once locked, so a reader never sees an entry that is
  // not yet locked (it would take it for stale).
  std::string temp = dir + "/." + name + ".tmp";
  std::string path = dir + "/" + name + kSuffix;
  int fd = open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  std::string data = window.className + '\0' + window.title + '\0';
  if (flock(fd, LOCK_EX | LOCK_NB) != 0 || !writeAll(fd, data) || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    close(fd);
    return;
  }
  window.instanceFd = fd;
  window.instancePath = path;
  if (gOwnEntries.empty()) std::atexit(removeOwnEntriesAtExit);
  gOwnEntries.push_back({path, getpid()});
}

void unregisterTopLevel(Window& window) {
  if (window.instanceFd < 0) return;
  unlink(window.instancePath.c_str());
  close(window.instanceFd);
  std::erase_if(gOwnEntries, [&](const OwnEntry& e) { return e.path == window.instancePath; });
  window.instanceFd = -1;
  window.instancePath.clear();
}

}  // namespace tw32

using namespace tw32;

// A window of another process is reported by a handle that is not one of ours (0x58000000 plus
// the process id); callers only test it for null.
HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
  if (className && IS_INTRESOURCE(className)) return nullptr;   // atoms are per process
  for (HWND h : allWindows()) {
    Window* w = findWindow(h);
    if (w && !w->parent && !w->foreignParent && !w->destroying && matches(w->className, w->title, className, windowName))
      return h;
  }
  std::string dir = entryDirectory();
  if (dir.empty()) return nullptr;
  DIR* d = opendir(dir.c_str());
  if (!d) return nullptr;
  HWND found = nullptr;
  std::string self = std::to_string(getpid()) + "-";
  while (dirent* entry = readdir(d)) {
    std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || name.size() <= std::strlen(kSuffix) ||
        name.compare(name.size() - std::strlen(kSuffix), std::string::npos, kSuffix) != 0)
      continue;
    if (name.rfind(self, 0) == 0) continue;   // our own: the table above is the truth
    std::string cls, title;
    if (!readLiveEntry(dir + "/" + name, &cls, &title)) continue;
    if (matches(cls, title, className, windowName) && !found) {
      long pid = std::strtol(name.c_str(), nullptr, 10);
      found = reinterpret_cast<HWND>(uintptr_t(0x58000000) + (static_cast<uintptr_t>(pid) & 0x00FFFFFF));
    }
  }
  closedir(d);
  return found;
}
