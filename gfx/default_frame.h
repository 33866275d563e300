// default_frame.h — the application's drawing defaults before a scene replaces them: standing
// device state, a fixed view, and a frame that is a blue clear and a present.
#pragma once

#include <functional>

#include "platform/d3d8/d3d8.h"

// Blending SRCALPHA/ONE, alpha test GREATEREQUAL 32, dithering, depth test on, lighting off;
// stage 0 texture × diffuse with linear filters and wrap addressing; a white material
// (power 50); identity world; a perspective projection of 45° over the viewport's aspect.
void setDefaultDeviceState(IDirect3DDevice8* device);
// Left-handed view from (0, 0, −1) towards the origin, y up.
void setDefaultView(IDirect3DDevice8* device);
// Clears target and depth to opaque blue and depth 1, begins the scene, runs `overlay`
// (may be null), ends the scene and presents.
void drawDefaultFrame(IDirect3DDevice8* device, const std::function<void()>& overlay);

constexpr D3DCOLOR defaultClearColour = 0xFF0000FF;
