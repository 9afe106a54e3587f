#include "record_io.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

// The runtime's headers come last: their macros would break the standard
// headers above. The ones that clash with names used here go at once.
#include "f2c.h"
#include "sysdep1.h"
#include "fio.h"
#undef abs
#undef min
#undef max
#undef err

// The runtime's entry points. f2c.h declares only its types.
extern "C" {
integer f_open(olist*);
integer f_clos(cllist*);
integer s_rsle(cilist*);
integer e_rsle(void);
integer s_wsle(cilist*);
integer e_wsle(void);
integer do_lio(ftnint* type, ftnint* number, char* ptr, ftnlen len);
integer s_rsfe(cilist*);
integer e_rsfe(void);
integer s_wsfe(cilist*);
integer e_wsfe(void);
integer do_fio(ftnint* number, char* ptr, ftnlen len);
int s_stop(char* text, ftnlen length);
}

namespace record_io {
namespace {

// The runtime's type codes for free-format items.
constexpr ftnint integer_code = 3;  // 4-byte integer
constexpr ftnint real_code = 4;     // 4-byte real
constexpr ftnint text_code = 9;     // character

char a80_format[] = "(a80)";

// Ends the run through the runtime's fatal-error report, for a failure the
// runtime itself does not see: an operating-system reason (below 100, worded
// from errno) or one of the runtime's own error numbers.
[[noreturn]] void fail(int reason, const char* operation) {
  if (reason < 100) errno = reason;
  f__fatal(reason, operation);
  std::abort();  // not reached: the report ends the process
}

// The runtime buffers its writes and closes files and exits without looking
// at the outcome, so a full disk or a failing device would lose records
// while the run still ended with status 0. Flushing here first, and ending
// through the runtime's own fatal-error report when that fails, makes such a
// failure as loud as any other.
void flush_or_fail(int number) {
  unit* u = &f__units[number];
  if (u->ufd == nullptr || !u->uwrt) return;
  errno = 0;
  if (std::fflush(u->ufd) == 0 && !std::ferror(u->ufd)) return;
  const int reason = errno != 0 ? errno : EIO;
  f__curunit = u;
  fail(reason, "write end");
}

// The runtime converts a number read as an integer through a double with an
// unchecked cast, so a count of 2^31 or more (or below -2^31) arrives as
// -2147483648, and it rounds a real beyond single precision to infinity.
// Either would pass for data: a negative count silently drops every sample,
// an infinite time step or sample fills the CSV with "inf" and "nan". Such a
// value ends the run with the runtime's invalid-number report instead. (A
// count written as exactly -2147483648 is refused too: it cannot be told
// apart, and is no sample count either.)
void fail_if_out_of_range(const Item& item) {
  bool bad = false;
  if (item.type() == Item::Type::integer) {
    std::int32_t value;
    std::copy_n(item.address(), sizeof value, reinterpret_cast<char*>(&value));
    bad = value == std::numeric_limits<std::int32_t>::min();
  } else if (item.type() == Item::Type::real) {
    float value;
    std::copy_n(item.address(), sizeof value, reinterpret_cast<char*>(&value));
    bad = !std::isfinite(value);
  }
  if (bad) fail(ERANGE, "invalid number");
}

ftnint code_of(Item::Type type) {
  switch (type) {
    case Item::Type::integer: return integer_code;
    case Item::Type::real: return real_code;
    case Item::Type::text: return text_code;
  }
  return text_code;
}

// A sequential transfer on `unit`, with no error or end-of-file branch, so
// that every failure ends in the runtime's fatal-error report.
cilist control(int unit, const char* format) {
  cilist c{};
  c.cierr = 0;
  c.ciunit = unit;
  c.ciend = 0;
  c.cifmt = const_cast<char*>(format);
  c.cirec = 0;
  return c;
}

void transfer(const Item& item) {
  ftnint code = code_of(item.type());
  ftnint one = 1;
  do_lio(&code, &one, item.address(), static_cast<ftnlen>(item.length()));
}

}  // namespace

Text80 text80(std::string_view text) {
  Text80 field;
  field.fill(' ');
  std::copy_n(text.begin(), std::min(text.size(), field.size()), field.begin());
  return field;
}

Item::Item(std::int32_t& value)
    : type_(Type::integer), address_(reinterpret_cast<char*>(&value)), length_(sizeof value) {}

Item::Item(float& value)
    : type_(Type::real), address_(reinterpret_cast<char*>(&value)), length_(sizeof value) {}

Item::Item(Text80& text) : type_(Type::text), address_(text.data()), length_(text.size()) {}

// The runtime only reads from an item being written.
Item::Item(std::string_view text)
    : type_(Type::text), address_(const_cast<char*>(text.data())), length_(text.size()) {}

void open(int unit, const Text80& name, Status status) {
  static char old_status[] = "old";
  static char unknown_status[] = "unknown";
  olist o{};
  o.oerr = 0;
  o.ounit = unit;
  o.ofnm = const_cast<char*>(name.data());
  o.ofnmlen = static_cast<ftnlen>(name.size());
  o.osta = status == Status::old ? old_status : unknown_status;
  f_open(&o);
}

void close(int unit) {
  flush_or_fail(unit);
  cllist c{};
  c.cerr = 0;
  c.cunit = unit;
  c.csta = nullptr;
  f_clos(&c);
}

void read_list(int unit, std::initializer_list<Item> items) {
  cilist c = control(unit, nullptr);
  s_rsle(&c);
  for (const Item& item : items) transfer(item);
  e_rsle();
  for (const Item& item : items) fail_if_out_of_range(item);
}

void read_reals(int unit, float* values, std::size_t count) {
  cilist c = control(unit, nullptr);
  s_rsle(&c);
  for (std::size_t i = 0; i < count; ++i) transfer(Item(values[i]));
  e_rsle();
  for (std::size_t i = 0; i < count; ++i) fail_if_out_of_range(Item(values[i]));
}

void read_a80(int unit, Text80& field) {
  cilist c = control(unit, a80_format);
  s_rsfe(&c);
  ftnint one = 1;
  do_fio(&one, field.data(), static_cast<ftnlen>(field.size()));
  e_rsfe();
  // A record ends at a line feed or at a carriage return and line feed; the
  // runtime knows only the first, so a CR it kept as the record's last
  // character is part of the line end, not of the text. Echoed, it would
  // send the cursor back over the line; in a file name, it would name
  // another file.
  const auto last = std::find_if(field.rbegin(), field.rend(), [](char ch) { return ch != ' '; });
  if (last != field.rend() && *last == '\r') *last = ' ';
}

void write_list(int unit, std::initializer_list<Item> items) {
  cilist c = control(unit, nullptr);
  s_wsle(&c);
  for (const Item& item : items) transfer(item);
  e_wsle();
}

void write_reals(int unit, const char* format, std::initializer_list<float> values) {
  cilist c = control(unit, format);
  s_wsfe(&c);
  for (float value : values) {
    ftnint one = 1;
    do_fio(&one, reinterpret_cast<char*>(&value), sizeof value);
  }
  e_wsfe();
}

void fail_out_of_memory() {
  constexpr int out_of_free_space = 113;  // the runtime's own error number
  fail(out_of_free_space, "list in");
}

void stop() {
  flush_or_fail(stdout_unit);
  static char empty[] = "";
  s_stop(empty, 0);
  __builtin_unreachable();
}

}  // namespace record_io
