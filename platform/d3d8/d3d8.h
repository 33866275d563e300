// d3d8.h — our Direct3D 8 stand-in: the interfaces, types and constants the program calls, and no more.
//
// Declarations are our own, written from what the calling code expects, with the platform's names
// and numeric values. Interfaces are abstract classes (so tests can script or record them);
// objects are reference-counted with AddRef / Release. The implementation draws with OpenGL
// (compatibility profile, through libepoxy) in an SDL GL context on the focus window:
// every frame renders into an offscreen framebuffer of the back-buffer size, Present resolves it,
// applies the gamma ramp (never the display hardware's), optionally captures it and shows it.
// The fixed-function pipeline is generated GLSL keyed by state. Direct3D's conventions hold
// throughout: row vectors, left-handed, clip depth 0…1, pixel centres at integer coordinates,
// y down on screen, v = 0 at the top of a picture.
//
// Not provided: anything the program does not call (volume and cube textures, stencil
// operations, user clip planes, palettes, cursors, swap chains, state blocks, pixel shaders, fog).
#pragma once

#include "platform/win32/windows.h"
#include "platform/d3d8/d3d8_shader_tokens.h"

#include <cstdint>

// ---- basic types -------------------------------------------------------------------------
typedef unsigned long ULONG;   // reference counts
typedef DWORD D3DCOLOR;   // 0xAARRGGBB; in memory B, G, R, A bytes
#define D3DCOLOR_ARGB(a, r, g, b) \
  ((D3DCOLOR)((((a) & 0xff) << 24) | (((r) & 0xff) << 16) | (((g) & 0xff) << 8) | ((b) & 0xff)))
#define D3DCOLOR_XRGB(r, g, b) D3DCOLOR_ARGB(0xff, r, g, b)

#define MAKEFOURCC(a, b, c, d) \
  ((DWORD)(BYTE)(a) | ((DWORD)(BYTE)(b) << 8) | ((DWORD)(BYTE)(c) << 16) | ((DWORD)(BYTE)(d) << 24))

struct D3DVECTOR { float x, y, z; };
struct D3DCOLORVALUE { float r, g, b, a; };
struct D3DRECT { LONG x1, y1, x2, y2; };
struct RGNDATA;

// Row-vector matrix: a point p transforms as p × M; translation in the fourth row (_41, _42, _43).
struct D3DMATRIX {
  union {
    struct {
      float _11, _12, _13, _14;
      float _21, _22, _23, _24;
      float _31, _32, _33, _34;
      float _41, _42, _43, _44;
    };
    float m[4][4];
  };
};

// ---- result codes ------------------------------------------------------------------------
#define D3D_OK S_OK
#define MAKE_D3DHRESULT(code) ((HRESULT)(0x88760000u | (DWORD)(code)))
#define D3DERR_WRONGTEXTUREFORMAT MAKE_D3DHRESULT(2072)
#define D3DERR_UNSUPPORTEDCOLOROPERATION MAKE_D3DHRESULT(2073)
#define D3DERR_UNSUPPORTEDALPHAOPERATION MAKE_D3DHRESULT(2076)
#define D3DERR_CONFLICTINGRENDERSTATE MAKE_D3DHRESULT(2081)
#define D3DERR_OUTOFVIDEOMEMORY MAKE_D3DHRESULT(380)     // 0x8876017C
#define D3DERR_NOTFOUND MAKE_D3DHRESULT(2150)
#define D3DERR_MOREDATA MAKE_D3DHRESULT(2151)
#define D3DERR_DEVICELOST MAKE_D3DHRESULT(2152)          // 0x88760868
#define D3DERR_DEVICENOTRESET MAKE_D3DHRESULT(2153)      // 0x88760869
#define D3DERR_NOTAVAILABLE MAKE_D3DHRESULT(2154)        // 0x8876086A
#define D3DERR_INVALIDDEVICE MAKE_D3DHRESULT(2155)
#define D3DERR_INVALIDCALL MAKE_D3DHRESULT(2156)         // 0x8876086C
#define D3DERR_DRIVERINVALIDCALL MAKE_D3DHRESULT(2157)
#ifndef E_OUTOFMEMORY
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#endif

