#include "sample_array.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace {

// Fills `a` with `count` samples, sample n holding n, in blocks of eight and
// a last partial block, as the reader does.
void fill(SampleArray& a, std::int64_t count) {
  for (std::int64_t n = 1; n <= count; n += 8) {
    const std::size_t block = static_cast<std::size_t>(std::min<std::int64_t>(8, count - n + 1));
    float* p = a.extend(block);
    for (std::size_t k = 0; k < block; ++k) p[k] = static_cast<float>(n + static_cast<std::int64_t>(k));
  }
}

TEST(SampleArray, KeepsEverySampleAtItsNumberAcrossChunks) {
  const std::int64_t chunk = static_cast<std::int64_t>(SampleArray::chunk_size);
  struct Case { std::int64_t count; };
  for (const Case c : {Case{0}, Case{5}, Case{8}, Case{chunk}, Case{chunk + 3}, Case{2 * chunk + 8}}) {
    SCOPED_TRACE(c.count);
    SampleArray a;
    fill(a, c.count);
    EXPECT_EQ(a.size(), static_cast<std::size_t>(c.count));
    for (std::int64_t n : {std::int64_t{1}, chunk - 1, chunk, chunk + 1, c.count})
      if (n >= 1 && n <= c.count) {
        EXPECT_EQ(a.at(n), static_cast<float>(n)) << "sample " << n;
      }
  }
}

TEST(SampleArray, SamplesNeverStoredReadAsZero) {
  SampleArray a;
  fill(a, 13);
  for (std::int64_t n : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{14}, std::int64_t{65536},
                         std::int64_t{2147483647}, INT64_MIN})
    EXPECT_EQ(a.at(n), 0.0f) << "sample " << n;
  SampleArray empty;
  EXPECT_EQ(empty.at(1), 0.0f);
}

TEST(SampleArray, NewBlocksStartAtZero) {
  SampleArray a;
  float* p = a.extend(8);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(p[k], 0.0f);
}

}  // namespace
