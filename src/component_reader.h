// Reads one component file of a CDMG-type record into its sample array.
#pragma once

#include <cstdint>

#include "record_io.h"
#include "sample_array.h"

// Loads the component file named by `name` into `target` on the file unit,
// echoing its title line, its time step and count, and its data header line
// on the console. Leaves the file's sample count in `nt` and its time step in
// `dt`, whatever they held before. Reads all nt samples, eight to a read
// statement; on any failure the runtime ends the process.
//
// The layout as read:
//   record 1        title, echoed
//   records 2-15    skipped
//   record 16       the sample count nt, its first value
//   record 17       the time step dt, its first value
//   records 18-45   skipped
//   record 46       data header, echoed
//   record 47 on    the samples, eight to a record
void load_component(const record_io::Text80& name, SampleArray& target, std::int32_t& nt,
                    float& dt);
