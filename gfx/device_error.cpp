// device_error.cpp — the message table of the device layer's errors.
#include "gfx/device_error.h"

const char* deviceErrorMessage(HRESULT code) {
  switch (code) {
    case deviceErrorNoDirect3D:
      return "Could not initialize Direct3D. You may\nwant to check that the latest version of\n"
             "DirectX is correctly installed on your\nsystem.";
    case deviceErrorNoCompatibleDevice:
      return "Could not find any compatible Direct3D\ndevices.";
    case deviceErrorNoWindowedMode:
      return "This program cannot run in a desktop\nwindow with the current display settings.\n"
             "Please change your desktop settings to a\n16- or 32-bit display mode and re-run this\n"
             "program.";
    case deviceErrorNoHardwareDevice:
      return "No hardware-accelerated Direct3D devices\nwere found.";
    case deviceErrorMissingFunction:
      return "This program requires functionality that is\nnot available on your Direct3D hardware\n"
             "accelerator.";
    case deviceErrorNoWindowRendering:
      return "Your Direct3D hardware accelerator cannot\nrender into a window.";
    case deviceErrorNoWindowRenderingHere:
      return "Your Direct3D hardware accelerator cannot\nrender into a window with the current\n"
             "desktop display settings.";
    case deviceErrorMissingFunctionHere:
      return "This program requires functionality that is\nnot available on your Direct3D hardware\n"
             "accelerator with the current desktop display\nsettings.";
    case deviceErrorReferencesLeft:
      return "A D3D object has a non-zero reference\ncount (meaning things were not properly\n"
             "cleaned up.";
    case deviceErrorNoMedia:
      return "Could not load required media.";
    case deviceErrorResetFailed:
      return "Could not reset the Direct3D device.";
    case E_OUTOFMEMORY:
      return "Not enough memory.";
    case D3DERR_OUTOFVIDEOMEMORY:
      return "Not enough video memory.";
    default:
      return "Generic application error.";
  }
}
