// A harness for coverage-guided fuzzing (AFL++) of the whole conversion run.
//
//   conversion_harness                    (built with afl-clang-fast) runs the
//                                         inputs AFL++ hands over in shared
//                                         memory, many in one process
//   conversion_harness [--keep DIR] INPUT...
//                                         runs each INPUT file in turn, in this
//                                         process; with --keep, what run N left
//                                         (stdout, stderr, output, ending) is
//                                         copied to DIR/N
//   conversion_harness --runtime-state    lists the runtime's variables and
//                                         what happens to each between runs
//
// An input holds the three component files and the standard input, in this
// order, separated by the byte 0x1E (ASCII record separator):
//
//   SCS1-N38W.txt 0x1E SCS1-S52W.txt 0x1E SCS1-UP.txt 0x1E standard input
//
// With fewer separators, the files after the last part are missing (the
// first always exists) and standard input is empty. Bytes after a fourth
// separator belong to standard input.
//
// For each input the harness lays the parts out in a scratch directory on
// /dev/shm (one per fuzzer process, emptied for every input), and runs the
// conversion there exactly as the program runs: the runtime's own start-up,
// which calls MAIN__, with standard input, output and error on files. The run
// ends where the program's process would end: in exit or in abort (the
// harness is linked with --wrap=exit and --wrap=abort), told apart from a
// sanitizer's report by the sanitizers' death callback. The harness then does
// what the end of the process would do (the runtime's units closed, stdio's
// buffers written at exit or dropped at abort), judges the run, and puts the
// runtime's process-wide state back as it was before the first run
// (runtime_state.c), so that the next run starts as in a fresh process.
// For safety, an output name that holds a slash is kept in the scratch
// directory (each slash becomes '_'), except the devices /dev/null and
// /dev/full.
//
// The run's end is sorted as the mutation fuzzer sorts it:
//   expected  exit status 0 with nothing on standard error and an output file
//             of max(0, nt) whole 40-character records (nt as echoed for the
//             third file); or abort after the runtime's fatal-error report
//             ("operation: reason" and "apparent state: ..."), with no
//             sanitizer report, leaving an output file of whole records only;
//   fault     anything else: a sanitizer report, a signal, another exit
//             status, a malformed output file.
// For a fault the harness prints the reason (and the run's standard error)
// and aborts, so that the fuzzer records a crash. A hang is the fuzzer's
// time-out.
#include <fcntl.h>
#include <setjmp.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "runtime_state.h"

namespace fs = std::filesystem;

// The runtime's start-up (its main, compiled under another name for this
// harness): records the arguments, installs its signal handlers, connects
// the standard units, registers its at-exit close, calls MAIN__ and exits.
// Each run registers that close once more; it does its work only once a
// process, and the harness closes the units itself after every run.
extern "C" int f2c_runtime_main(int argc, char** argv);

// exit and abort themselves; calls from the program, the runtime and the
// sanitizers come to __wrap_exit and __wrap_abort below.
extern "C" [[noreturn]] void __real_exit(int status);
extern "C" [[noreturn]] void __real_abort(void);

// Called by AddressSanitizer and UndefinedBehaviorSanitizer after a report,
// before they end the process; absent from a build without them.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

// gcov's counters, written out in a coverage build (scripts/coverage) before
// the harness ends without exit.
#ifdef READ_SCS1_COVERAGE
extern "C" void __gcov_dump(void);
void dump_coverage() { __gcov_dump(); }
#else
void dump_coverage() {}
#endif

namespace {

constexpr char separator = '\x1e';
const char* const component_names[] = {"SCS1-N38W.txt", "SCS1-S52W.txt", "SCS1-UP.txt"};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Where the harness stands: before the first run, in a run, or after one
// (and how it ended). exit and abort end a run only while one is running.
enum Ending { none, running, exited, aborted };

// What the judgement of the run's end needs.
struct Run {
  fs::path scratch;        // holds run/ (the working directory), stdin, stdout, stderr
  fs::path target;         // the output file, when the name is a file's
  bool to_file = false;
  std::optional<std::string> before;  // the output file's bytes before the run
  int harness_stderr = 2;  // the harness's own standard error, for its verdicts
  volatile Ending ending = none;
  volatile int exit_status = 0;
  volatile bool sanitizer_reported = false;
};
Run the_run;
jmp_buf run_end;

void say(const std::string& text) {
  const ssize_t n = write(the_run.harness_stderr, text.data(), text.size());
  (void)n;
}

// A fault: the reason and the run's standard error, then a crash (without
// the runtime's handler for SIGABRT, which would report once more).
[[noreturn]] void fault(const std::string& why, const std::string& detail) {
  say("conversion_harness: fault: " + why + "\n" + detail + "\n");
  dump_coverage();
  std::signal(SIGABRT, SIG_DFL);
  __real_abort();
}

// The name of the file the program will write: the first line of standard
// input, cut at 80 columns, a CR that is its last character but blanks taken
// as part of the line end, trailing blanks removed (leading blanks stay),
// and ended by a NUL as the C library sees it.
std::string output_name(const std::string& input) {
  std::string name = input.substr(0, input.find('\n'));
  if (name.size() > 80) name.resize(80);
  const std::size_t last = name.find_last_not_of(' ');
  if (last != std::string::npos && name[last] == '\r') name[last] = ' ';
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name.substr(0, name.find('\0'));
}

// Standard input with slashes in the name line taken out, unless it names
// one of the two devices the fuzzer may write to.
std::string confined(std::string input) {
  const std::string name = output_name(input);
  if (name == "/dev/null" || name == "/dev/full") return input;
  const std::size_t end = std::min(input.find('\n'), input.size());
  for (std::size_t i = 0; i < end; ++i)
    if (input[i] == '/') input[i] = '_';
  return input;
}

// nt as echoed for the third file ("dt & nt=" lines), if three were echoed.
std::optional<long long> third_count(const std::string& console) {
  std::vector<long long> counts;
  std::istringstream lines(console);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find("dt & nt=");
    if (at == std::string::npos) continue;
    std::istringstream fields(line.substr(at + 8));
    std::string dt;
    long long nt;
    if (fields >> dt >> nt) counts.push_back(nt);
  }
  if (counts.size() != 3) return std::nullopt;
  return counts[2];
}

