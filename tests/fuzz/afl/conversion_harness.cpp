// A harness for coverage-guided fuzzing (AFL++) of the whole conversion run.
//
//   conversion_harness INPUT
//
// INPUT is one file holding the three component files and the standard
// input, in this order, separated by the byte 0x1E (ASCII record
// separator):
//
//   SCS1-N38W.txt 0x1E SCS1-S52W.txt 0x1E SCS1-UP.txt 0x1E standard input
//
// With fewer separators, the files after the last part are missing (the
// first always exists) and standard input is empty. Bytes after a fourth
// separator belong to standard input.
//
// The harness lays the parts out in a scratch directory on /dev/shm (one per
// fuzzer process, emptied for every input), and runs the conversion there
// exactly as the program runs: the runtime's own start-up, which calls
// MAIN__, with standard input, output and error on files. It runs in the
// harness's own process (AFL's fork server gives each input a fresh one), so
// the end of the run is judged where it happens: at exit, or where abort is
// called (the harness is linked with --wrap=abort), told apart from a
// sanitizer's report by the sanitizers' death callback.
// For safety, an output name that holds a slash is kept in the scratch
// directory (each slash becomes '_'), except the devices /dev/null and
// /dev/full.
//
// The child's end is sorted as the mutation fuzzer sorts it:
//   expected  exit status 0 with nothing on standard error and an output file
//             of max(0, nt) whole 40-character records (nt as echoed for the
//             third file); or SIGABRT after the runtime's fatal-error report
//             ("operation: reason" and "apparent state: ..."), with no
//             sanitizer report, leaving an output file of whole records only;
//   fault     anything else: a sanitizer report, any other signal or exit
//             status, a malformed output file.
// The harness exits 0 for an expected end, and aborts after printing the
// reason (and the run's standard error) for a fault, so that the fuzzer
// records it as a crash. A hang is the fuzzer's time-out.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// The runtime's start-up (its main, compiled under another name for this
// harness): records the arguments, installs its signal handlers, connects
// the standard units, calls MAIN__ and exits.
extern "C" int f2c_runtime_main(int argc, char** argv);

// abort itself; calls of abort from the program and the runtime come to
// __wrap_abort below.
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

// What the judgement of the run's end needs.
struct Run {
  fs::path scratch;        // holds run/ (the working directory), stdin, stdout, stderr
  fs::path target;         // the output file, when the name is a file's
  bool to_file = false;
  std::optional<std::string> before;  // the output file's bytes before the run
  int harness_stderr = 2;  // the harness's own standard error, for its verdicts
  volatile bool sanitizer_reported = false;
};
Run the_run;

void say(const std::string& text) {
  const ssize_t n = write(the_run.harness_stderr, text.data(), text.size());
  (void)n;
}

// A fault: the reason and the run's standard error, then a crash.
[[noreturn]] void fault(const std::string& why, const std::string& detail) {
  say("conversion_harness: fault: " + why + "\n" + detail + "\n");
  dump_coverage();
  __real_abort();
}

// The name the program will read: the first line of standard input, cut at
// 80 columns, trailing blanks removed (leading blanks stay).
std::string output_name(const std::string& input) {
  std::string name = input.substr(0, input.find('\n'));
  if (name.size() > 80) name.resize(80);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (!name.empty() && name.back() == '\r') name.pop_back();
  return name;
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
bool whole_records(const std::string& csv, long long* count) {
  if (csv.size() % 41 != 0) return false;
  for (std::size_t at = 0; at < csv.size(); at += 41) {
    if (csv[at + 40] != '\n' || csv[at + 7] != ',' || csv[at + 18] != ',' || csv[at + 29] != ',')
      return false;
    for (std::size_t k = 0; k < 40; ++k) {
      const char ch = csv[at + k];
      if (k == 7 || k == 18 || k == 29) continue;
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
void judge_exit() {
  const std::string console = read_file(the_run.scratch / "stdout");
  const std::string err = read_file(the_run.scratch / "stderr");
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

// The expected end through exit: judged, then the scratch directory goes.
void judge_exit_and_clean_up() {
  judge_exit();
  std::error_code ec;
  fs::remove_all(the_run.scratch, ec);
}

}  // namespace

// The run called abort. After the runtime's fatal-error report, with no
// sanitizer report, that is an expected end, as long as the output file
// holds whole records only; anything else is a fault.
extern "C" [[noreturn]] void __wrap_abort(void) {
  if (the_run.sanitizer_reported) fault("sanitizer report", read_file(the_run.scratch / "stderr"));
  const std::string err = read_file(the_run.scratch / "stderr");
  if (!runtime_report(err)) fault("abort without the runtime's report", err);
  if (the_run.to_file && fs::is_regular_file(the_run.target)) {
    const std::string out = read_file(the_run.target);
    long long records = 0;
    if (out != the_run.before && !whole_records(out, &records))
      fault("runtime error leaving part of a record", err);
  }
  std::error_code ec;
  fs::remove_all(the_run.scratch, ec);
  dump_coverage();
  _exit(0);
}

namespace {

void on_sanitizer_death() {
  the_run.sanitizer_reported = true;
  say(read_file(the_run.scratch / "stderr"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s INPUT\n", argv[0]);
    return 2;
  }
  const std::string input = read_file(argv[1]);

  std::vector<std::string> parts;
  std::size_t start = 0;
  while (parts.size() < 3) {
    const std::size_t at = input.find(separator, start);
    if (at == std::string::npos) break;
    parts.push_back(input.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(input.substr(start));

  // One scratch directory per fuzzer process: every input is a fork of it.
  Run& r = the_run;
  r.scratch = fs::path("/dev/shm/read-scs1-afl") / std::to_string(getppid());
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
  if (r.to_file && fs::is_regular_file(r.target)) r.before = read_file(r.target);

  r.harness_stderr = dup(2);
  if (chdir(run.c_str()) != 0) fault("chdir failed", std::strerror(errno));
  const int in = open((r.scratch / "stdin").c_str(), O_RDONLY);
  const int out = open((r.scratch / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = open((r.scratch / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0) fault("cannot set up standard streams", std::strerror(errno));
  dup2(in, 0), dup2(out, 1), dup2(err, 2);
  close(in), close(out), close(err);

  // Registered before the runtime's own at-exit close of its units, so run
  // after it, on the files as the run left them.
  std::atexit(judge_exit_and_clean_up);
  if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(on_sanitizer_death);
  char program[] = "read-SCS1";
  char* run_argv[] = {program, nullptr};
  f2c_runtime_main(1, run_argv);
  return 0;  // not reached: the start-up exits
}
