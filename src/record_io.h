// A thin, typed layer over the f2c runtime's record I/O.
//
// Every transfer the program makes goes through the runtime, one statement
// per call here, with error and end-of-file branches off: any failure ends
// the process inside the runtime with its fatal-error report on standard
// error and abnormal termination. None of these functions returns on failure.
//
// The runtime's own header (f2c.h) stays inside record_io.cpp: its macros
// (abs, min, max, ...) break the C++ standard library headers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace record_io {

// A text field of exactly 80 characters, blank-padded, with no terminator.
using Text80 = std::array<char, 80>;

// `text` blank-padded (or cut) to 80 characters.
Text80 text80(std::string_view text);

// The units the program uses. The runtime's start-up connects 5 and 6.
constexpr int stdin_unit = 5;
constexpr int stdout_unit = 6;
constexpr int file_unit = 11;

enum class Status {
  old,      // the file must exist
  unknown,  // an existing file is opened for update, a missing one created
};

// One item of a free-format transfer: a 4-byte integer, a 4-byte real or a
// text. Items refer to the caller's storage; a read stores into it.
class Item {
 public:
  Item(std::int32_t& value);      // NOLINT: implicit, so item lists read naturally
  Item(float& value);             // NOLINT
  Item(Text80& text);             // NOLINT
  Item(std::string_view text);    // NOLINT: output only
  Item(const char* text) : Item(std::string_view(text)) {}  // NOLINT: output only

  enum class Type { integer, real, text };
  Type type() const { return type_; }
  char* address() const { return address_; }
  std::size_t length() const { return length_; }

 private:
  Type type_;
  char* address_;
  std::size_t length_;
};

// Prepares the run's I/O: no records written yet on any unit, and a
// file-size limit makes a write fail, reported with "File too large",
// instead of killing the process.
void begin_run();

// Connects `unit` to the file named by `name`. The runtime removes trailing
// blanks from the name; leading blanks stay part of it.
void open(int unit, const Text80& name, Status status);

// Disconnects `unit`, keeping the file. After a write, the runtime cuts the
// file at the end of what was written. Records that cannot be written out
// end the run with the runtime's write failure report.
void close(int unit);

// Free-format read statement: starts at the next record, takes records until
// every item is satisfied, and discards the rest of the last record taken.
// An empty list consumes one record. A number that does not fit its item (an
// integer beyond 32 bits, a real beyond single precision) is an invalid
// number, like any other.
void read_list(int unit, std::initializer_list<Item> items);

// Free-format read statement into `count` consecutive reals.
void read_reals(int unit, float* values, std::size_t count);

// Fixed-format read statement with the format "(a80)": one record into an
// 80-character field, blank-filled when shorter, cut when longer. A record's
// line end (LF, or CR LF) is not part of it.
void read_a80(int unit, Text80& field);

// Free-format write statement: one console record of `items`.
//
// A write statement whose characters the operating system refuses (a full
// disk or device, a file-size limit, an I/O error) ends the run at once with
// the runtime's "write end" report and the system's reason; records written
// before it stay, and a file of records all alike is cut back to its last
// whole record. The runtime buffers records, so the statement that fails is
// the one that fills a buffer the system refuses.
void write_list(int unit, std::initializer_list<Item> items);

// Formatted write statement of reals under `format`, failing as write_list
// does. The format must outlive the call (the runtime quotes it in its
// failure report).
void write_reals(int unit, const char* format, std::initializer_list<float> values);

// Ends the run with the runtime's "out of free space" report, for storage
// the program could not get while reading the unit last used.
[[noreturn]] void fail_out_of_memory();

// Ends the run with an empty stop text: no message, exit status 0, and the
// runtime's at-exit flush and close of every unit. Console lines that cannot
// be written out end the run with the runtime's write failure report.
[[noreturn]] void stop();

}  // namespace record_io
