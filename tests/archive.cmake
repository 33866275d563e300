# archive tests — the entry lookup, the RAR 2.0 decoder, our packer against our reader and unar,
# and the archive tool.
tarnwick_add_test(archive_lookup_test
  SOURCES archive_lookup_test.cpp
  LIBS tw_archive tw_tools tw_platform_win32)
tarnwick_add_test(archive_decoder_test
  SOURCES archive_decoder_test.cpp
  LIBS tw_archive tw_tools)
tarnwick_add_test(archive_packer_test
  SOURCES archive_packer_test.cpp
  LIBS tw_archive tw_tools
  PROPERTIES TIMEOUT 600)
tarnwick_add_test(archive_tool_test
  SOURCES archive_tool_test.cpp)
target_compile_definitions(archive_tool_test PRIVATE TARNWICK_ARCHIVE_TOOL="$<TARGET_FILE:tarnwick3d-archive>")
add_dependencies(archive_tool_test tarnwick3d-archive)
tarnwick_add_test(archive_crc_test
  SOURCES archive_crc_test.cpp
  LIBS tw_archive)
