// assets_buffer_pool_test.cpp — the buffer pool against the recording device: numbering, strides,
// re-creation, locking and filling, selection for drawing, the screen quad and the table limits.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "assets/buffer_pool.h"
#include "tests/recording_device.h"

namespace {

struct BufferPoolTest : ::testing::Test {
  RecordingDevice device;
  std::unique_ptr<BufferPool> pool = std::make_unique<BufferPool>();

  void SetUp() override { pool->init(&device, nullptr); }
  // The pool releases nothing by itself; the test owns what the device made.
  void TearDown() override { releaseBuffers(*pool); }
  static void releaseBuffers(const BufferPool& p) {
    for (int32_t i = 0; i < p.vertexBufferCount(); ++i)
      if (p.vertexRecord(i).buffer) p.vertexRecord(i).buffer->Release();
    for (int32_t i = 0; i < p.indexBufferCount(); ++i)
      if (p.indexRecord(i).buffer) p.indexRecord(i).buffer->Release();
  }

  RecordingVertexBuffer* vertexBuffer(int32_t number) {
    return static_cast<RecordingVertexBuffer*>(pool->vertexRecord(number).buffer);
  }
  std::vector<ScreenVertex> screenVertices(int32_t number) {
    const RecordingVertexBuffer* b = vertexBuffer(number);
    std::vector<ScreenVertex> v(b->bytes.size() / sizeof(ScreenVertex));
    std::memcpy(v.data(), b->bytes.data(), v.size() * sizeof(ScreenVertex));
    return v;
  }
};

TEST_F(BufferPoolTest, NumbersRecordsInOrderAndRemakesAPassedNumberInPlace) {
  int32_t first = -1, second = -1;
  pool->createVertexBuffer(first, screenVertexFormat, 4);
  pool->createVertexBuffer(second, litVertexFormat, 3);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(device.liveObjects(), 2);

  IDirect3DVertexBuffer8* old = pool->vertexRecord(0).buffer;
  int32_t again = 0;
  pool->createVertexBuffer(again, modelVertexFormat, 10);
  EXPECT_EQ(again, 0);
  EXPECT_EQ(pool->vertexBufferCount(), 2);
  EXPECT_EQ(device.liveObjects(), 2) << "the old buffer of record 0 is released";
  EXPECT_NE(pool->vertexRecord(0).buffer, old);
  EXPECT_EQ(pool->vertexRecord(0).fvf, modelVertexFormat);
  EXPECT_EQ(pool->vertexRecord(0).stride, 56u);

  // Numbers naming no record append, like −1.
  for (int32_t stray : {-7, 5, 9999}) {
    int32_t number = stray;
    pool->createVertexBuffer(number, screenVertexFormat, 1);
    EXPECT_EQ(number, pool->vertexBufferCount() - 1) << stray;
  }
  EXPECT_EQ(pool->vertexBufferCount(), 5);
}

TEST_F(BufferPoolTest, AsksTheDeviceForCountTimesStrideInTheManagedPool) {
  struct Case {
    DWORD fvf;
    uint32_t count;
    double bytes;
  } cases[] = {{0x144, 4, 112}, {0x152, 10, 360}, {0x352, 100, 5600}};
  for (const Case& c : cases) {
    device.clearCalls();
    int32_t number = -1;
    pool->createVertexBuffer(number, c.fvf, c.count);
    const auto made = device.named("CreateVertexBuffer");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].args, (std::vector<double>{c.bytes, 0, double(c.fvf), D3DPOOL_MANAGED})) << std::hex << c.fvf;
    EXPECT_EQ(pool->vertexRecord(number).present, 1);
  }
}

TEST_F(BufferPoolTest, AnUnknownFormatKeepsTheRecordsStride) {
  int32_t number = -1;
  pool->createVertexBuffer(number, litVertexFormat, 2);
  pool->createVertexBuffer(number, D3DFVF_XYZ, 2);
  EXPECT_EQ(pool->vertexRecord(number).fvf, DWORD(D3DFVF_XYZ));
  EXPECT_EQ(pool->vertexRecord(number).stride, 36u);
  EXPECT_EQ(device.named("CreateVertexBuffer").back().args[0], 72);

  // A new record with an unknown format has stride 0: a zero-length request the device refuses.
  int32_t fresh = -1;
  pool->createVertexBuffer(fresh, D3DFVF_XYZ, 2);
  EXPECT_EQ(pool->vertexRecord(fresh).stride, 0u);
  EXPECT_EQ(pool->vertexRecord(fresh).present, 0);
  EXPECT_EQ(pool->lockVertices(fresh), nullptr);
}

