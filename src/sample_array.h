// The samples of one component, numbered from 1 in file order.
//
// Storage grows as blocks are read, one fixed-size chunk at a time, and is
// never reallocated: a header that claims billions of samples costs nothing
// until the samples are really there, and a long record costs little more
// than its 4 bytes a sample. A sample that no load stored reads as 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class SampleArray {
 public:
  // Samples per chunk; a multiple of 8, so that no block of up to eight
  // samples ever straddles two chunks.
  static constexpr std::size_t chunk_size = std::size_t{1} << 16;

  // Appends a block of `count` (1 to 8) samples set to 0 and returns where
  // they are stored, so that a read can fill them in place. Only the last
  // block may be shorter than eight.
  float* extend(std::size_t count);

  // Sample n (from 1); 0 where none was stored.
  float at(std::int64_t n) const;

  std::size_t size() const { return size_; }

 private:
  std::vector<std::unique_ptr<float[]>> chunks_;
  std::size_t size_ = 0;
};
