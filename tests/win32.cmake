# Win32 stand-in core: messages and timers, windows, FindWindowA across processes, monitors,
# the process entry's options and clock.
tarnwick_add_test(win32_messages_test SOURCES win32_messages_test.cpp LIBS tw_platform_win32)
tarnwick_add_test(win32_windows_test SOURCES win32_windows_test.cpp LIBS tw_platform_win32)
tarnwick_add_test(win32_find_window_test SOURCES win32_find_window_test.cpp LIBS tw_platform_win32)
tarnwick_add_test(win32_monitors_test SOURCES win32_monitors_test.cpp LIBS tw_platform_win32)
tarnwick_add_test(win32_entry_test SOURCES win32_entry_test.cpp LIBS tw_platform_win32)
tarnwick_add_test(win32_x11_test SOURCES win32_x11_test.cpp LIBS tw_platform_win32)