TEST_F(BufferPoolTest, IndexBuffersHoldSixteenBitIndices) {
  EXPECT_EQ(pool->createIndexBuffer(6), 0);
  EXPECT_EQ(pool->createIndexBuffer(3), 1);
  const auto made = device.named("CreateIndexBuffer");
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[0].args, (std::vector<double>{12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED}));

  auto* indices = static_cast<uint16_t*>(pool->lockIndices(1));
  ASSERT_NE(indices, nullptr);
  indices[0] = 7;
  indices[2] = 9;
  pool->unlockIndices(1);
  auto* buffer = static_cast<RecordingIndexBuffer*>(pool->indexRecord(1).buffer);
  EXPECT_FALSE(buffer->locked);
  EXPECT_EQ(buffer->bytes, (std::vector<BYTE>{7, 0, 0, 0, 9, 0}));
  EXPECT_EQ(buffer->lastLockFlags, 0u);

  device.clearCalls();
  pool->useIndices(1);
  EXPECT_EQ(device.trace(), "SetIndices(0, #" + std::to_string(buffer->id) + ")\n");
}

TEST_F(BufferPoolTest, FillVerticesCopiesAtMostTheBuffersSize) {
  int32_t number = -1;
  pool->createVertexBuffer(number, screenVertexFormat, 1);   // 28 bytes
  std::vector<BYTE> bytes(100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = BYTE(i + 1);
  pool->fillVertices(number, bytes.data(), 100);
  RecordingVertexBuffer* b = vertexBuffer(number);
  EXPECT_EQ(b->bytes, std::vector<BYTE>(bytes.begin(), bytes.begin() + 28));
  EXPECT_FALSE(b->locked);

  pool->fillVertices(number, bytes.data() + 50, 3);
  EXPECT_EQ(b->bytes[0], 51);
  EXPECT_EQ(b->bytes[2], 53);
  EXPECT_EQ(b->bytes[3], 4) << "bytes past the count stay";
}

TEST_F(BufferPoolTest, UseVerticesSetsTheFormatThenTheStreamWithItsStride) {
  int32_t number = -1;
  pool->createVertexBuffer(number, modelVertexFormat, 3);
  device.clearCalls();
  pool->useVertices(2, number);
  EXPECT_EQ(device.trace(), "SetVertexShader(850)\nSetStreamSource(2, 56, #" +
                                std::to_string(vertexBuffer(number)->id) + ")\n");
}

TEST_F(BufferPoolTest, ScreenQuadCornersOnTheViewport) {
  struct Case {
    D3DVIEWPORT8 viewport;
    float x, y, w, h, uLeft, vTop, uRight, vBottom;
    float expected[4][4];   // screen x, y, u, v of vertices 0…3
  } cases[] = {
      {{0, 0, 800, 600, 0, 1}, 0, 0, 1, 1, 0, 0, 1, 1,
       {{0, 600, 0, 1}, {0, 0, 0, 0}, {800, 600, 1, 1}, {800, 0, 1, 0}}},
      {{10, 20, 400, 300, 0, 1}, 0.25f, 0.5f, 0.5f, 0.25f, 0.1f, 0.2f, 0.9f, 0.8f,
       {{110, 245, 0.1f, 0.8f}, {110, 170, 0.1f, 0.2f}, {310, 245, 0.9f, 0.8f}, {310, 170, 0.9f, 0.2f}}},
  };
  for (const Case& c : cases) {
    device.viewport = c.viewport;
    BufferPool local;
    local.init(&device, nullptr);
    int32_t number = -1;
    local.createVertexBuffer(number, screenVertexFormat, 4);
    auto* v = static_cast<ScreenVertex*>(local.lockVertices(number));
    for (int i = 0; i < 4; ++i) v[i] = ScreenVertex{-1, -1, 0.99f, 0.5f, 0, -1, -1};
    local.unlockVertices(number);

    local.fillScreenQuad(number, c.x, c.y, c.w, c.h, 0x80FF2010, c.uLeft, c.vTop, c.uRight, c.vBottom);
    auto* buffer = static_cast<RecordingVertexBuffer*>(local.vertexRecord(number).buffer);
    EXPECT_FALSE(buffer->locked);
    const auto* q = reinterpret_cast<const ScreenVertex*>(buffer->bytes.data());
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(testing::Message() << "viewport width " << c.viewport.Width << ", vertex " << i);
      EXPECT_FLOAT_EQ(q[i].x, c.expected[i][0]);
      EXPECT_FLOAT_EQ(q[i].y, c.expected[i][1]);
      EXPECT_FLOAT_EQ(q[i].u, c.expected[i][2]);
      EXPECT_FLOAT_EQ(q[i].v, c.expected[i][3]);
      EXPECT_EQ(q[i].diffuse, 0x80FF2010u);
      EXPECT_EQ(q[i].z, 0.99f) << "z is the creator's";
      EXPECT_EQ(q[i].rhw, 0.5f) << "rhw is the creator's";
    }
    releaseBuffers(local);
  }
}

