# Vertex shaders on the Direct3D stand-in: creation and first-draw cost of the river and grass
# shaders, shader strip draws next to fixed function, the CPU interpreter's rate.
tarnwick_add_benchmark(d3d8_vertex_shader_bench SOURCES d3d8_vertex_shader_bench.cpp LIBS tw_d3d8 tw_d3dx8)
target_compile_definitions(d3d8_vertex_shader_bench PRIVATE TARNWICK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
