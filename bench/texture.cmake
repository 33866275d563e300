# Textures: a 1024 × 1024 JPEG into a mip-mapped texture through the texture manager, next to
# libjpeg-turbo decoding it alone.
if(TARGET tw_assets)
  find_package(JPEG REQUIRED)
  tarnwick_add_benchmark(texture_load_bench SOURCES texture_load_bench.cpp LIBS tw_assets tw_d3dx8 JPEG::JPEG)
endif()
