// device_error.h — the device layer's error codes and the messages the user is shown for them.
#pragma once

#include "platform/d3d8/d3d8.h"

// Codes of the device layer (the table also answers E_OUTOFMEMORY and D3DERR_OUTOFVIDEOMEMORY).
constexpr HRESULT deviceErrorNoDirect3D = static_cast<HRESULT>(0x82000001u);
constexpr HRESULT deviceErrorNoCompatibleDevice = static_cast<HRESULT>(0x82000003u);
constexpr HRESULT deviceErrorNoWindowedMode = static_cast<HRESULT>(0x82000004u);
constexpr HRESULT deviceErrorNoHardwareDevice = static_cast<HRESULT>(0x82000005u);
constexpr HRESULT deviceErrorMissingFunction = static_cast<HRESULT>(0x82000006u);
constexpr HRESULT deviceErrorNoWindowRendering = static_cast<HRESULT>(0x82000007u);
constexpr HRESULT deviceErrorNoWindowRenderingHere = static_cast<HRESULT>(0x82000008u);
constexpr HRESULT deviceErrorMissingFunctionHere = static_cast<HRESULT>(0x82000009u);
constexpr HRESULT deviceErrorReferencesLeft = static_cast<HRESULT>(0x8200000Au);
constexpr HRESULT deviceErrorNoMedia = static_cast<HRESULT>(0x8200000Bu);
constexpr HRESULT deviceErrorResetFailed = static_cast<HRESULT>(0x8200000Cu);

// The text shown for a code; "Generic application error." for any code not in the table.
const char* deviceErrorMessage(HRESULT code);
