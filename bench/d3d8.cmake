# Direct3D stand-in: cost per draw call against plain OpenGL, and the frame rate of blended layers.
tarnwick_add_benchmark(d3d8_bench SOURCES d3d8_bench.cpp LIBS tw_d3d8 PkgConfig::SDL2 PkgConfig::EPOXY)
