// d3dx8.h — our D3DX 8 utility library: picture loading into textures, math, the vs.1.1 assembler.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/d3dx8/d3dx8_math.h"
#include "platform/d3dx8/d3dx8_texture.h"
#include "platform/d3dx8/d3dx8_shader.h"
