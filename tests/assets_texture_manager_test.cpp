// assets_texture_manager_test.cpp — the texture manager against the recording device with the real
// picture loader: format probing and choice, the second attempt, the warning texts, reuse, bind,
// render targets and depth surfaces, teardown and the table limit; one JPEG on the real device.
#include <gtest/gtest.h>

#include <jpeglib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "assets/texture_manager.h"
#include "platform/d3dx8/d3dx8.h"
#include "tests/d3d8_test_support.h"
#include "tests/recording_device.h"

namespace {

// A width × height JPEG of a colour gradient, made with libjpeg.
std::vector<uint8_t> makeJpeg(int width, int height) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<unsigned char> row(size_t(width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    for (int x = 0; x < width; ++x) {
      row[size_t(x) * 3 + 0] = 200;
      row[size_t(x) * 3 + 1] = (unsigned char)(x * 255 / (width > 1 ? width - 1 : 1));
      row[size_t(x) * 3 + 2] = 40;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> bytes(out, out + size);
  jpeg_destroy_compress(&cinfo);
  free(out);
  return bytes;
}

// An uncompressed 24-bit 4 × 4 TGA, bottom row first.
std::vector<uint8_t> makeTga() {
  std::vector<uint8_t> t = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 24, 0};
  for (int i = 0; i < 16; ++i) t.insert(t.end(), {10, 20, 30});
  return t;
}

const std::vector<uint8_t>& jpeg64() {
  static const std::vector<uint8_t> bytes = makeJpeg(64, 64);
  return bytes;
}

const char* const kWarningTail = " There why some objects will be white color.\n";

// A manager on the recording device and a Direct3D object that accepts `formats` for textures.
struct TextureManagerTest : ::testing::Test {
  RecordingDevice device;
  RecordingDirect3D d3d{&device};
  std::unique_ptr<TextureManager> manager = std::make_unique<TextureManager>();

  void TearDown() override { manager->releaseAll(); }

  void start(std::set<D3DFORMAT> formats = {D3DFMT_A1R5G5B5, D3DFMT_DXT5, D3DFMT_DXT1}) {
    d3d.textureFormats = std::move(formats);
    manager->init(&d3d, &device, D3DFMT_X8R8G8B8, nullptr);
  }
  TextureSlot load(const char* name, const char* group = "Texture\\", bool reuse = false,
                   const std::vector<uint8_t>& bytes = jpeg64()) {
    return manager->loadFromMemory(bytes.data(), uint32_t(bytes.size()), name, group, reuse);
  }
  // Loads with stderr captured; returns what the warning boxes wrote.
  std::string loadCapturingBoxes(const char* name, const std::vector<uint8_t>& bytes, TextureSlot& slot) {
    testing::internal::CaptureStderr();
    slot = load(name, "Texture\\", false, bytes);
    return testing::internal::GetCapturedStderr();
  }
  RecordingTexture* textureOf(const TextureSlot& slot) {
    return static_cast<RecordingTexture*>(manager->entry(slot.index).texture);
  }
  size_t texturesMade() { return device.named("CreateTexture").size(); }
};

TEST_F(TextureManagerTest, InitProbesTheFallbackThenTheBlockFormatsInOrder) {
  struct Case {
    std::set<D3DFORMAT> accepted;
    D3DFORMAT fallback, compressed;
    std::vector<D3DFORMAT> asked;
  } cases[] = {
      {{D3DFMT_A1R5G5B5, D3DFMT_DXT5, D3DFMT_DXT1}, D3DFMT_A1R5G5B5, D3DFMT_DXT5, {D3DFMT_A1R5G5B5, D3DFMT_DXT5}},
      {{D3DFMT_DXT1, D3DFMT_DXT3}, D3DFMT_R5G6B5, D3DFMT_DXT1,
       {D3DFMT_A1R5G5B5, D3DFMT_DXT5, D3DFMT_DXT4, D3DFMT_DXT1}},
      {{D3DFMT_DXT3}, D3DFMT_R5G6B5, D3DFMT_DXT3,
       {D3DFMT_A1R5G5B5, D3DFMT_DXT5, D3DFMT_DXT4, D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3}},
      {{D3DFMT_A1R5G5B5}, D3DFMT_A1R5G5B5, D3DFMT_UNKNOWN,
       {D3DFMT_A1R5G5B5, D3DFMT_DXT5, D3DFMT_DXT4, D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3}},
  };
  for (const Case& c : cases) {
    RecordingDirect3D direct3d{&device};
    direct3d.textureFormats = c.accepted;
    device.caps.MaxTextureWidth = 512;
    TextureManager m;
    m.init(&direct3d, &device, D3DFMT_R5G6B5, nullptr);
    EXPECT_EQ(m.fallbackFormat(), c.fallback);
    EXPECT_EQ(m.compressedFormat(), c.compressed);
    EXPECT_EQ(m.compressionAvailable(), c.compressed != D3DFMT_UNKNOWN);
    EXPECT_EQ(m.maxTextureWidth(), 512u);
    std::vector<D3DFORMAT> asked;
    for (const auto& q : direct3d.formatQueries) {
      asked.push_back(q.format);
      EXPECT_EQ(q.adapterFormat, D3DFMT_R5G6B5);
      EXPECT_EQ(q.usage, 0u);
      EXPECT_EQ(q.type, D3DRTYPE_TEXTURE);
    }
    EXPECT_EQ(asked, c.asked);
  }
}

TEST_F(TextureManagerTest, WithoutADeviceNothingIsMade) {
  manager->init(&d3d, nullptr, D3DFMT_X8R8G8B8, nullptr);
  EXPECT_EQ(manager->device(), nullptr);
  const TextureSlot slot = load("Shadow.jpg");
  EXPECT_EQ(slot.index, -1);
  EXPECT_STREQ(slot.name, "Shadow.jpg");
  EXPECT_STREQ(slot.label, "");
  EXPECT_EQ(manager->createTarget(256, 256, renderTargetKind, false).index, -1);
  manager->bind(0, slot);
  EXPECT_EQ(manager->count(), 0);
  EXPECT_EQ(device.trace(), "");
  EXPECT_TRUE(d3d.formatQueries.empty());
}

TEST_F(TextureManagerTest, NamesEndingInAOrSKeepTheFilesFormatOthersAreCompressed) {
  // The file's own format: what the loader makes of the same bytes when asked for D3DFMT_UNKNOWN.
  IDirect3DTexture8* own = nullptr;
  ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(&device, jpeg64().data(), UINT(jpeg64().size()), 0, 0, 0, 0,
                                                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                nullptr, nullptr, &own),
            D3D_OK);
  const D3DFORMAT ownFormat = static_cast<RecordingTexture*>(own)->format;
  own->Release();
  ASSERT_NE(ownFormat, D3DFMT_DXT5);

  struct Case {
    const char* name;
    std::set<D3DFORMAT> accepted;
    D3DFORMAT expected;
  } cases[] = {
      {"Shadow.jpg", {D3DFMT_DXT5, D3DFMT_DXT1}, D3DFMT_DXT5},
      {"Shadow.jpg", {D3DFMT_DXT1}, D3DFMT_DXT1},
      {"Shadow.jpg", {}, ownFormat},
      {"tree.bmp", {D3DFMT_DXT5}, D3DFMT_DXT5},
      {"grass5.tga", {D3DFMT_DXT5}, ownFormat},
      {"GRASS5.TGA", {D3DFMT_DXT5}, ownFormat},
      {"sky.dds", {D3DFMT_DXT5}, ownFormat},
      {"SKY.DDS", {D3DFMT_DXT5}, ownFormat},
  };
  for (const Case& c : cases) {
    RecordingDevice d;
    RecordingDirect3D direct3d{&d};
    direct3d.textureFormats = c.accepted;
    TextureManager m;
    m.init(&direct3d, &d, D3DFMT_X8R8G8B8, nullptr);
    const TextureSlot slot = m.loadFromMemory(jpeg64().data(), uint32_t(jpeg64().size()), c.name, "Texture\\", false);
    ASSERT_EQ(slot.index, 0) << c.name;
    const auto* t = static_cast<RecordingTexture*>(m.entry(0).texture);
    ASSERT_NE(t, nullptr) << c.name;
    EXPECT_EQ(t->format, c.expected) << c.name;
    EXPECT_EQ(t->pool, D3DPOOL_MANAGED);
    EXPECT_EQ(t->levels.size(), 7u) << "full mip chain of 64 × 64";
    EXPECT_EQ(t->levels[0].width, 64u) << "the file's own size";
    EXPECT_EQ(m.entry(0).present, 1);
    EXPECT_EQ(m.entry(0).kind, loadedTextureKind);
    EXPECT_EQ(m.entry(0).width, 0);
    m.releaseAll();
  }
}

TEST_F(TextureManagerTest, ASecondAttemptAtAReducedSizeInTheFallbackFormatWarnsNobody) {
  struct Case {
    std::set<D3DFORMAT> accepted;
    DWORD maxWidth;
    UINT side;
    D3DFORMAT format;
  } cases[] = {
      {{D3DFMT_A1R5G5B5, D3DFMT_DXT5}, 2048, 256, D3DFMT_A1R5G5B5},
      {{D3DFMT_DXT5}, 2048, 256, D3DFMT_R5G6B5},
      {{D3DFMT_A1R5G5B5, D3DFMT_DXT5}, 128, 128, D3DFMT_A1R5G5B5},
  };
  for (const Case& c : cases) {
    RecordingDevice d;
    RecordingDirect3D direct3d{&d};
    direct3d.textureFormats = c.accepted;
    d.caps.MaxTextureWidth = d.caps.MaxTextureHeight = c.maxWidth;
    d.textureRefusals.push_back({D3DERR_OUTOFVIDEOMEMORY, 0, 0, D3DFMT_DXT5});
    TextureManager m;
    m.init(&direct3d, &d, D3DFMT_X8R8G8B8, nullptr);
    testing::internal::CaptureStderr();
    const TextureSlot slot = m.loadFromMemory(jpeg64().data(), uint32_t(jpeg64().size()), "Shadow.jpg",
                                              "Texture\\", false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const auto* t = static_cast<RecordingTexture*>(m.entry(slot.index).texture);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(m.entry(slot.index).present, 1);
    EXPECT_EQ(t->levels[0].width, c.side);
    EXPECT_EQ(t->levels[0].height, c.side);
    EXPECT_EQ(t->format, c.format);
    EXPECT_EQ(t->levels.back().width, 1u) << "full mip chain";
    EXPECT_EQ(d.liveObjects(), 1);
    m.releaseAll();
  }
}

TEST_F(TextureManagerTest, ATextureThatCannotBeMadeWarnsOnceWithTheRightText) {
  const std::vector<uint8_t> garbage = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};
  std::vector<uint8_t> truncated = jpeg64();
  truncated.resize(truncated.size() / 3);
  const std::string outOfMemory = "Warning!: Not enought video memory to load Shadow.jpg.";
  const std::string notLoaded = "Warning!: Texture Shadow.jpg not loaded.";
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    HRESULT first, second;   // what the device answers the first (DXT5) and the second (A1R5G5B5) request
    std::string text;
  } cases[] = {
      {"undecodable bytes", garbage, D3D_OK, D3D_OK, notLoaded},
      {"empty", {}, D3D_OK, D3D_OK, notLoaded},
      {"refused twice for video memory", jpeg64(), D3DERR_OUTOFVIDEOMEMORY, D3DERR_OUTOFVIDEOMEMORY, outOfMemory},
      {"the last refusal decides", jpeg64(), D3DERR_OUTOFVIDEOMEMORY, E_OUTOFMEMORY, notLoaded},
      {"only the last counts", jpeg64(), E_OUTOFMEMORY, D3DERR_OUTOFVIDEOMEMORY, outOfMemory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingDevice d;
    RecordingDirect3D direct3d{&d};
    if (c.first != D3D_OK) d.textureRefusals.push_back({c.first, 0, 0, D3DFMT_DXT5});
    if (c.second != D3D_OK) d.textureRefusals.push_back({c.second, 0, 0, D3DFMT_A1R5G5B5});
    TextureManager m;
    m.init(&direct3d, &d, D3DFMT_X8R8G8B8, nullptr);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    testing::internal::CaptureStderr();
    const TextureSlot slot = m.loadFromMemory(c.bytes.data(), uint32_t(c.bytes.size()), "Shadow.jpg",
                                              "Texture\\", false);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.text + kWarningTail);
    EXPECT_EQ(SetCursor(nullptr), nullptr) << "the cursor is hidden again after the box";
    ASSERT_EQ(slot.index, 0) << "the slot keeps its entry";
    EXPECT_EQ(m.entry(0).present, 0);
    EXPECT_EQ(m.entry(0).texture, nullptr);
    EXPECT_EQ(d.liveObjects(), 0);

    d.clearCalls();
    m.bind(0, slot);
    EXPECT_EQ(d.trace(), "SetTexture(0, null)\n") << "a failed entry binds no texture";
  }
}

