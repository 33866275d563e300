// system_info.cpp — GetVersionExA: the program is told it runs on an NT-family system, 5.1.
#include <cstring>

#include "platform/win32/windows.h"

BOOL WINAPI GetVersionExA(OSVERSIONINFOA* info) {
  // As on Windows, the caller states the structure's size first.
  if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) return FALSE;
  info->dwMajorVersion = 5;
  info->dwMinorVersion = 1;
  info->dwBuildNumber = 2600;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  return TRUE;
}
