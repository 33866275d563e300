# Device layer: enumeration against a scripted Direct3D, device creation, gamma and the restore
# path against a recording device; the application's frame step and shutdown over that device.
if(TARGET tw_gfx)
  tarnwick_add_test(gfx_tests
    SOURCES gfx_enumeration_test.cpp gfx_device_test.cpp
    LIBS tw_gfx)
endif()
if(TARGET tw_shell)
  tarnwick_add_test(gfx_frame_step_tests
    SOURCES gfx_frame_step_test.cpp
    LIBS tw_shell)
endif()