TEST_F(TextureManagerTest, ReuseFindsTheSameNameAndGroupExactly) {
  start();
  const TextureSlot first = load("digit_0.JPG", "Digits\\", true);
  const TextureSlot again = load("digit_0.JPG", "Digits\\", true);
  EXPECT_EQ(again.index, first.index);
  EXPECT_STREQ(again.name, "digit_0.JPG");
  EXPECT_EQ(manager->count(), 1);
  EXPECT_EQ(device.liveObjects(), 1) << "no second texture";

  const TextureSlot otherGroup = load("digit_0.JPG", "Texture\\", true);
  const TextureSlot otherCase = load("digit_0.jpg", "Digits\\", true);
  const TextureSlot noReuse = load("digit_0.JPG", "Digits\\", false);
  EXPECT_EQ(otherGroup.index, 1);
  EXPECT_EQ(otherCase.index, 2);
  EXPECT_EQ(noReuse.index, 3);
  EXPECT_EQ(device.liveObjects(), 4);
  EXPECT_NE(textureOf(noReuse), textureOf(first)) << "each load without reuse has its own texture";

  // The first match is returned even when its texture failed; nothing is tried again.
  TextureSlot broken;
  const std::string boxes = loadCapturingBoxes("broken.jpg", {1, 2, 3}, broken);
  EXPECT_NE(boxes, "");
  const size_t made = texturesMade();
  testing::internal::CaptureStderr();
  const TextureSlot reused = load("broken.jpg", "Texture\\", true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(reused.index, broken.index);
  EXPECT_EQ(texturesMade(), made);
}

TEST_F(TextureManagerTest, LongNamesAndGroupsAreCutToTheirTables) {
  start();
  const std::string longName = std::string(300, 'n') + ".jpg";
  const std::string longGroup(200, 'g');
  const TextureSlot slot = load(longName.c_str(), longGroup.c_str());
  EXPECT_EQ(std::string(slot.name), longName.substr(0, 127));
  EXPECT_EQ(std::string(manager->entry(slot.index).name), longName.substr(0, 127));
  EXPECT_EQ(std::string(manager->entry(slot.index).group), longGroup.substr(0, 127));
  EXPECT_EQ(load(longName.c_str(), longGroup.c_str(), true).index, slot.index);

  const TextureSlot unnamed = manager->loadFromMemory(jpeg64().data(), uint32_t(jpeg64().size()), nullptr,
                                                      nullptr, true);
  EXPECT_EQ(unnamed.index, 1);
  EXPECT_STREQ(manager->entry(1).name, "");
}

TEST_F(TextureManagerTest, BindSetsTheEntrysTextureOnValidStagesOnly) {
  start();
  const TextureSlot slot = load("Shadow.jpg");
  IDirect3DBaseTexture8* texture = manager->entry(slot.index).texture;
  ASSERT_NE(texture, nullptr);
  auto withIndex = [&](int32_t index) {
    TextureSlot s = slot;
    s.index = index;
    return s;
  };
  const std::string id = "#" + std::to_string(textureOf(slot)->id);
  struct Case {
    DWORD stage;
    int32_t index;
    std::string trace;
  } cases[] = {
      {0, slot.index, "SetTexture(0, " + id + ")\n"},
      {7, slot.index, "SetTexture(7, " + id + ")\n"},
      {2, -1, "SetTexture(2, null)\n"},
      {8, slot.index, ""},
      {8, -1, ""},
      {0, 1, ""},   // at count
      {0, 999, ""},
      {0, -2, ""},
  };
  for (const Case& c : cases) {
    device.clearCalls();
    manager->bind(c.stage, withIndex(c.index));
    EXPECT_EQ(device.trace(), c.trace) << "stage " << c.stage << ", index " << c.index;
  }
}

TEST_F(TextureManagerTest, RenderTargetsAndDepthSurfacesWithTheirRetry) {
  // The manager reads a maximum width of 100 (the retry's square is min(128, 100)); the loader
  // then sees the device's usual 2048.
  device.caps.MaxTextureWidth = 100;
  manager->init(&d3d, &device, D3DFMT_R5G6B5, nullptr);
  device.caps.MaxTextureWidth = 2048;

  const TextureSlot target = manager->createTarget(256, 256, renderTargetKind, false);
  const TextureSlot depth = manager->createTarget(256, 256, depthStencilKind, false);
  EXPECT_EQ(target.index, 0);
  EXPECT_EQ(depth.index, 1);
  EXPECT_STREQ(target.name, "");
  EXPECT_EQ(device.traceOf({"CreateTexture", "CreateDepthStencilSurface"}),
            "CreateTexture(256, 256, 1, 1, 23, 0, #1)\n"
            "CreateDepthStencilSurface(256, 256, 80, 0, #2)\n");
  EXPECT_EQ(manager->entry(0).kind, renderTargetKind);
  EXPECT_EQ(manager->entry(1).kind, depthStencilKind);
  EXPECT_EQ(manager->entry(1).width, 256);
  EXPECT_NE(manager->entry(1).surface, nullptr);
  EXPECT_EQ(manager->entry(1).present, 1);

  device.clearCalls();
  device.textureRefusals.push_back({D3DERR_OUTOFVIDEOMEMORY, 512, 512});
  device.depthStencilRefusals.push_back({D3DERR_OUTOFVIDEOMEMORY, 512, 512});
  testing::internal::CaptureStderr();
  manager->createTarget(512, 512, renderTargetKind, false);
  manager->createTarget(512, 512, depthStencilKind, false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(device.traceOf({"CreateTexture", "CreateDepthStencilSurface"}),
            "CreateTexture(512, 512, 1, 1, 23, 0)\n"
            "CreateTexture(100, 100, 1, 1, 23, 0, #3)\n"
            "CreateDepthStencilSurface(512, 512, 80, 0)\n"
            "CreateDepthStencilSurface(100, 100, 80, 0, #4)\n");
  EXPECT_EQ(manager->entry(2).present, 1);
  EXPECT_EQ(manager->entry(3).present, 1);

  // Both attempts refused: the warning with an empty name, the slot keeps its entry.
  device.textureRefusals = {{E_OUTOFMEMORY}};
  device.depthStencilRefusals = {{D3DERR_OUTOFVIDEOMEMORY}};
  testing::internal::CaptureStderr();
  const TextureSlot noTarget = manager->createTarget(64, 64, renderTargetKind, false);
  const TextureSlot noDepth = manager->createTarget(64, 64, depthStencilKind, false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string("Warning!: Texture  not loaded.") + kWarningTail +
                "Warning!: Not enought video memory to load ." + kWarningTail);
  EXPECT_EQ(noTarget.index, 4);
  EXPECT_EQ(noDepth.index, 5);
  EXPECT_EQ(manager->entry(4).present, 0);
  EXPECT_EQ(manager->entry(5).present, 0);

  // Kinds other than 1 and 2 make nothing.
  EXPECT_EQ(manager->createTarget(64, 64, 0, false).index, -1);
  EXPECT_EQ(manager->createTarget(64, 64, 3, true).index, -1);
  EXPECT_EQ(manager->count(), 6);
}

TEST_F(TextureManagerTest, TargetReuseMatchesKindAndSize) {
  start();
  const int32_t depth = manager->createTarget(256, 256, depthStencilKind, false).index;
  const int32_t target = manager->createTarget(256, 256, renderTargetKind, false).index;
  struct Case {
    int width, height, kind;
    int32_t expected;   // −2: a new entry
  } cases[] = {
      {256, 256, depthStencilKind, depth}, {128, 64, depthStencilKind, depth},
      {512, 256, depthStencilKind, -2},    {256, 257, depthStencilKind, -2},
      {256, 256, renderTargetKind, target}, {128, 128, renderTargetKind, -2},
  };
  for (const Case& c : cases) {
    const int32_t before = manager->count();
    const int32_t index = manager->createTarget(c.width, c.height, c.kind, true).index;
    EXPECT_EQ(index, c.expected == -2 ? before : c.expected) << c.width << " × " << c.height << " kind " << c.kind;
  }
  EXPECT_EQ(manager->createTarget(256, 256, renderTargetKind, false).index, manager->count() - 1)
      << "without reuse always a new entry";

  // An entry whose object is gone is made again in place.
  manager->releaseAll();
  const int32_t count = manager->count();
  EXPECT_EQ(manager->createTarget(256, 256, depthStencilKind, true).index, depth);
  EXPECT_EQ(manager->entry(depth).present, 1);
  EXPECT_NE(manager->entry(depth).surface, nullptr);
  EXPECT_EQ(manager->createTarget(256, 256, renderTargetKind, true).index, target);
  EXPECT_NE(manager->entry(target).texture, nullptr);
  EXPECT_EQ(manager->count(), count);
}

TEST_F(TextureManagerTest, SurfacesAreNewReferencesTheCallerReleases) {
  start();
  const TextureSlot target = manager->createTarget(256, 256, renderTargetKind, false);
  const TextureSlot depth = manager->createTarget(256, 256, depthStencilKind, false);
  const TextureSlot picture = load("Shadow.jpg");

  for (int frame = 0; frame < 3; ++frame) {
    IDirect3DSurface8* colour = manager->surface(target, 0);
    IDirect3DSurface8* depthSurface = manager->surface(depth, 0);
    ASSERT_NE(colour, nullptr);
    ASSERT_EQ(depthSurface, manager->entry(depth.index).surface);
    D3DSURFACE_DESC desc{};
    colour->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 256u);
    EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_RENDERTARGET));
    colour->Release();
    depthSurface->Release();
  }
  EXPECT_EQ(device.liveObjects(), 3) << "releasing the handed-out surfaces frees none of the manager's objects";

  IDirect3DSurface8* level = manager->surface(picture, 2);
  ASSERT_NE(level, nullptr);
  D3DSURFACE_DESC desc{};
  level->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 16u);
  level->Release();
  EXPECT_EQ(manager->surface(picture, 40), nullptr);

  TextureSlot none;
  EXPECT_EQ(manager->surface(none, 0), nullptr);
  none.index = manager->count();
  EXPECT_EQ(manager->surface(none, 0), nullptr);
}

