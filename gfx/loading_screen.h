// loading_screen.h — the full-screen loading picture put on both buffers of the flip chain right
// after the device is made, so it stays up while the scene loads.
#pragma once

#include <cstdint>

#include "assets/buffer_pool.h"
#include "gfx/screen_overlay.h"
#include "platform/d3d8/d3d8.h"

// Makes the overlay's screen quad, draws "Notification\Loader.jpg" from the interface archive
// over the whole viewport twice (each followed by a present, flipping `presentParity`), and
// releases the picture again. Without the picture the quad is drawn untextured.
void showLoadingScreen(IDirect3DDevice8* device, ScreenOverlay& overlay, BufferPool& buffers,
                       int32_t& presentParity, const OverlayLog& log);