// ---- creation ----------------------------------------------------------------------------
#define D3D_SDK_VERSION 220
#define D3DADAPTER_DEFAULT 0

enum D3DDEVTYPE { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3, D3DDEVTYPE_FORCE_DWORD = 0x7fffffff };

#define D3DCREATE_FPU_PRESERVE 0x00000002L
#define D3DCREATE_MULTITHREADED 0x00000004L
#define D3DCREATE_PUREDEVICE 0x00000010L
#define D3DCREATE_SOFTWARE_VERTEXPROCESSING 0x00000020L
#define D3DCREATE_HARDWARE_VERTEXPROCESSING 0x00000040L
#define D3DCREATE_MIXED_VERTEXPROCESSING 0x00000080L

#define D3DENUM_NO_WHQL_LEVEL 0x00000002L

// ---- formats -----------------------------------------------------------------------------
enum D3DFORMAT : DWORD {
  D3DFMT_UNKNOWN = 0,
  D3DFMT_R8G8B8 = 20,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_X1R5G5B5 = 24,
  D3DFMT_A1R5G5B5 = 25,
  D3DFMT_A4R4G4B4 = 26,
  D3DFMT_DXT1 = MAKEFOURCC('D', 'X', 'T', '1'),
  D3DFMT_DXT2 = MAKEFOURCC('D', 'X', 'T', '2'),
  D3DFMT_DXT3 = MAKEFOURCC('D', 'X', 'T', '3'),
  D3DFMT_DXT4 = MAKEFOURCC('D', 'X', 'T', '4'),
  D3DFMT_DXT5 = MAKEFOURCC('D', 'X', 'T', '5'),
  D3DFMT_D32 = 71,
  D3DFMT_D24S8 = 75,
  D3DFMT_D24X8 = 77,
  D3DFMT_D16 = 80,
  D3DFMT_VERTEXDATA = 100,
  D3DFMT_INDEX16 = 101,
  D3DFMT_INDEX32 = 102,
  D3DFMT_FORCE_DWORD = 0x7fffffff
};

enum D3DRESOURCETYPE {
  D3DRTYPE_SURFACE = 1,
  D3DRTYPE_VOLUME = 2,
  D3DRTYPE_TEXTURE = 3,
  D3DRTYPE_VOLUMETEXTURE = 4,
  D3DRTYPE_CUBETEXTURE = 5,
  D3DRTYPE_VERTEXBUFFER = 6,
  D3DRTYPE_INDEXBUFFER = 7,
  D3DRTYPE_FORCE_DWORD = 0x7fffffff
};

#define D3DUSAGE_RENDERTARGET 0x00000001L
#define D3DUSAGE_DEPTHSTENCIL 0x00000002L
#define D3DUSAGE_WRITEONLY 0x00000008L
#define D3DUSAGE_SOFTWAREPROCESSING 0x00000010L
#define D3DUSAGE_DONOTCLIP 0x00000020L
#define D3DUSAGE_DYNAMIC 0x00000200L

enum D3DPOOL { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2, D3DPOOL_FORCE_DWORD = 0x7fffffff };

// Types 2…16 ask for that many samples per pixel; there is no type 1.
enum D3DMULTISAMPLE_TYPE {
  D3DMULTISAMPLE_NONE = 0,
  D3DMULTISAMPLE_2_SAMPLES = 2,
  D3DMULTISAMPLE_3_SAMPLES = 3,
  D3DMULTISAMPLE_4_SAMPLES = 4,
  D3DMULTISAMPLE_5_SAMPLES = 5,
  D3DMULTISAMPLE_6_SAMPLES = 6,
  D3DMULTISAMPLE_7_SAMPLES = 7,
  D3DMULTISAMPLE_8_SAMPLES = 8,
  D3DMULTISAMPLE_9_SAMPLES = 9,
  D3DMULTISAMPLE_10_SAMPLES = 10,
  D3DMULTISAMPLE_11_SAMPLES = 11,
  D3DMULTISAMPLE_12_SAMPLES = 12,
  D3DMULTISAMPLE_13_SAMPLES = 13,
  D3DMULTISAMPLE_14_SAMPLES = 14,
  D3DMULTISAMPLE_15_SAMPLES = 15,
  D3DMULTISAMPLE_16_SAMPLES = 16,
  D3DMULTISAMPLE_FORCE_DWORD = 0x7fffffff
};

