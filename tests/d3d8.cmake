# Direct3D 8 stand-in: the picture suite, device life cycle and the Direct3D object, all on the
# real OpenGL device of the offscreen driver.
find_package(PNG REQUIRED)
tarnwick_add_test(d3d8_tests
  SOURCES d3d8_picture_test.cpp d3d8_device_test.cpp d3d8_direct3d_test.cpp
  LIBS tw_d3d8 PNG::PNG)