// Whole records of the CSV layout only: 40 characters and a line end each.
// A time beyond single precision is infinite, written "inf" or "-inf".
bool whole_records(const std::string& csv, long long* count) {
  if (csv.size() % 41 != 0) return false;
  for (std::size_t at = 0; at < csv.size(); at += 41) {
    if (csv[at + 40] != '\n' || csv[at + 7] != ',' || csv[at + 18] != ',' || csv[at + 29] != ',')
      return false;
    const std::string time = csv.substr(at, 7);
    const bool infinite_time = time == "    inf" || time == "   -inf";
    for (std::size_t k = 0; k < 40; ++k) {
      const char ch = csv[at + k];
      if (k == 7 || k == 18 || k == 29 || (k < 7 && infinite_time)) continue;
      if (!(ch == ' ' || ch == '-' || ch == '.' || ch == '*' || (ch >= '0' && ch <= '9'))) return false;
    }
  }
  *count = static_cast<long long>(csv.size() / 41);
  return true;
}

bool runtime_report(const std::string& err) {
  const bool sanitizer = err.find("Sanitizer") != std::string::npos ||
                         err.find("runtime error:") != std::string::npos;
  return !sanitizer && err.find(": ") != std::string::npos &&
         err.find("apparent state:") != std::string::npos;
}

// The run ended through exit: it claims success, so the console must show
// three loads and the output file hold exactly the records it should.
void judge_exit(int status) {
  const std::string console = read_file(the_run.scratch / "stdout");
  const std::string err = read_file(the_run.scratch / "stderr");
  if (status != 0) fault("exit status " + std::to_string(status), err);
  if (!err.empty()) fault("exit with a report on standard error", err);
  const std::optional<long long> nt = third_count(console);
  if (!nt) fault("success without three dt & nt lines", console);
  if (!the_run.to_file) return;  // a device
  if (*nt <= 0 && fs::is_directory(the_run.target)) return;
  if (!fs::is_regular_file(the_run.target)) fault("success without an output file", "");
  const std::string out = read_file(the_run.target);
  if (*nt <= 0 && the_run.before) {
    if (out != *the_run.before) fault("no records, yet the existing file changed", "");
    return;
  }
  long long records = 0;
  if (!whole_records(out, &records) || records != std::max(0LL, *nt))
    fault("success with a wrong output file", "nt=" + std::to_string(*nt));
}

// The run called abort. After the runtime's fatal-error report, with no
// sanitizer report, that is an expected end, as long as the output file
// holds whole records only; anything else is a fault.
void judge_abort() {
  const std::string err = read_file(the_run.scratch / "stderr");
  if (!runtime_report(err)) fault("abort without the runtime's report", err);
  if (the_run.to_file && fs::is_regular_file(the_run.target)) {
    const std::string out = read_file(the_run.target);
    long long records = 0;
    if (out != the_run.before && !whole_records(out, &records))
      fault("runtime error leaving part of a record", err);
  }
}

void on_sanitizer_death() {
  the_run.sanitizer_reported = true;
  say(read_file(the_run.scratch / "stderr"));
}

// Copies what the run left, for comparing runs made in one process with
// runs made each in its own.
void keep(const fs::path& dir, Ending ending) {
  fs::create_directories(dir);
  for (const char* name : {"stdout", "stderr"}) write_file(dir / name, read_file(the_run.scratch / name));
  if (the_run.to_file && fs::is_regular_file(the_run.target))
    write_file(dir / "output", read_file(the_run.target));
  const std::string how =
      ending == exited ? "exit " + std::to_string(the_run.exit_status) + "\n" : std::string("abort\n");
  write_file(dir / "ending", how);
}