// ---- adapters, modes, capabilities ----------------------------------------------------------
#define MAX_DEVICE_IDENTIFIER_STRING 512
struct D3DADAPTER_IDENTIFIER8 {
  char Driver[MAX_DEVICE_IDENTIFIER_STRING];
  char Description[MAX_DEVICE_IDENTIFIER_STRING];
  int64_t DriverVersion;   // product, version, subversion, build in 16-bit parts, high first
  DWORD VendorId;
  DWORD DeviceId;
  DWORD SubSysId;
  DWORD Revision;
  BYTE DeviceIdentifier[16];
  DWORD WHQLLevel;
};

struct D3DDISPLAYMODE {
  UINT Width;
  UINT Height;
  UINT RefreshRate;   // Hz; 0 when unknown
  D3DFORMAT Format;
};

#define D3DDEVCAPS_EXECUTESYSTEMMEMORY 0x00000010L
#define D3DDEVCAPS_TLVERTEXSYSTEMMEMORY 0x00000040L
#define D3DDEVCAPS_TLVERTEXVIDEOMEMORY 0x00000080L
#define D3DDEVCAPS_TEXTUREVIDEOMEMORY 0x00000200L
#define D3DDEVCAPS_DRAWPRIMTLVERTEX 0x00000400L
#define D3DDEVCAPS_CANRENDERAFTERFLIP 0x00000800L
#define D3DDEVCAPS_DRAWPRIMITIVES2 0x00002000L
#define D3DDEVCAPS_DRAWPRIMITIVES2EX 0x00008000L
#define D3DDEVCAPS_HWTRANSFORMANDLIGHT 0x00010000L
#define D3DDEVCAPS_HWRASTERIZATION 0x00080000L

#define D3DCAPS2_FULLSCREENGAMMA 0x00020000L
#define D3DPTEXTURECAPS_MIPMAP 0x00004000L
#define D3DPTEXTURECAPS_POW2 0x00000002L

#define D3DVS_VERSION(major, minor) (0xFFFE0000 | ((major) << 8) | (minor))
#define D3DPS_VERSION(major, minor) (0xFFFF0000 | ((major) << 8) | (minor))

// The capabilities the program reads, with the fields around them that a device fills.
struct D3DCAPS8 {
  D3DDEVTYPE DeviceType;
  UINT AdapterOrdinal;
  DWORD Caps;
  DWORD Caps2;
  DWORD DevCaps;
  DWORD TextureCaps;
  DWORD MaxTextureWidth;
  DWORD MaxTextureHeight;
  DWORD MaxTextureBlendStages;
  DWORD MaxSimultaneousTextures;
  DWORD MaxActiveLights;
  DWORD MaxPrimitiveCount;
  DWORD MaxVertexIndex;
  DWORD MaxStreams;
  DWORD MaxStreamStride;
  DWORD VertexShaderVersion;   // D3DVS_VERSION(major, minor); 0 when vertex shaders are unavailable
  DWORD MaxVertexShaderConst;
  DWORD PixelShaderVersion;
};

// ---- present parameters ------------------------------------------------------------------
enum D3DSWAPEFFECT {
  D3DSWAPEFFECT_DISCARD = 1,
  D3DSWAPEFFECT_FLIP = 2,
  D3DSWAPEFFECT_COPY = 3,
  D3DSWAPEFFECT_COPY_VSYNC = 4,
  D3DSWAPEFFECT_FORCE_DWORD = 0x7fffffff
};

