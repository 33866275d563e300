# D3DX stand-in: the vs.1.1 assembler (tokens, rules, error lines, the sample river and grass
# shaders in fixtures/shaders).
tarnwick_add_test(d3dx8_assembler_test
  SOURCES d3dx8_assembler_test.cpp
  LIBS tw_d3dx8)
