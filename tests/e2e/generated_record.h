// Component files made from a one-line description, for cases whose data
// would be too long to keep by hand, and the CSV those files must give.
//
// A description line:
//
//   SCS1-UP.txt nt=80 dt=0.02 samples=80 per-record=8 base=1.000 step=0.001
//
// writes a file in the CDMG-type layout whose record 16 starts with nt and
// record 17 with dt, followed by `samples` values (default: nt, at least 0),
// `per-record` to a data record (default 8), then a trailing section that
// must never be read (trailer=0 leaves it out, so that the file ends right
// after the last sample). line-end=crlf or line-end=cr ends every record with
// CR LF or with a lone CR instead of LF; final-line-end=0 leaves the last
// record without one; title-bytes=N makes the title N characters long.
// Sample n (from 1) is
// base + n * step, computed exactly in thousandths and written with three
// decimals (defaults: base 0, step 0.001).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct GeneratedComponent {
  std::string file_name;
  std::string nt_text;  // as written in record 16
  std::string dt_text;  // as written in record 17
  std::int64_t samples = 0;
  int per_record = 8;
  bool trailer = true;
  std::string line_end = "\n";
  bool final_line_end = true;
  std::size_t title_bytes = 0;  // 0: a short title naming the file
  std::int64_t base_milli = 0;
  std::int64_t step_milli = 1;

  // Sample n as it appears in the file, e.g. "-1.250".
  std::string sample_text(std::int64_t n) const;
};

// Parses one description line; throws std::runtime_error when malformed.
GeneratedComponent parse_generated_component(const std::string& line);

// Writes the component file into `dir`.
void write_generated_component(const GeneratedComponent& c, const std::filesystem::path& dir);

// The CSV that the three generated components (N38W, S52W, UP order) must
// give, formatted independently of the program with printf: the third file's
// count and time step, a sample a component does not have as 0.000, and a
// field too narrow for its value as asterisks.
std::string expected_csv(const std::vector<GeneratedComponent>& components);