#define D3DPRESENTFLAG_LOCKABLE_BACKBUFFER 0x00000001
#define D3DPRESENT_RATE_DEFAULT 0x00000000
#define D3DPRESENT_INTERVAL_DEFAULT 0x00000000L
#define D3DPRESENT_INTERVAL_ONE 0x00000001L
#define D3DPRESENT_INTERVAL_IMMEDIATE 0x80000000L

struct D3DPRESENT_PARAMETERS {
  UINT BackBufferWidth;
  UINT BackBufferHeight;
  D3DFORMAT BackBufferFormat;
  UINT BackBufferCount;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  D3DSWAPEFFECT SwapEffect;
  HWND hDeviceWindow;   // null: the focus window given to CreateDevice
  BOOL Windowed;
  BOOL EnableAutoDepthStencil;
  D3DFORMAT AutoDepthStencilFormat;
  DWORD Flags;
  UINT FullScreen_RefreshRateInHz;
  UINT FullScreen_PresentationInterval;
};

// ---- gamma ---------------------------------------------------------------------------------
#define D3DSGR_NO_CALIBRATION 0x00000000L
#define D3DSGR_CALIBRATE 0x00000001L
// Entry i maps the 8-bit level i to a 16-bit output level; identity is 256 × i.
struct D3DGAMMARAMP {
  WORD red[256];
  WORD green[256];
  WORD blue[256];
};

// ---- viewport, material, light -------------------------------------------------------------
struct D3DVIEWPORT8 {
  DWORD X;
  DWORD Y;
  DWORD Width;
  DWORD Height;
  float MinZ;
  float MaxZ;
};

struct D3DMATERIAL8 {
  D3DCOLORVALUE Diffuse;
  D3DCOLORVALUE Ambient;
  D3DCOLORVALUE Specular;
  D3DCOLORVALUE Emissive;
  float Power;
};

enum D3DLIGHTTYPE { D3DLIGHT_POINT = 1, D3DLIGHT_SPOT = 2, D3DLIGHT_DIRECTIONAL = 3, D3DLIGHT_FORCE_DWORD = 0x7fffffff };

struct D3DLIGHT8 {
  D3DLIGHTTYPE Type;
  D3DCOLORVALUE Diffuse;
  D3DCOLORVALUE Specular;
  D3DCOLORVALUE Ambient;
  D3DVECTOR Position;
  D3DVECTOR Direction;   // the way the light travels, in world space
  float Range;
  float Falloff;
  float Attenuation0;
  float Attenuation1;
  float Attenuation2;
  float Theta;
  float Phi;
};

// ---- transforms, primitives, clears, locks -------------------------------------------------
enum D3DTRANSFORMSTATETYPE {
  D3DTS_VIEW = 2,
  D3DTS_PROJECTION = 3,
  D3DTS_TEXTURE0 = 16,
  D3DTS_TEXTURE1 = 17,
  D3DTS_TEXTURE2 = 18,
  D3DTS_TEXTURE3 = 19,
  D3DTS_FORCE_DWORD = 0x7fffffff
};
#define D3DTS_WORLDMATRIX(index) ((D3DTRANSFORMSTATETYPE)((index) + 256))
#define D3DTS_WORLD D3DTS_WORLDMATRIX(0)

enum D3DPRIMITIVETYPE {
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,
  D3DPT_FORCE_DWORD = 0x7fffffff
};

#define D3DCLEAR_TARGET 0x00000001L
#define D3DCLEAR_ZBUFFER 0x00000002L
#define D3DCLEAR_STENCIL 0x00000004L

#define D3DLOCK_READONLY 0x00000010L
#define D3DLOCK_NOSYSLOCK 0x00000800L
#define D3DLOCK_NOOVERWRITE 0x00001000L
#define D3DLOCK_DISCARD 0x00002000L

struct D3DLOCKED_RECT {
  INT Pitch;   // bytes from one row to the next (for block formats: one row of 4 × 4 blocks)
  void* pBits;
};

struct D3DSURFACE_DESC {
  D3DFORMAT Format;
  D3DRESOURCETYPE Type;
  DWORD Usage;
  D3DPOOL Pool;
  UINT Size;
  D3DMULTISAMPLE_TYPE MultiSampleType;
  UINT Width;
  UINT Height;
};

