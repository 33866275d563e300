# Device layer: enumeration against a scripted Direct3D, device creation, gamma and the restore
# path against a recording device; the application's frame step and shutdown over that device;
# the real executable's captured frames.
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
if(TARGET tarnwick3d)
  find_package(PNG REQUIRED)
  tarnwick_add_test(gfx_run_tests SOURCES gfx_run_test.cpp LIBS PNG::PNG)
  add_dependencies(gfx_run_tests tarnwick3d)
endif()
# The overlay and the loading screen on a recording device, with the executable's media linked in.
if(TARGET tw_gfx AND TARGET tw_assets AND COMMAND tarnwick_add_media_resources)
  tarnwick_add_test(gfx_overlay_tests SOURCES gfx_overlay_test.cpp LIBS tw_gfx tw_assets)
  tarnwick_add_media_resources(gfx_overlay_tests)
  tarnwick_link_resources(gfx_overlay_tests)
endif()
