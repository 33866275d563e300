# Assets: the buffer pool and the texture manager against the recording device (tests/recording_device.h).
tarnwick_add_test(assets_buffer_pool_tests
  SOURCES assets_buffer_pool_test.cpp
  LIBS tw_assets)