// ---- flexible vertex formats -----------------------------------------------------------------
// Element order in a vertex: position, normal, diffuse, specular, texture coordinate sets
// (two floats each). The stride comes from SetStreamSource, so a vertex may carry padding or a
// wider last set (the 56-byte model vertex of format 0x352).
#define D3DFVF_RESERVED0 0x001
#define D3DFVF_POSITION_MASK 0x00E
#define D3DFVF_XYZ 0x002
#define D3DFVF_XYZRHW 0x004   // pre-transformed: x, y in pixels, z depth 0…1, 1/w
#define D3DFVF_NORMAL 0x010
#define D3DFVF_PSIZE 0x020
#define D3DFVF_DIFFUSE 0x040
#define D3DFVF_SPECULAR 0x080
#define D3DFVF_TEXCOUNT_MASK 0xf00
#define D3DFVF_TEXCOUNT_SHIFT 8
#define D3DFVF_TEX0 0x000
#define D3DFVF_TEX1 0x100
#define D3DFVF_TEX2 0x200
#define D3DFVF_TEX3 0x300
#define D3DFVF_TEX4 0x400

// ---- render states -------------------------------------------------------------------------
enum D3DRENDERSTATETYPE {
  D3DRS_ZENABLE = 7,                  // D3DZBUFFERTYPE; default TRUE with an auto depth buffer
  D3DRS_FILLMODE = 8,                 // D3DFILLMODE; default SOLID
  D3DRS_SHADEMODE = 9,                // D3DSHADEMODE; default GOURAUD
  D3DRS_ZWRITEENABLE = 14,            // default TRUE
  D3DRS_ALPHATESTENABLE = 15,         // default FALSE
  D3DRS_LASTPIXEL = 16,
  D3DRS_SRCBLEND = 19,                // D3DBLEND; default ONE
  D3DRS_DESTBLEND = 20,               // D3DBLEND; default ZERO
  D3DRS_CULLMODE = 22,                // D3DCULL; default CCW
  D3DRS_ZFUNC = 23,                   // D3DCMPFUNC; default LESSEQUAL
  D3DRS_ALPHAREF = 24,                // 0…255; default 0
  D3DRS_ALPHAFUNC = 25,               // D3DCMPFUNC; default ALWAYS
  D3DRS_DITHERENABLE = 26,
  D3DRS_ALPHABLENDENABLE = 27,        // default FALSE
  D3DRS_FOGENABLE = 28,               // fog is never drawn; the state is kept
  D3DRS_SPECULARENABLE = 29,          // default FALSE
  D3DRS_FOGCOLOR = 34,
  D3DRS_FOGTABLEMODE = 35,
  D3DRS_STENCILENABLE = 52,
  D3DRS_TEXTUREFACTOR = 60,           // D3DCOLOR for D3DTA_TFACTOR; default 0xFFFFFFFF
  D3DRS_WRAP0 = 128,
  D3DRS_CLIPPING = 136,
  D3DRS_LIGHTING = 137,               // default TRUE
  D3DRS_AMBIENT = 139,                // D3DCOLOR; default 0
  D3DRS_FOGVERTEXMODE = 140,
  D3DRS_COLORVERTEX = 141,            // default TRUE
  D3DRS_LOCALVIEWER = 142,
  D3DRS_NORMALIZENORMALS = 143,       // default FALSE
  D3DRS_DIFFUSEMATERIALSOURCE = 145,  // D3DMATERIALCOLORSOURCE; default COLOR1
  D3DRS_SPECULARMATERIALSOURCE = 146, // default COLOR2
  D3DRS_AMBIENTMATERIALSOURCE = 147,  // default MATERIAL
  D3DRS_EMISSIVEMATERIALSOURCE = 148, // default MATERIAL
  D3DRS_VERTEXBLEND = 151,
  D3DRS_CLIPPLANEENABLE = 152,
  D3DRS_SOFTWAREVERTEXPROCESSING = 153,
  D3DRS_MULTISAMPLEANTIALIAS = 161,   // default TRUE
  D3DRS_MULTISAMPLEMASK = 162,
  D3DRS_COLORWRITEENABLE = 168,       // default 0x0000000F
  D3DRS_BLENDOP = 171,                // D3DBLENDOP; default ADD
  D3DRS_FORCE_DWORD = 0x7fffffff
};

