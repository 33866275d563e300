# Media pipeline: the content generator's output, the packed archives and the resources linked
# into a program (the same list the executable gets).
if(TARGET tarnwick3d-content AND COMMAND tarnwick_add_media_resources)
  find_package(JPEG REQUIRED)

  tarnwick_add_test(media_generator_test SOURCES media_generator_test.cpp media_test_support.cpp
    LIBS JPEG::JPEG)
  target_compile_definitions(media_generator_test PRIVATE
    TARNWICK_CONTENT_TOOL="$<TARGET_FILE:tarnwick3d-content>"
    TARNWICK_FONT_DIR="${TARNWICK_FONT_DIR}")
  add_dependencies(media_generator_test tarnwick3d-content)

  tarnwick_add_test(media_resources_test SOURCES media_resources_test.cpp media_test_support.cpp
    LIBS tw_archive tw_platform_win32 JPEG::JPEG)
  target_compile_definitions(media_resources_test PRIVATE
    TARNWICK_ARCHIVE_DIR="${TARNWICK_ARCHIVE_DIR}")
  tarnwick_add_media_resources(media_resources_test)
  tarnwick_link_resources(media_resources_test)

  # The icon on a real X server: its own program, since it runs SDL's x11 driver.
  tarnwick_add_test(media_window_icon_test SOURCES media_window_icon_test.cpp LIBS tw_platform_win32)
  tarnwick_add_media_resources(media_window_icon_test)
  tarnwick_link_resources(media_window_icon_test)
endif()
