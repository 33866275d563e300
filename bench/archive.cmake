# archive benchmark — packer compression against gzip -9, fetchEntry decode speed against unar.
tarnwick_add_benchmark(archive_bench
  SOURCES archive_bench.cpp
  LIBS tw_archive tw_tools)
target_compile_definitions(archive_bench PRIVATE TARNWICK_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata")