enum D3DZBUFFERTYPE { D3DZB_FALSE = 0, D3DZB_TRUE = 1, D3DZB_USEW = 2, D3DZB_FORCE_DWORD = 0x7fffffff };
enum D3DFILLMODE { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3, D3DFILL_FORCE_DWORD = 0x7fffffff };
enum D3DSHADEMODE { D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2, D3DSHADE_PHONG = 3, D3DSHADE_FORCE_DWORD = 0x7fffffff };
// D3DCULL_CCW culls triangles whose corners run counter-clockwise on screen (y down).
enum D3DCULL { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3, D3DCULL_FORCE_DWORD = 0x7fffffff };
enum D3DCMPFUNC {
  D3DCMP_NEVER = 1,
  D3DCMP_LESS = 2,
  D3DCMP_EQUAL = 3,
  D3DCMP_LESSEQUAL = 4,
  D3DCMP_GREATER = 5,
  D3DCMP_NOTEQUAL = 6,
  D3DCMP_GREATEREQUAL = 7,
  D3DCMP_ALWAYS = 8,
  D3DCMP_FORCE_DWORD = 0x7fffffff
};
enum D3DBLEND {
  D3DBLEND_ZERO = 1,
  D3DBLEND_ONE = 2,
  D3DBLEND_SRCCOLOR = 3,
  D3DBLEND_INVSRCCOLOR = 4,
  D3DBLEND_SRCALPHA = 5,
  D3DBLEND_INVSRCALPHA = 6,
  D3DBLEND_DESTALPHA = 7,
  D3DBLEND_INVDESTALPHA = 8,
  D3DBLEND_DESTCOLOR = 9,
  D3DBLEND_INVDESTCOLOR = 10,
  D3DBLEND_SRCALPHASAT = 11,
  D3DBLEND_FORCE_DWORD = 0x7fffffff
};
enum D3DBLENDOP {
  D3DBLENDOP_ADD = 1,
  D3DBLENDOP_SUBTRACT = 2,
  D3DBLENDOP_REVSUBTRACT = 3,
  D3DBLENDOP_MIN = 4,
  D3DBLENDOP_MAX = 5,
  D3DBLENDOP_FORCE_DWORD = 0x7fffffff
};
enum D3DMATERIALCOLORSOURCE { D3DMCS_MATERIAL = 0, D3DMCS_COLOR1 = 1, D3DMCS_COLOR2 = 2, D3DMCS_FORCE_DWORD = 0x7fffffff };
enum D3DFOGMODE { D3DFOG_NONE = 0, D3DFOG_EXP = 1, D3DFOG_EXP2 = 2, D3DFOG_LINEAR = 3, D3DFOG_FORCE_DWORD = 0x7fffffff };

// ---- texture stage states ------------------------------------------------------------------
enum D3DTEXTURESTAGESTATETYPE {
  D3DTSS_COLOROP = 1,                 // D3DTEXTUREOP; stage 0 default MODULATE, others DISABLE
  D3DTSS_COLORARG1 = 2,               // D3DTA_*; default TEXTURE
  D3DTSS_COLORARG2 = 3,               // default CURRENT
  D3DTSS_ALPHAOP = 4,                 // stage 0 default SELECTARG1, others DISABLE
  D3DTSS_ALPHAARG1 = 5,               // default TEXTURE
  D3DTSS_ALPHAARG2 = 6,               // default CURRENT
  D3DTSS_TEXCOORDINDEX = 11,          // which coordinate set of the vertex; default the stage number
  D3DTSS_ADDRESSU = 13,               // D3DTEXTUREADDRESS; default WRAP
  D3DTSS_ADDRESSV = 14,
  D3DTSS_BORDERCOLOR = 15,
  D3DTSS_MAGFILTER = 16,              // D3DTEXTUREFILTERTYPE; default POINT
  D3DTSS_MINFILTER = 17,              // default POINT
  D3DTSS_MIPFILTER = 18,              // default NONE
  D3DTSS_MIPMAPLODBIAS = 19,
  D3DTSS_MAXMIPLEVEL = 20,
  D3DTSS_MAXANISOTROPY = 21,
  D3DTSS_TEXTURETRANSFORMFLAGS = 24,  // only D3DTTFF_DISABLE is drawn
  D3DTSS_ADDRESSW = 25,
  D3DTSS_FORCE_DWORD = 0x7fffffff
};

