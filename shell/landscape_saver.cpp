// landscape_saver.cpp — the landscape screensaver's constants and extra option.
#include "shell/landscape_saver.h"

const char* const useMoreGrassValue = "UseMoreGrass";

void LandscapeSaver::initConstants() {
  overlayColour[0] = overlayColour[1] = overlayColour[2] = 255;
  effectsAllowed = true;
  windowedDebug = false;
  loggingEnabled = false;
  resetExtraSettings();
}

void LandscapeSaver::readExtraSettings() { readSettingsFlag(useMoreGrassValue, useMoreGrass); }
void LandscapeSaver::writeExtraSettings() { writeSettingsFlag(useMoreGrassValue, useMoreGrass); }
void LandscapeSaver::resetExtraSettings() { useMoreGrass = 1; }