// One whole run of the conversion on one input.
void run_one(const std::string& input, const std::optional<fs::path>& keep_dir) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (parts.size() < 3) {
    const std::size_t at = input.find(separator, start);
    if (at == std::string::npos) break;
    parts.push_back(input.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(input.substr(start));

  Run& r = the_run;
  std::error_code ec;
  fs::remove_all(r.scratch, ec);
  const fs::path run = r.scratch / "run";
  fs::create_directories(run);
  std::string stdin_bytes;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i < 3) write_file(run / component_names[i], parts[i]);
    else stdin_bytes = confined(parts[i]);
  }
  // Standard input and the console live beside, not in, the run directory.
  write_file(r.scratch / "stdin", stdin_bytes);
  const std::string name = output_name(stdin_bytes);
  r.target = run / name;
  r.to_file = !name.empty() && name[0] != '/';
  r.before.reset();
  if (r.to_file && fs::is_regular_file(r.target)) r.before = read_file(r.target);

  if (chdir(run.c_str()) != 0) fault("chdir failed", std::strerror(errno));
  const int in = open((r.scratch / "stdin").c_str(), O_RDONLY);
  const int out = open((r.scratch / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = open((r.scratch / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0) fault("cannot set up standard streams", std::strerror(errno));
  dup2(in, 0), dup2(out, 1), dup2(err, 2);
  close(in), close(out), close(err);
  // The standard streams as a new process has them: nothing buffered, no
  // end of file or error seen.
  for (FILE* f : {stdin, stdout, stderr}) __fpurge(f), clearerr(f);

  char program[] = "read-SCS1";
  char* run_argv[] = {program, nullptr};
  r.ending = running;
  if (setjmp(run_end) == 0) {
    f2c_runtime_main(1, run_argv);
    fault("the runtime's start-up returned", "");
  }
  const Ending ending = r.ending;

  // The end of the process: the runtime's units closed (its at-exit close,
  // or the close in its fatal-error report), then stdio's buffers written at
  // exit, or dropped by abort.
  runtime_close_units();
  if (ending == exited) std::fflush(stdout);
  else __fpurge(stdout);
  std::fflush(stderr);

  if (ending == exited) judge_exit(r.exit_status);
  else judge_abort();
  if (keep_dir) keep(*keep_dir, ending);

  runtime_state_restore();
  if (chdir("/") != 0) fault("chdir failed", std::strerror(errno));
  fs::remove_all(r.scratch, ec);
}

}  // namespace

extern "C" [[noreturn]] void __wrap_exit(int status) {
  if (the_run.ending != running) __real_exit(status);
  the_run.ending = exited;
  the_run.exit_status = status;
  longjmp(run_end, 1);
}

extern "C" [[noreturn]] void __wrap_abort(void) {
  if (the_run.sanitizer_reported) fault("sanitizer report", read_file(the_run.scratch / "stderr"));
  if (the_run.ending != running) fault("abort outside a run", "");
  the_run.ending = aborted;
  longjmp(run_end, 1);
}

#ifdef __AFL_FUZZ_TESTCASE_LEN
__AFL_FUZZ_INIT();
#endif

int main(int argc, char** argv) {
  std::vector<std::string> inputs;
  std::optional<fs::path> keep_dir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runtime-state") {
      runtime_state_list(stdout);
      return 0;
    }
    // Absolute: every run changes the working directory.
    if (arg == "--keep" && i + 1 < argc) keep_dir = fs::absolute(argv[++i]);
    else inputs.push_back(fs::absolute(arg));
  }

  // One scratch directory per fuzzer process (the fork server's children
  // share it, one at a time).
  the_run.scratch = fs::path("/dev/shm/read-scs1-afl") / std::to_string(getppid());
  the_run.harness_stderr = dup(2);
  if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(on_sanitizer_death);
  runtime_state_save();

#ifdef __AFL_FUZZ_TESTCASE_LEN
  // AFL++'s own macros, as they come.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wgnu-statement-expression"
#pragma clang diagnostic ignored "-Wshorten-64-to-32"
  // The fork server starts here (after the set-up above), also for input
  // files, as afl-cmin and afl-showmap run the harness.
  __AFL_INIT();
  if (inputs.empty()) {
    const unsigned char* buffer = __AFL_FUZZ_TESTCASE_BUF;
    while (__AFL_LOOP(10000)) {
      run_one(std::string(reinterpret_cast<const char*>(buffer), __AFL_FUZZ_TESTCASE_LEN), std::nullopt);
    }
    return 0;
  }
#pragma clang diagnostic pop
#endif
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s [--keep DIR] INPUT... | --runtime-state\n", argv[0]);
    return 2;
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    std::optional<fs::path> dir;
    if (keep_dir) dir = *keep_dir / std::to_string(i);
    run_one(read_file(inputs[i]), dir);
  }
  return 0;
}