enum D3DTEXTUREOP {
  D3DTOP_DISABLE = 1,
  D3DTOP_SELECTARG1 = 2,
  D3DTOP_SELECTARG2 = 3,
  D3DTOP_MODULATE = 4,
  D3DTOP_MODULATE2X = 5,
  D3DTOP_MODULATE4X = 6,
  D3DTOP_ADD = 7,
  D3DTOP_ADDSIGNED = 8,
  D3DTOP_ADDSIGNED2X = 9,
  D3DTOP_SUBTRACT = 10,
  D3DTOP_ADDSMOOTH = 11,
  D3DTOP_BLENDDIFFUSEALPHA = 12,
  D3DTOP_BLENDTEXTUREALPHA = 13,
  D3DTOP_BLENDFACTORALPHA = 14,
  D3DTOP_BLENDCURRENTALPHA = 16,
  D3DTOP_FORCE_DWORD = 0x7fffffff
};

// Texture-stage arguments: a source in the low bits, modifiers above.
#define D3DTA_SELECTMASK 0x0000000f
#define D3DTA_DIFFUSE 0x00000000
#define D3DTA_CURRENT 0x00000001
#define D3DTA_TEXTURE 0x00000002
#define D3DTA_TFACTOR 0x00000003
#define D3DTA_SPECULAR 0x00000004
#define D3DTA_COMPLEMENT 0x00000010
#define D3DTA_ALPHAREPLICATE 0x00000020

enum D3DTEXTUREADDRESS {
  D3DTADDRESS_WRAP = 1,
  D3DTADDRESS_MIRROR = 2,
  D3DTADDRESS_CLAMP = 3,
  D3DTADDRESS_BORDER = 4,
  D3DTADDRESS_FORCE_DWORD = 0x7fffffff
};
enum D3DTEXTUREFILTERTYPE {
  D3DTEXF_NONE = 0,
  D3DTEXF_POINT = 1,
  D3DTEXF_LINEAR = 2,
  D3DTEXF_ANISOTROPIC = 3,
  D3DTEXF_FORCE_DWORD = 0x7fffffff
};
#define D3DTTFF_DISABLE 0

// ---- interfaces ----------------------------------------------------------------------------
struct IDirect3DDevice8;
struct IDirect3DSurface8;

// Reference counting shared by every object: a new object holds one reference; Release returns
// the count left and frees the object at 0.
struct IUnknown {
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

struct IDirect3DBaseTexture8 : IUnknown {
  virtual DWORD GetLevelCount() = 0;
};

struct IDirect3DTexture8 : IDirect3DBaseTexture8 {
  virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
  // Hands out a new reference to the surface of one mip level (release it).
  virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface) = 0;
  // Rows run top to bottom: row 0 is the top of the picture (v = 0). Not for render targets.
  virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
  virtual HRESULT UnlockRect(UINT level) = 0;
};

struct IDirect3DSurface8 : IUnknown {
  virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
};

struct IDirect3DVertexBuffer8 : IUnknown {
  // offset and size 0, 0 lock the whole buffer.
  virtual HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
};

struct IDirect3DIndexBuffer8 : IUnknown {
  virtual HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) = 0;
  virtual HRESULT Unlock() = 0;
};

