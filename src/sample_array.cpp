#include "sample_array.h"

#include <cstdlib>

float* SampleArray::extend(std::size_t count) {
  // Every block but the last is a full eight, so each block starts at a
  // multiple of eight and fits in the chunk it starts in.
  if (count < 1 || count > 8 || size_ % 8 != 0) std::abort();
  const std::size_t offset = size_ % chunk_size;
  if (offset == 0) chunks_.push_back(std::make_unique<float[]>(chunk_size));
  float* block = chunks_.back().get() + offset;
  size_ += count;
  return block;
}

float SampleArray::at(std::int64_t n) const {
  if (n < 1 || static_cast<std::uint64_t>(n) > size_) return 0.0f;
  const std::size_t index = static_cast<std::size_t>(n - 1);
  return chunks_[index / chunk_size][index % chunk_size];
}
