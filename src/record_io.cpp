#include "record_io.h"

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
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

// The length of the records written so far on each unit, while they are all
// alike (0: none yet, -1: of different lengths), so that a file cut by a
// failing write can be brought back to its last whole record.
std::array<long, MXUNIT> record_lengths{};

void note_record_length(int number, long length) {
  long& known = record_lengths[static_cast<std::size_t>(number)];
  if (known == 0) known = length;
  else if (known != length) known = -1;
}

// Ends the run for a write on unit `number` that the operating system
// refused (a full disk, a file-size limit, a failing device), with its
// reason. What stdio still holds for the file is dropped rather than tried
// again at exit, and a regular file whose records are all alike is cut back
// to its last whole record, so that it never ends in part of one: the
// records written before the failure stay.
[[noreturn]] void fail_write(int number, int reason) {
  unit* u = &f__units[number];
  __fpurge(u->ufd);
  const long length = record_lengths[static_cast<std::size_t>(number)];
  struct stat st {};
  const int fd = fileno(u->ufd);
  if (length > 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size % length != 0) {
    if (ftruncate(fd, st.st_size - st.st_size % length) != 0) reason = errno;
  }
  f__curunit = u;
  fail(reason != 0 ? reason : EIO, "write end");
}

// The runtime writes through stdio and looks at the outcome nowhere, so a
// failed write would go unnoticed: every later record would be formatted
// into a stream that has already failed, and the run would end with status
// 0 or with a reason long lost. Each write statement is checked as soon as
// it is done instead; `reason` is errno as the statement left it (set to 0
// before it), which the failing write set.
void fail_if_write_failed(int number, int reason) {
  FILE* f = f__units[number].ufd;
  if (f != nullptr && ferror_unlocked(f)) fail_write(number, reason);
}

// Writes out what stdio still holds for the unit, and ends the run if that
// fails: the runtime closes files and exits without looking.
void flush_or_fail(int number) {
  unit* u = &f__units[number];
  if (u->ufd == nullptr || !u->uwrt) return;
  errno = 0;
  if (std::fflush(u->ufd) == 0 && !std::ferror(u->ufd)) return;
  fail_write(number, errno);
}

// The runtime rounds a real beyond single precision to infinity, which would
// pass for data: an infinite time step or sample fills the CSV with "inf" and
// "nan". Such a value ends the run with the runtime's invalid-number report
// instead. (The runtime's own fix refuses a count beyond 32 bits in the same
// words; a count written as exactly -2147483648, which once stood for any
// count out of range, stays refused: it is no sample count either.)
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

void begin_run() {
  record_lengths.fill(0);
  // A file-size limit would kill the process with SIGXFSZ in the middle of
  // a write, without a word and with a record cut in two. Ignored, the limit
  // makes the write fail with EFBIG, reported like any other failed write.
  std::signal(SIGXFSZ, SIG_IGN);
}

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
  record_lengths[static_cast<std::size_t>(unit)] = 0;
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
  errno = 0;
  s_wsle(&c);
  for (const Item& item : items) transfer(item);
  e_wsle();
  fail_if_write_failed(unit, errno);
}

void write_reals(int unit, const char* format, std::initializer_list<float> values) {
  cilist c = control(unit, format);
  errno = 0;
  s_wsfe(&c);
  for (float value : values) {
    ftnint one = 1;
    do_fio(&one, reinterpret_cast<char*>(&value), sizeof value);
  }
  // The record's characters, and its line end, are about to be written.
  note_record_length(unit, std::max<long>(f__recpos, f__hiwater) + 1);
  e_wsfe();
  fail_if_write_failed(unit, errno);
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
