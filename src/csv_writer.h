// The output phase: asks for the output name and writes the CSV
// acceleration file.
#pragma once

#include <cstdint>

#include "record_io.h"
#include "sample_array.h"

// Prompts for the output file name, reads it from standard input into
// `infile1`, and writes one record per sample index i = 1 to nt:
//
//   time, x(i), y(i), z(i)   as "(F7.3,3(',',F10.3))", 40 characters
//
// with the time (i - 1) * dt rounded once to single precision. A sample a
// load did not store is written as 0.000. With nt of 0 or less no record is
// written and an existing file keeps its contents; otherwise the file ends
// up holding exactly the new records.
void write_csv(std::int32_t nt, float dt, const SampleArray& x, const SampleArray& y,
               const SampleArray& z, record_io::Text80& infile1);
