# Vertex shaders on the Direct3D stand-in: token checks, the CPU interpreter against the GLSL
# translation on the real device of the offscreen driver, the program's river and grass shaders as
# the assembler makes them, and shader-drawn pictures.
tarnwick_add_test(d3d8_vertex_shader_tests
  SOURCES d3d8_vertex_shader_test.cpp
  LIBS tw_d3d8 tw_d3dx8)
