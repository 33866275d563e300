# Win32 stand-in: the registry on its .reg file, GetVersionExA, and resources linked into a program.
tarnwick_add_test(win32_registry_test SOURCES win32_registry_test.cpp LIBS tw_platform_win32)
