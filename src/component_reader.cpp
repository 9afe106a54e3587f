#include "component_reader.h"

#include <algorithm>

using namespace record_io;

namespace {

// Consumes `count` records whatever they hold: an empty free-format read
// takes exactly one record.
void skip_records(int count) {
  for (int i = 0; i < count; ++i) read_list(file_unit, {});
}

// Reads and echoes one header text line.
void echo_text_record() {
  Text80 line;
  read_a80(file_unit, line);
  write_list(stdout_unit, {line});
}

}  // namespace

void load_component(const Text80& name, SampleArray& target, std::int32_t& nt, float& dt) {
  open(file_unit, name, Status::old);

  echo_text_record();
  skip_records(14);
  read_list(file_unit, {nt});
  read_list(file_unit, {dt});
  write_list(stdout_unit, {" dt & nt=", dt, nt});
  skip_records(28);
  echo_text_record();

  // One read statement per block of eight, then one for the remaining
  // nt mod 8: every sample is read, and whatever follows the last value a
  // statement needs in its record is discarded. Storage grows with each
  // block actually read, never with the count the header claims.
  for (std::int64_t remaining = nt; remaining > 0; remaining -= 8) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(remaining, 8));
    read_reals(file_unit, target.extend(count), count);
  }

  close(file_unit);
}
