// landscape_saver.cpp — the landscape screensaver's constants and extra option.
#include "shell/landscape_saver.h"

const char* const useMoreGrassValue = "UseMoreGrass";

void LandscapeSaver::initConstants() {
  overlay.colour[0] = overlay.colour[1] = overlay.colour[2] = 255;
  overlay.layout = landscapeOverlayLayout;
  effectsAllowed = true;
  windowedDebug = false;
  loggingEnabled = false;
  resetExtraSettings();
}

void LandscapeSaver::readExtraSettings() { readSettingsFlag(useMoreGrassValue, useMoreGrass); }
void LandscapeSaver::writeExtraSettings() { writeSettingsFlag(useMoreGrassValue, useMoreGrass); }
void LandscapeSaver::resetExtraSettings() { useMoreGrass = 1; }
