# Shell: command line, settings, run log, saver windows, and runs of the real executable.
tarnwick_add_test(shell_tests
  SOURCES shell_command_line_test.cpp shell_settings_test.cpp shell_run_log_test.cpp
          shell_saver_window_test.cpp
  LIBS tw_shell)
if(TARGET tarnwick3d)
  tarnwick_add_test(shell_run_tests SOURCES shell_run_test.cpp LIBS tw_platform_win32)
  add_dependencies(shell_run_tests tarnwick3d)
endif()
