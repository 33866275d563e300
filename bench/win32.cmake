# Win32 stand-in: the message loop's cost per frame-loop turn and timer punctuality.
tarnwick_add_benchmark(win32_messages_bench SOURCES win32_messages_bench.cpp LIBS tw_platform_win32)
