// d3d8_shader_tokens.h — the token encoding of vs.1.1 vertex shaders and of vertex declarations,
// shared by the assembler (which writes it) and the device (which translates and runs it).
#pragma once

#include "platform/win32/windows.h"

// ---- shader function tokens -------------------------------------------------------------------
// The first token is the version (D3DVS_VERSION(1, 1) = 0xFFFE0101), the last D3DVS_END().
// Each instruction is an opcode token followed by its destination and source parameter tokens.
enum D3DSHADER_INSTRUCTION_OPCODE_TYPE : DWORD {
  D3DSIO_NOP = 0,
  D3DSIO_MOV = 1,
  D3DSIO_ADD = 2,
  D3DSIO_SUB = 3,
  D3DSIO_MAD = 4,
  D3DSIO_MUL = 5,
  D3DSIO_RCP = 6,
  D3DSIO_RSQ = 7,
  D3DSIO_DP3 = 8,
  D3DSIO_DP4 = 9,
  D3DSIO_MIN = 10,
  D3DSIO_MAX = 11,
  D3DSIO_SLT = 12,
  D3DSIO_SGE = 13,
  D3DSIO_EXP = 14,
  D3DSIO_LOG = 15,
  D3DSIO_LIT = 16,
  D3DSIO_DST = 17,
  D3DSIO_LRP = 18,
  D3DSIO_FRC = 19,
  D3DSIO_M4x4 = 20,
  D3DSIO_M4x3 = 21,
  D3DSIO_M3x4 = 22,
  D3DSIO_M3x3 = 23,
  D3DSIO_M3x2 = 24,
  D3DSIO_EXPP = 78,
  D3DSIO_LOGP = 79,
  D3DSIO_DEF = 81,
  D3DSIO_COMMENT = 0xFFFE,
  D3DSIO_END = 0xFFFF,
};
#define D3DSI_OPCODE_MASK 0x0000FFFF
#define D3DSI_COMMENTSIZE_SHIFT 16
#define D3DSI_COMMENTSIZE_MASK 0x7FFF0000
#define D3DSHADER_COMMENT(dwordCount) \
  ((((DWORD)(dwordCount) << D3DSI_COMMENTSIZE_SHIFT) & D3DSI_COMMENTSIZE_MASK) | D3DSIO_COMMENT)
#define D3DVS_END() 0x0000FFFF

// Parameter tokens: bit 31 always set; register number in the low bits, register type in 28–30.
#define D3DSP_REGNUM_MASK 0x00001FFF
#define D3DSP_REGTYPE_SHIFT 28
#define D3DSP_REGTYPE_MASK 0x70000000
enum D3DSHADER_PARAM_REGISTER_TYPE : DWORD {
  D3DSPR_TEMP = 0,        // r0…r11
  D3DSPR_INPUT = 1,       // v0…v15
  D3DSPR_CONST = 2,       // c0…c95
  D3DSPR_ADDR = 3,        // a0
  D3DSPR_RASTOUT = 4,     // oPos, oFog, oPts (D3DSRO_*)
  D3DSPR_ATTROUT = 5,     // oD0, oD1
  D3DSPR_TEXCRDOUT = 6,   // oT0…oT7
};
enum D3DVS_RASTOUT_OFFSETS : DWORD { D3DSRO_POSITION = 0, D3DSRO_FOG = 1, D3DSRO_POINT_SIZE = 2 };

// Destination: write mask in bits 16–19 (x, y, z, w), result modifier in 20–23.
#define D3DSP_WRITEMASK_0 0x00010000
#define D3DSP_WRITEMASK_1 0x00020000
#define D3DSP_WRITEMASK_2 0x00040000
#define D3DSP_WRITEMASK_3 0x00080000
#define D3DSP_WRITEMASK_ALL 0x000F0000
#define D3DSP_DSTMOD_SHIFT 20
#define D3DSP_DSTMOD_MASK 0x00F00000

// Source: swizzle in bits 16–23 (two bits per output component, x first), modifier in 24–27,
// relative addressing (c[a0.x + n]) in bit 13.
#define D3DVS_SWIZZLE_SHIFT 16
#define D3DVS_SWIZZLE_MASK 0x00FF0000
#define D3DVS_NOSWIZZLE (0 << 16 | 1 << 18 | 2 << 20 | 3 << 22)   // .xyzw
#define D3DSP_SRCMOD_SHIFT 24
#define D3DSP_SRCMOD_MASK 0x0F000000
#define D3DSPSM_NONE (0 << D3DSP_SRCMOD_SHIFT)
#define D3DSPSM_NEG (1 << D3DSP_SRCMOD_SHIFT)
#define D3DVS_ADDRESSMODE_SHIFT 13
#define D3DVS_ADDRMODE_ABSOLUTE (0 << D3DVS_ADDRESSMODE_SHIFT)
#define D3DVS_ADDRMODE_RELATIVE (1 << D3DVS_ADDRESSMODE_SHIFT)

