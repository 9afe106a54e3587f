#include "csv_writer.h"

using namespace record_io;

namespace {
// The runtime quotes the format in its failure report, so it lives on.
const char record_format[] = "(F7.3,3(',',F10.3))";
}  // namespace

void write_csv(std::int32_t nt, float dt, const SampleArray& x, const SampleArray& y,
               const SampleArray& z, Text80& infile1) {
  write_list(stdout_unit, {});
  write_list(stdout_unit, {"Enter Output Acceleration File Name (CSV format)"});
  read_a80(stdin_unit, infile1);

  open(file_unit, infile1, Status::unknown);
  for (std::int64_t i = 1; i <= nt; ++i) {
    // From the exact product, rounded once; never accumulated, so the last
    // record's time is as exact as the first's.
    const float t = static_cast<float>(static_cast<double>(i - 1) * static_cast<double>(dt));
    write_reals(file_unit, record_format, {t, x.at(i), y.at(i), z.at(i)});
  }
  close(file_unit);
}
