// read-SCS1: converts one three-component strong-motion acceleration record,
// given as three CDMG-type component files in the current directory, into one
// CSV file of time and the three accelerations.
//
// The f2c runtime's start-up (its main) records the arguments, installs its
// signal handlers, connects standard input, output and error to units 5, 6
// and 0, and then calls MAIN__ below, which runs the conversion once.

#include <cstdint>
#include <new>

#include "component_reader.h"
#include "csv_writer.h"
#include "record_io.h"
#include "sample_array.h"

using namespace record_io;

namespace {

// The three components, sample n at position n; they live for the whole run.
// They are emptied when a run starts rather than when it ends, since a run
// that stops on an error report never returns here.
SampleArray x, y, z;

void run() {
  write_list(stdout_unit, {"Program for Reading CDMG-TYpe Strong Motion Data"});
  write_list(stdout_unit, {});
  write_list(stdout_unit, {"Enter 1st File Name of 3 Components"});
  write_list(stdout_unit, {"Enter 2nd File Name of 3 Components"});
  write_list(stdout_unit, {"Enter 3rd File Name of 3 Components"});

  // The prompts are shown, but the names are fixed: nothing is read here.
  Text80 infile1 = text80("SCS1-N38W.txt");
  const Text80 infile2 = text80("SCS1-S52W.txt");
  const Text80 infile3 = text80("SCS1-UP.txt");

  // Each load overwrites nt and dt, so the output uses the third file's.
  std::int32_t nt = 0;
  float dt = 0.0f;
  load_component(infile1, x, nt, dt);
  load_component(infile2, y, nt, dt);
  load_component(infile3, z, nt, dt);

  write_csv(nt, dt, x, y, z, infile1);
}

}  // namespace

// One whole run per call, from nothing: a process normally makes one, but a
// fuzzing harness makes many in one process, each after the last one's end
// (including an error report), and each must start as a fresh process does.
extern "C" int MAIN__(void) {
  begin_run();
  x = SampleArray();
  y = SampleArray();
  z = SampleArray();
  // Sample storage grows with the data; a record larger than the memory the
  // process may have fails like any other I/O failure, with the runtime's
  // report naming the file being read.
  try {
    run();
  } catch (const std::bad_alloc&) {
    fail_out_of_memory();
  }
  stop();
}