TEST_F(TextureManagerTest, ReleaseAllFreesEveryObjectAndKeepsTheEntries) {
  start();
  const TextureSlot picture = load("Shadow.jpg");
  manager->createTarget(256, 256, renderTargetKind, false);
  const TextureSlot depth = manager->createTarget(256, 256, depthStencilKind, false);
  ASSERT_EQ(device.liveObjects(), 3);

  manager->releaseAll();
  EXPECT_EQ(device.liveObjects(), 0);
  EXPECT_EQ(manager->count(), 3);
  EXPECT_STREQ(manager->entry(picture.index).name, "Shadow.jpg");
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(manager->entry(i).present, 0);
    EXPECT_EQ(manager->entry(i).texture, nullptr);
    EXPECT_EQ(manager->entry(i).surface, nullptr);
  }
  EXPECT_EQ(manager->surface(depth, 0), nullptr);
  device.clearCalls();
  manager->bind(1, picture);
  EXPECT_EQ(device.trace(), "SetTexture(1, null)\n");
  manager->releaseAll();   // twice is harmless
  EXPECT_EQ(device.liveObjects(), 0);
}

TEST_F(TextureManagerTest, AFullTableRefusesLoadsAndTargets) {
  start();
  const std::vector<uint8_t> tga = makeTga();
  load("first.tga", "Texture\\", false, tga);
  for (int32_t i = 1; i < textureTableSize; ++i)
    ASSERT_EQ(manager->createTarget(4, 4, depthStencilKind, false).index, i);
  ASSERT_EQ(manager->count(), textureTableSize);

  device.clearCalls();
  testing::internal::CaptureStderr();
  const TextureSlot refused = load("late.tga", "Texture\\", false, tga);
  const TextureSlot target = manager->createTarget(8, 8, renderTargetKind, false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(refused.index, -1);
  EXPECT_STREQ(refused.name, "late.tga");
  EXPECT_EQ(target.index, -1);
  EXPECT_EQ(manager->count(), textureTableSize);
  EXPECT_EQ(device.trace(), "") << "nothing made past the table";

  // What is already in the table is still found.
  EXPECT_EQ(load("first.tga", "Texture\\", true, tga).index, 0);
  EXPECT_EQ(manager->createTarget(4, 4, depthStencilKind, true).index, 1);
}

// The real device: a JPEG made here lands in a texture that can be locked and holds its colours.
class TextureManagerOnTheRealDevice : public d3d8test::DeviceTest {};

TEST_F(TextureManagerOnTheRealDevice, LoadsAJpegIntoALockableTexture) {
  TextureManager m;
  m.init(direct3d, device, D3DFMT_X8R8G8B8, window);
  const std::vector<uint8_t> jpeg = makeJpeg(32, 16);
  const TextureSlot slot = m.loadFromMemory(jpeg.data(), uint32_t(jpeg.size()), "Shadow.jpg", "Texture\\", false);
  ASSERT_EQ(slot.index, 0);
  IDirect3DTexture8* texture = m.entry(0).texture;
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->GetLevelCount(), 6u);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(texture->GetLevelDesc(0, &desc), D3D_OK);
  EXPECT_EQ(desc.Width, 32u);
  EXPECT_EQ(desc.Height, 16u);
  EXPECT_EQ(desc.Format, m.compressionAvailable() ? m.compressedFormat() : D3DFMT_X8R8G8B8);

  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  ASSERT_NE(locked.pBits, nullptr);
  if (desc.Format == D3DFMT_X8R8G8B8) {
    const auto* row = static_cast<const uint32_t*>(locked.pBits);
    EXPECT_NEAR(int((row[0] >> 16) & 0xff), 200, 12);   // red
    EXPECT_NEAR(int((row[31] >> 8) & 0xff), 255, 12);    // green rises to the right
    EXPECT_NEAR(int(row[0] & 0xff), 40, 12);
  } else {
    EXPECT_GT(locked.Pitch, 0);   // one row of blocks
  }
  texture->UnlockRect(0);

  // Drawn over the back buffer, the picture's left edge is red with little green, the right edge yellow.
  clear(0xFF000000);
  device->BeginScene();
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  m.bind(0, slot);
  drawQuad(0, 0, float(d3d8test::kSize), float(d3d8test::kSize), 0xFFFFFFFF);
  device->EndScene();
  std::vector<uint32_t> pixels;
  UINT width = 0, height = 0;
  ASSERT_TRUE(d3d8TestReadRenderTarget(device, pixels, width, height));
  const d3d8test::Rgb left = d3d8test::rgbOf(pixels[size_t(height / 2) * width + 1]);
  const d3d8test::Rgb right = d3d8test::rgbOf(pixels[size_t(height / 2) * width + width - 2]);
  EXPECT_NEAR(left.r, 200, 24);
  EXPECT_LT(left.g, 60);
  EXPECT_NEAR(right.g, 250, 24);

  m.releaseAll();
  EXPECT_EQ(m.entry(0).texture, nullptr);
}

}  // namespace