// ---- vertex declarations ----------------------------------------------------------------------
// A declaration is a token list: D3DVSD_STREAM(n), then one D3DVSD_REG per input register fed
// from that stream in vertex order (D3DVSD_SKIP for unused dwords), optional D3DVSD_CONST blocks
// that preload constants, and D3DVSD_END().
enum D3DVSD_TOKENTYPE : DWORD {
  D3DVSD_TOKEN_NOP = 0,
  D3DVSD_TOKEN_STREAM = 1,
  D3DVSD_TOKEN_STREAMDATA = 2,
  D3DVSD_TOKEN_TESSELLATOR = 3,
  D3DVSD_TOKEN_CONSTMEM = 4,
  D3DVSD_TOKEN_EXT = 5,
  D3DVSD_TOKEN_END = 7,
};
#define D3DVSD_TOKENTYPESHIFT 29
#define D3DVSD_TOKENTYPEMASK (7u << D3DVSD_TOKENTYPESHIFT)
#define D3DVSD_STREAMNUMBERMASK 0x0000000F
#define D3DVSD_VERTEXREGMASK 0x0000001F
#define D3DVSD_DATATYPESHIFT 16
#define D3DVSD_DATATYPEMASK (0xF << D3DVSD_DATATYPESHIFT)
#define D3DVSD_DATALOADTYPESHIFT 28
#define D3DVSD_DATALOADTYPEMASK (1u << D3DVSD_DATALOADTYPESHIFT)
#define D3DVSD_SKIPCOUNTSHIFT 16
#define D3DVSD_SKIPCOUNTMASK (0xF << D3DVSD_SKIPCOUNTSHIFT)
#define D3DVSD_CONSTCOUNTSHIFT 25
#define D3DVSD_CONSTCOUNTMASK (0xF << D3DVSD_CONSTCOUNTSHIFT)
#define D3DVSD_CONSTADDRESSMASK 0x0000007F

#define D3DVSD_STREAM(n) ((DWORD)((D3DVSD_TOKEN_STREAM << D3DVSD_TOKENTYPESHIFT) | (n)))
#define D3DVSD_REG(reg, type) \
  ((DWORD)((D3DVSD_TOKEN_STREAMDATA << D3DVSD_TOKENTYPESHIFT) | ((type) << D3DVSD_DATATYPESHIFT) | (reg)))
#define D3DVSD_SKIP(dwordCount)                                                                 \
  ((DWORD)((D3DVSD_TOKEN_STREAMDATA << D3DVSD_TOKENTYPESHIFT) | (1u << D3DVSD_DATALOADTYPESHIFT) | \
           ((dwordCount) << D3DVSD_SKIPCOUNTSHIFT)))
#define D3DVSD_CONST(firstRegister, count) \
  ((DWORD)((D3DVSD_TOKEN_CONSTMEM << D3DVSD_TOKENTYPESHIFT) | ((count) << D3DVSD_CONSTCOUNTSHIFT) | (firstRegister)))
#define D3DVSD_NOP() 0x00000000
#define D3DVSD_END() 0xFFFFFFFF

// Input data types of D3DVSD_REG.
#define D3DVSDT_FLOAT1 0x00
#define D3DVSDT_FLOAT2 0x01
#define D3DVSDT_FLOAT3 0x02
#define D3DVSDT_FLOAT4 0x03
#define D3DVSDT_D3DCOLOR 0x04   // B, G, R, A bytes read as (R, G, B, A) in 0…1
#define D3DVSDT_UBYTE4 0x05
#define D3DVSDT_SHORT2 0x06
#define D3DVSDT_SHORT4 0x07

// Conventional input registers.
#define D3DVSDE_POSITION 0
#define D3DVSDE_BLENDWEIGHT 1
#define D3DVSDE_BLENDINDICES 2
#define D3DVSDE_NORMAL 3
#define D3DVSDE_PSIZE 4
#define D3DVSDE_DIFFUSE 5
#define D3DVSDE_SPECULAR 6
#define D3DVSDE_TEXCOORD0 7
#define D3DVSDE_TEXCOORD1 8
#define D3DVSDE_TEXCOORD2 9
#define D3DVSDE_TEXCOORD3 10
#define D3DVSDE_TEXCOORD4 11
#define D3DVSDE_TEXCOORD5 12
#define D3DVSDE_TEXCOORD6 13
#define D3DVSDE_TEXCOORD7 14