TEST_F(BufferPoolTest, ScreenQuadOnlyFillsAScreenVertexBufferOfFourVertices) {
  int32_t lit = -1, small = -1;
  pool->createVertexBuffer(lit, litVertexFormat, 4);
  pool->createVertexBuffer(small, screenVertexFormat, 3);
  pool->fillScreenQuad(lit, 0, 0, 1, 1, 0xFFFFFFFF, 0, 0, 1, 1);
  pool->fillScreenQuad(small, 0, 0, 1, 1, 0xFFFFFFFF, 0, 0, 1, 1);
  EXPECT_EQ(vertexBuffer(lit)->lockCount, 0);
  EXPECT_EQ(vertexBuffer(small)->lockCount, 0);
}

TEST_F(BufferPoolTest, BadNumbersDoNothing) {
  int32_t number = -1;
  pool->createVertexBuffer(number, screenVertexFormat, 4);
  ASSERT_EQ(pool->createIndexBuffer(6), 0);
  device.clearCalls();
  const BYTE bytes[4] = {1, 2, 3, 4};
  for (int32_t bad : {-1, -2, 1, bufferTableSize, 123456}) {
    EXPECT_EQ(pool->lockVertices(bad), nullptr) << bad;
    EXPECT_EQ(pool->lockIndices(bad), nullptr) << bad;
    pool->unlockVertices(bad);
    pool->unlockIndices(bad);
    pool->fillVertices(bad, bytes, 4);
    pool->fillScreenQuad(bad, 0, 0, 1, 1, 0, 0, 0, 1, 1);
    pool->useVertices(0, bad);
    pool->useIndices(bad);
  }
  EXPECT_EQ(device.trace(), "");
  EXPECT_EQ(vertexBuffer(0)->lockCount, 0);
}

TEST_F(BufferPoolTest, AFailedCreationLeavesARecordThatLocksNothing) {
  device.vertexBufferRefusal = D3DERR_OUTOFVIDEOMEMORY;
  device.indexBufferRefusal = E_OUTOFMEMORY;
  int32_t number = -1;
  pool->createVertexBuffer(number, screenVertexFormat, 4);
  const int32_t indices = pool->createIndexBuffer(6);
  EXPECT_EQ(number, 0);
  EXPECT_EQ(indices, 0);
  EXPECT_EQ(pool->vertexRecord(number).present, 0);
  EXPECT_EQ(pool->indexRecord(indices).present, 0);
  EXPECT_EQ(pool->lockVertices(number), nullptr);
  EXPECT_EQ(pool->lockIndices(indices), nullptr);
  pool->fillScreenQuad(number, 0, 0, 1, 1, 0, 0, 0, 1, 1);

  // The same record made again once the device agrees.
  device.vertexBufferRefusal = D3D_OK;
  pool->createVertexBuffer(number, screenVertexFormat, 4);
  EXPECT_EQ(number, 0);
  EXPECT_NE(pool->lockVertices(number), nullptr);
  pool->unlockVertices(number);
}

TEST_F(BufferPoolTest, FullTablesRefuseFurtherRecords) {
  for (int32_t i = 0; i < bufferTableSize; ++i) {
    int32_t number = -1;
    pool->createVertexBuffer(number, screenVertexFormat, 1);
    ASSERT_EQ(number, i);
    ASSERT_EQ(pool->createIndexBuffer(1), i);
  }
  device.clearCalls();
  int32_t number = -1;
  pool->createVertexBuffer(number, screenVertexFormat, 1);
  EXPECT_EQ(number, -1);
  EXPECT_EQ(pool->createIndexBuffer(1), -1);
  EXPECT_EQ(pool->vertexBufferCount(), bufferTableSize);
  EXPECT_EQ(pool->indexBufferCount(), bufferTableSize);
  EXPECT_EQ(device.trace(), "") << "nothing made past the tables";

  // Records already there can still be made again.
  int32_t last = bufferTableSize - 1;
  pool->createVertexBuffer(last, litVertexFormat, 1);
  EXPECT_EQ(last, bufferTableSize - 1);
  EXPECT_EQ(pool->vertexRecord(last).stride, 36u);
}

TEST(BufferPoolWithoutDevice, MakesNothingAndLocksNothing) {
  BufferPool pool;
  pool.init(nullptr, nullptr);
  int32_t number = -1;
  pool.createVertexBuffer(number, screenVertexFormat, 4);
  EXPECT_EQ(number, -1);
  EXPECT_EQ(pool.createIndexBuffer(6), -1);
  EXPECT_EQ(pool.lockVertices(0), nullptr);
  pool.useVertices(0, 0);
}

TEST(FillFloat4, WritesTheFourFloatsInOrder) {
  float record[5] = {0, 0, 0, 0, 9};
  fillFloat4(record, 1.5f, -2, 0.25f, 1e6f);
  EXPECT_EQ(std::vector<float>(record, record + 5), (std::vector<float>{1.5f, -2, 0.25f, 1e6f, 9}));
  fillFloat4(nullptr, 1, 2, 3, 4);
}

}  // namespace
