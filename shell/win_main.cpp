// win_main.cpp — the program's entry: the one application object, start-up and dispatch.
#include "shell/landscape_saver.h"

namespace {
LandscapeSaver saver;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  saver.initialize(instance);
  saver.run();
  return 0;
}
