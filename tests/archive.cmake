# archive tests — the entry lookup, the RAR 2.0 decoder, our packer against our reader and unar,
# and the archive tool.
tarnwick_add_test(archive_lookup_test
  SOURCES archive_lookup_test.cpp
  LIBS tw_archive tw_tools tw_platform_win32)
tarnwick_add_test(archive_decoder_test
  SOURCES archive_decoder_test.cpp
  LIBS tw_archive tw_tools)
