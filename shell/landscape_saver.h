// landscape_saver.h — the landscape screensaver: the application with its own options.
#pragma once

#include <cstdint>

#include "shell/saver_app.h"

class LandscapeSaver : public SaverApp {
 public:
  LandscapeSaver() = default;

  void initConstants() override;
  void readExtraSettings() override;
  void writeExtraSettings() override;
  void resetExtraSettings() override;

  uint8_t useMoreGrass = 1;   // "UseMoreGrass": grass density 1.1 when on, 0.75 when off
};

// The registry value of the derived class's option.
extern const char* const useMoreGrassValue;
