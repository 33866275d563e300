# Win32 stand-in: the registry on its .reg file, GetVersionExA, and resources linked into a program.
tarnwick_add_test(win32_registry_test SOURCES win32_registry_test.cpp LIBS tw_platform_win32)
tarnwick_add_test(win32_resources_test SOURCES win32_resources_test.cpp LIBS tw_platform_win32)

# Two fixture files embedded through the same functions the program's executable uses.
if(COMMAND tarnwick_link_resources)
  tarnwick_add_test(win32_embed_test SOURCES win32_embed_test.cpp LIBS tw_platform_win32)
  tarnwick_add_resource(TYPE MediaData ID 452 FILE fixtures/embed_text.txt LIST win32_embed_test)
  tarnwick_add_resource(TYPE "#2" ID 432 FILE fixtures/embed_odd.txt LIST win32_embed_test)
  tarnwick_link_resources(win32_embed_test)
endif()
