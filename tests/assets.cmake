# Assets: the buffer pool and the texture manager against the recording device (tests/recording_device.h),
# and one picture loaded through the manager on the real OpenGL device.
tarnwick_add_test(assets_buffer_pool_tests
  SOURCES assets_buffer_pool_test.cpp
  LIBS tw_assets)
find_package(JPEG REQUIRED)
tarnwick_add_test(assets_texture_manager_tests
  SOURCES assets_texture_manager_test.cpp
  LIBS tw_assets JPEG::JPEG)
