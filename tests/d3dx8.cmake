# D3DX stand-in: picture decoders, DXT codec and resampling (no device); textures from pictures
# on the real OpenGL device of the offscreen driver; the math functions.
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
tarnwick_add_test(d3dx8_picture_tests
  SOURCES d3dx8_pictures_test.cpp d3dx8_texture_test.cpp d3dx8_math_test.cpp
  LIBS tw_d3dx8 JPEG::JPEG PNG::PNG)