struct IDirect3DDevice8 : IUnknown {
  // Frame and device state
  virtual HRESULT TestCooperativeLevel() = 0;
  virtual HRESULT GetDeviceCaps(D3DCAPS8* caps) = 0;
  virtual HRESULT Reset(D3DPRESENT_PARAMETERS* parameters) = 0;
  virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                          const RGNDATA* dirtyRegion) = 0;
  virtual void SetGammaRamp(DWORD flags, const D3DGAMMARAMP* ramp) = 0;
  virtual void GetGammaRamp(D3DGAMMARAMP* ramp) = 0;
  virtual HRESULT BeginScene() = 0;
  virtual HRESULT EndScene() = 0;
  // Clears the viewport (or the given rectangles within it); ignores ZWRITEENABLE.
  virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                        DWORD stencil) = 0;

  // Resources
  virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DTexture8** texture) = 0;
  virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                     IDirect3DVertexBuffer8** buffer) = 0;
  virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DIndexBuffer8** buffer) = 0;
  virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                            D3DMULTISAMPLE_TYPE multiSample,
                                            IDirect3DSurface8** surface) = 0;

  // Render targets. SetRenderTarget with a null target keeps the current one; the viewport
  // becomes the whole new target. The getters hand out a new reference.
  virtual HRESULT SetRenderTarget(IDirect3DSurface8* renderTarget, IDirect3DSurface8* depthStencil) = 0;
  virtual HRESULT GetRenderTarget(IDirect3DSurface8** renderTarget) = 0;
  virtual HRESULT GetDepthStencilSurface(IDirect3DSurface8** depthStencil) = 0;

  // Fixed-function state
  virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) = 0;
  virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) = 0;
  virtual HRESULT GetViewport(D3DVIEWPORT8* viewport) = 0;
  virtual HRESULT SetMaterial(const D3DMATERIAL8* material) = 0;
  virtual HRESULT SetLight(DWORD index, const D3DLIGHT8* light) = 0;
  virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
  virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
  virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
  virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) = 0;
  virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;

  // Geometry. SetVertexShader takes a flexible vertex format (D3DFVF_* bits) or a handle from
  // CreateVertexShader.
  virtual HRESULT SetVertexShader(DWORD handle) = 0;
  virtual HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) = 0;
  virtual HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex) = 0;
  virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) = 0;
  virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT vertexCount,
                                       UINT startIndex, UINT primitiveCount) = 0;

  // Programmable vertex stage: a declaration (stream, register and type of each input) and
  // assembled vs.1.1 tokens; constants are four floats per register, c0…c95. Handles are odd, so
  // SetVertexShader tells them from vertex formats. Declarations read stream 0 only; malformed
  // tokens give D3DERR_INVALIDCALL and no handle.
  virtual HRESULT CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle,
                                     DWORD usage) = 0;
  virtual HRESULT DeleteVertexShader(DWORD handle) = 0;
  virtual HRESULT SetVertexShaderConstant(DWORD firstRegister, const void* data, DWORD count) = 0;
};

struct IDirect3D8 : IUnknown {
  virtual UINT GetAdapterCount() = 0;
  virtual HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* identifier) = 0;
  virtual UINT GetAdapterModeCount(UINT adapter) = 0;
  virtual HRESULT EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* displayMode) = 0;
  virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) = 0;
  virtual HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat,
                                  D3DFORMAT backBufferFormat, BOOL windowed) = 0;
  virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                    DWORD usage, D3DRESOURCETYPE resourceType,
                                    D3DFORMAT checkFormat) = 0;
  virtual HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat,
                                             BOOL windowed, D3DMULTISAMPLE_TYPE multiSample) = 0;
  virtual HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat,
                                         D3DFORMAT depthStencilFormat) = 0;
  virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) = 0;
  virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* parameters,
                               IDirect3DDevice8** device) = 0;
};

// Null when no display or no usable OpenGL context exists, or for another SDK version.
IDirect3D8* WINAPI Direct3DCreate8(UINT sdkVersion);
