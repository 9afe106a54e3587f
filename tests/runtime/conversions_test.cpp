// The runtime's speed patches against its stock paths, in one binary: the
// switch f__fast_paths (1 by default, 0 only here) sends every conversion
// down the code the patches left in place. Each test runs the same runtime
// statements both ways and compares what they write or read, byte for byte
// or bit for bit; the list reads are held against strtod as well.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// The runtime's header last: its macros would break the standard headers.
#include "f2c.h"
#undef abs
#undef min
#undef max

extern "C" {
extern int f__fast_paths;
integer s_wsfi(icilist*);
integer e_wsfi(void);
integer s_rsli(icilist*);
integer e_rsli(void);
integer s_wsfe(cilist*);
integer e_wsfe(void);
integer do_fio(ftnint* number, char* ptr, ftnlen len);
integer do_lio(ftnint* type, ftnint* number, char* ptr, ftnlen len);
integer f_open(olist*);
integer f_clos(cllist*);
}

namespace {

constexpr int random_values = 1000000;

float from_bits(std::uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

std::uint32_t bits_of(float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

std::string hex(std::uint32_t bits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", bits);
  return text;
}

// Restores the fast paths however a test ends.
struct StockPaths {
  StockPaths() { f__fast_paths = 0; }
  ~StockPaths() { f__fast_paths = 1; }
};

// One internal-file formatted write of `value` (a 4-byte or an 8-byte real)
// under `format`; the record, blank-padded to 64 characters by the runtime.
template <typename Real>
std::string write_internal(const char* format, Real value) {
  char record[64];
  icilist c{};
  c.icierr = 1;
  c.iciunit = record;
  c.iciend = 1;
  c.icifmt = const_cast<char*>(format);
  c.icirlen = sizeof record;
  c.icirnum = 1;
  EXPECT_EQ(s_wsfi(&c), 0) << format;
  ftnint one = 1;
  EXPECT_EQ(do_fio(&one, reinterpret_cast<char*>(&value), sizeof value), 0) << format;
  EXPECT_EQ(e_wsfi(), 0) << format;
  return std::string(record, sizeof record);
}

template <typename Real>
std::string write_internal_both_ways(const char* format, Real value, std::string* stock) {
  {
    StockPaths s;
    *stock = write_internal(format, value);
  }
  return write_internal(format, value);
}

// The values every fixed-point comparison includes: ties and their
// neighbours, the smallest values that round up, signed zeros, subnormals,
// the neighbours of 2^24, the edges of the two fields read-SCS1 writes, the
// limit of the fast path, and the values it leaves to printf.
std::vector<float> edge_values() {
  std::vector<float> v = {0.0005f, -0.0004f, 0.0004f, -0.0005f, 0.0625f, -0.0625f, 0.1875f,
                          0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 2.5f, 0.015625f,
                          from_bits(1), from_bits(0x007fffff), from_bits(0x00800000),
                          from_bits(0x80000001), 16777216.0f, 999.9995f, 999.9994f,
                          -99.9995f, -99.9994f, 999999.9f, 1000000.0f, -99999.99f, -100000.0f,
                          9.007e12f, 9.0072e12f, 1e13f, 1e38f,
                          std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                          std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN(), from_bits(0xffc00000),
                          from_bits(0x7f800001), from_bits(0xff800001)};
  // Exact ties at 0 to 12 decimals: odd multiples of 2^-(d+1), as both
  // signs, with the floats one unit either side.
  for (int d = 0; d <= 12; ++d)
    for (int odd : {1, 3, 5, 7, 99, 12345})
      v.push_back(std::ldexp(static_cast<float>(odd), -(d + 1)));
  // The largest magnitudes each field holds (at 3 decimals, below
  // 999.9995 and 99999.9995 for a minus sign) and the first it does not.
  for (float limit : {999.9995f, 99.9995f, 999999.9995f, 99999.9995f, 16777216.0f, 8388608.5f})
    v.push_back(limit);
  const std::size_t n = v.size();
  for (std::size_t i = 0; i < n; ++i) {
    const float x = v[i];
    if (!std::isfinite(x)) continue;
    v.push_back(-x);
    v.push_back(std::nextafter(x, 0.0f));
    v.push_back(std::nextafter(x, std::numeric_limits<float>::infinity()));
    v.push_back(-std::nextafter(x, std::numeric_limits<float>::infinity()));
  }
  return v;
}

// Random values for the fixed-point comparisons: every bit pattern equally
// likely (all magnitudes, NaNs included), values in the fields' range, and
// values a few units away from a tie at 3 decimals.
std::vector<float> random_fixed_point_values(int count) {
  std::mt19937_64 rng(20261211);
  std::uniform_int_distribution<std::uint32_t> any_bits;
  std::uniform_real_distribution<float> in_field(-1200.0f, 1200.0f);
  std::uniform_int_distribution<int> tie(-16000000, 16000000);
  std::uniform_int_distribution<int> ulps(-3, 3);
  std::vector<float> v;
  v.reserve(count);
  for (int i = 0; i < count; ++i) {
    switch (i % 3) {
      case 0: v.push_back(from_bits(any_bits(rng))); break;
      case 1: v.push_back(in_field(rng)); break;
      default: {
        float x = std::ldexp(static_cast<float>(2 * tie(rng) + 1), -4);
        for (int k = ulps(rng); k != 0; k += k > 0 ? -1 : 1)
          x = std::nextafter(x, k > 0 ? 1e30f : -1e30f);
        v.push_back(x);
      }
    }
  }
  return v;
}

TEST(FixedPointOutput, EveryEdgeAtEachNumberOfDecimals) {
  char format[16];
  for (float value : edge_values()) {
    for (int d = 0; d <= 13; ++d) {
      for (int w : {d + 1, d + 2, d + 3, d + 6, 30}) {
        std::snprintf(format, sizeof format, "(F%d.%d)", w, d);
        SCOPED_TRACE(std::string(format) + " of " + hex(bits_of(value)));
        std::string stock;
        const std::string fast = write_internal_both_ways(format, value, &stock);
        ASSERT_EQ(fast, stock);
      }
    }
  }
}

TEST(FixedPointOutput, RandomValuesAtEachNumberOfDecimals) {
  const std::vector<float> values = random_fixed_point_values(100000);
  char format[16];
  for (int d = 0; d <= 12; ++d) {
    std::snprintf(format, sizeof format, "(F30.%d)", d);
    for (float value : values) {
      std::string stock;
      const std::string fast = write_internal_both_ways(format, value, &stock);
      ASSERT_EQ(fast, stock) << format << " of " << hex(bits_of(value));
    }
  }
}

// The scale factor and 8-byte reals are left to printf; they must still
// come out as before.
TEST(FixedPointOutput, ScaledAndDoublePrecisionKeepTheirDigits) {
  char format[] = "(2PF12.3)";
  for (float value : edge_values()) {
    std::string stock;
    ASSERT_EQ(write_internal_both_ways(format, value, &stock), stock) << hex(bits_of(value));
  }
  const double values[] = {0.0005, 0.1 + 0.2, 1e15 / 3, -2.5e-7, 1.0 / 3};
  for (double value : values) {
    std::string stock;
    EXPECT_EQ(write_internal_both_ways("(F30.6)", value, &stock), stock) << value;
  }
}

// read-SCS1's own record, written to a file on an external unit: the
// fixed-point digits, the field stored in one piece and the reused parsed
// format together, for the edges and a million random values, down both
// paths. The two files must be the same.
std::string write_records_to_file(const std::vector<float>& values, bool fast) {
  char path[] = "/tmp/read-scs1-runtime-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  close(fd);
  f__fast_paths = fast;
  olist o{};
  o.oerr = 1;
  o.ounit = 20;
  o.ofnm = path;
  o.ofnmlen = static_cast<ftnlen>(std::strlen(path));
  o.osta = const_cast<char*>("unknown");
  EXPECT_EQ(f_open(&o), 0);
  static char format[] = "(F7.3,3(',',F10.3))";
  for (std::size_t i = 0; i + 4 <= values.size(); i += 4) {
    cilist c{};
    c.cierr = 1;
    c.ciunit = 20;
    c.cifmt = format;
    s_wsfe(&c);
    for (std::size_t k = 0; k < 4; ++k) {
      ftnint one = 1;
      float value = values[i + k];
      do_fio(&one, reinterpret_cast<char*>(&value), sizeof value);
    }
    e_wsfe();
  }
  cllist cl{};
  cl.cerr = 1;
  cl.cunit = 20;
  f_clos(&cl);
  f__fast_paths = 1;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::remove(path);
  return bytes.str();
}

TEST(FixedPointOutput, ReadScs1RecordsOnAnExternalUnit) {
  std::vector<float> values = edge_values();
  const std::vector<float> random = random_fixed_point_values(random_values);
  values.insert(values.end(), random.begin(), random.end());
  while (values.size() % 4 != 0) values.push_back(0.0f);
  const std::string fast = write_records_to_file(values, true);
  const std::string stock = write_records_to_file(values, false);
  ASSERT_EQ(stock.size(), values.size() / 4 * 41);
  if (fast == stock) return;
  const std::size_t at = std::mismatch(fast.begin(), fast.end(), stock.begin()).second - stock.begin();
  const std::size_t record = at / 41;
  FAIL() << "record " << record << " differs: values " << hex(bits_of(values[4 * record])) << " "
         << hex(bits_of(values[4 * record + 1])) << " " << hex(bits_of(values[4 * record + 2])) << " "
         << hex(bits_of(values[4 * record + 3])) << "\nstock: " << stock.substr(record * 41, 40)
         << "\nfast:  " << fast.substr(record * 41, std::min<std::size_t>(40, fast.size() - record * 41));
}

// A parsed format is reused only for the same text at the same address.
TEST(FormatReuse, FollowsFormatsThatAlternateChangeOrMove) {
  char first[] = "('ab',F6.2)";
  char same_text_elsewhere[] = "('ab',F6.2)";
  char other[] = "(F9.4)";
  struct Step {
    const char* what;
    char* format;
    const char* replace_first_with;  // applied before the write, or null
  };
  const Step steps[] = {
      {"first", first, nullptr},
      {"first again", first, nullptr},
      {"another format", other, nullptr},
      {"first after another", first, nullptr},
      {"equal text at another address", same_text_elsewhere, nullptr},
      {"first changed in place", first, "('cd',F6.2)"},
      {"the other copy after the first changed", same_text_elsewhere, nullptr},
      {"first changed to a wider field", first, "('c',F17.3)"},
      {"first changed to a shorter format", first, "(F3.0)\0    "},
  };
  // The same statements down the stock path (the format parsed every time)
  // and the fast one; first is restored between the two runs.
  std::vector<std::string> outputs[2];
  for (int fast = 0; fast <= 1; ++fast) {
    std::memcpy(first, "('ab',F6.2)", sizeof first);
    for (const Step& step : steps) {
      if (step.replace_first_with) std::memcpy(first, step.replace_first_with, sizeof first);
      f__fast_paths = fast;
      outputs[fast].push_back(write_internal(step.format, 2.5f));
    }
    f__fast_paths = 1;
  }
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(steps[i].what);
    EXPECT_EQ(outputs[1][i], outputs[0][i]);
  }
  EXPECT_EQ(outputs[1][6].substr(0, 8), "ab  2.50");
}

// One internal-file list read of `text` into a 4-byte and an 8-byte real.
struct ListRead {
  integer status;
  float single;
  double dbl;
};

ListRead read_list(const std::string& text) {
  std::string line = text + " " + text;
  ListRead r{};
  icilist c{};
  c.icierr = 1;
  c.iciunit = line.data();
  c.iciend = 1;
  c.icirlen = static_cast<ftnint>(line.size());
  c.icirnum = 1;
  r.status = s_rsli(&c);
  ftnint real_code = 4, double_code = 5, one = 1;
  if (r.status == 0) r.status = do_lio(&real_code, &one, reinterpret_cast<char*>(&r.single), sizeof r.single);
  if (r.status == 0) r.status = do_lio(&double_code, &one, reinterpret_cast<char*>(&r.dbl), sizeof r.dbl);
  if (r.status == 0) r.status = e_rsli();
  return r;
}

std::uint64_t bits_of(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

// Reads `text` down both paths and holds both against strtod (with a
// Fortran D exponent read as E, and zero unsigned).
void expect_read_as_strtod(const std::string& text) {
  SCOPED_TRACE("\"" + text + "\"");
  ListRead stock;
  {
    StockPaths s;
    stock = read_list(text);
  }
  const ListRead fast = read_list(text);
  ASSERT_EQ(stock.status, 0);
  ASSERT_EQ(fast.status, 0);
  std::string c_text = text;
  for (char& ch : c_text)
    if (ch == 'd' || ch == 'D') ch = 'e';
  // The runtime reads a zero of either sign as +0 (it never writes a -0
  // into an item); that is its stock behaviour, kept.
  double expected = std::strtod(c_text.c_str(), nullptr);
  if (expected == 0) expected = 0.0;
  EXPECT_EQ(bits_of(fast.dbl), bits_of(expected));
  EXPECT_EQ(bits_of(stock.dbl), bits_of(expected));
  EXPECT_EQ(bits_of(fast.single), bits_of(static_cast<float>(expected)));
  EXPECT_EQ(bits_of(fast.single), bits_of(stock.single));
}

TEST(ListInputReals, EdgesReadAsStrtodReadsThem) {
  const char* texts[] = {
      "0", "-0", "0.", ".0", "000", "-0.000e5", "1", "-1", "+1", "5.", ".5", "0.5", "1.5",
      "0.0005", "-0.0004", "0.02", "123456789012345", "1234567890123456", "9007199254740993",
      "999999999999999", "9999999999999999", "0.000000000000000000001", "1e22", "1e23",
      "1e-22", "1e-23", "123456789012345e22", "123456789012345e-22", "1234567890123456e-22",
      "4.5e15", "1.7976931348623157e308", "2.2250738585072014e-308", "4.9e-324",
      "3.4028235e38", "3.4028236e38", "1.4e-45", "7.0e-46", "1e-45", "1d5", "1D-5", "2.5E+3",
      "000123.4500", "-000.000123400", "0.1e1", "10e-1", "100000000000000000000e-20",
      "1.00000000000000000000000", "0.30000000000000004", "16777217", "16777216.5", "8388608.5",
      "-229.538", "0.010010000", "   -0.123",
  };
  for (const char* text : texts) expect_read_as_strtod(text);
}

// Random decimal strings: 1 to 25 digits with leading and trailing zeros,
// with and without a decimal point and an exponent (-45 to +45), signs.
TEST(ListInputReals, RandomDecimalsReadAsStrtodReadsThem) {
  std::mt19937_64 rng(1211);
  std::uniform_int_distribution<int> digit(0, 9), count(1, 25), zeros(0, 4), coin(0, 1),
      exponent(-45, 45), sign(0, 2), style(0, 3);
  for (int i = 0; i < random_values; ++i) {
    std::string digits(static_cast<std::size_t>(zeros(rng)), '0');
    const int n = count(rng);
    for (int k = 0; k < n; ++k) digits += static_cast<char>('0' + digit(rng));
    digits += std::string(static_cast<std::size_t>(zeros(rng)), '0');
    std::string text = sign(rng) == 0 ? "-" : sign(rng) == 0 ? "+" : "";
    if (coin(rng)) {
      std::uniform_int_distribution<std::size_t> point(0, digits.size());
      digits.insert(point(rng), ".");
    }
    text += digits;
    switch (style(rng)) {
      case 0: break;
      case 1: text += "e" + std::to_string(exponent(rng)); break;
      case 2: text += "E+" + std::to_string(std::abs(exponent(rng))); break;
      default: text += "d" + std::to_string(exponent(rng)); break;
    }
    expect_read_as_strtod(text);
    if (HasFailure()) return;
  }
}

}  // namespace
