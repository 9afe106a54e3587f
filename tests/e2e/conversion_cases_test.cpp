// Runs the built read-SCS1 on every case directory under tests/cases and
// compares what it did with what the case expects, byte for byte. The
// environment variable READ_SCS1_PROGRAM names another build of the program
// to run instead (the one on the runtime without its speed patches: both
// must meet the same expectations to the byte).
//
// A case directory holds:
//   input/             files put in the run's empty working directory first
//   generate           optional: component files to make (generated_record.h)
//   stdin              optional: the standard input (absent: empty input)
//   run                optional: how to start the program, one per line:
//                        stdin closed         no standard input at all
//                        stdout /dev/full     console output to a full device
//                        address-space-mb N   a virtual memory limit (skipped
//                                             under sanitizers, which reserve
//                                             terabytes of address space)
//                        file-size-limit-kb N a limit on the size of any file
//                                             the run writes (RLIMIT_FSIZE)
//   expected/stdout    the console output
//   expected/status    "exit 0", or "abort" (the runtime's fatal error)
//   expected/stderr    the first line of standard error (empty: none at all)
//   expected/files/    every file the run creates or changes, as it must end;
//                      input files not listed here must be left unchanged,
//                      and no other file may appear
//   expected/generated-csv
//                      optional: the name of an output file whose content is
//                      the CSV the generated components must give
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "generated_record.h"

namespace fs = std::filesystem;

namespace {

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Every regular file below `dir`, by path relative to it, with its bytes.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  if (!fs::exists(dir)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), dir).string()] = read_file(entry.path());
  return files;
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// The program under test.
const char* program() {
  const char* chosen = std::getenv("READ_SCS1_PROGRAM");
  return chosen != nullptr && *chosen != '\0' ? chosen : READ_SCS1_PROGRAM;
}

struct RunOptions {
  bool stdin_closed = false;
  bool stdout_to_full_device = false;
  long address_space_mb = 0;  // 0: no limit
  long file_size_limit_kb = 0;  // 0: no limit
};

RunOptions parse_run_options(const std::string& text) {
  RunOptions o;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (line == "stdin closed") o.stdin_closed = true;
    else if (line == "stdout /dev/full") o.stdout_to_full_device = true;
    else if (line.rfind("address-space-mb ", 0) == 0) o.address_space_mb = std::stol(line.substr(17));
    else if (line.rfind("file-size-limit-kb ", 0) == 0) o.file_size_limit_kb = std::stol(line.substr(19));
    else ADD_FAILURE() << "unknown run option: " << line;
  }
  return o;
}

struct Outcome {
  std::string stdout_bytes;
  std::string stderr_bytes;
  std::string status;  // "exit N", "abort" or "signal N"
};

// Runs the program in `work` with `stdin_path` as standard input.
Outcome run_program(const fs::path& work, const fs::path& stdin_path, const fs::path& scratch,
                    const RunOptions& options) {
  const fs::path out_path = scratch / "stdout", err_path = scratch / "stderr";
  write_file(out_path, "");
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(work.c_str()) != 0) _exit(127);
    const int in = open(stdin_path.c_str(), O_RDONLY);
    const int out = options.stdout_to_full_device
                        ? open("/dev/full", O_WRONLY)
                        : open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0), dup2(out, 1), dup2(err, 2);
    for (const int fd : {in, out, err})
      if (fd > 2) close(fd);
    if (options.stdin_closed) close(0);
    if (options.address_space_mb > 0) {
      const rlim_t bytes = static_cast<rlim_t>(options.address_space_mb) << 20;
      const rlimit limit{bytes, bytes};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(127);
    }
    if (options.file_size_limit_kb > 0) {
      const rlim_t bytes = static_cast<rlim_t>(options.file_size_limit_kb) << 10;
      const rlimit limit{bytes, bytes};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
    }
    execl(program(), program(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  Outcome o;
  o.stdout_bytes = read_file(out_path);
  o.stderr_bytes = read_file(err_path);
  if (WIFEXITED(wstatus)) o.status = "exit " + std::to_string(WEXITSTATUS(wstatus));
  else if (WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGABRT) o.status = "abort";
  else o.status = "signal " + std::to_string(WTERMSIG(wstatus));
  return o;
}

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(READ_SCS1_CASES_DIR))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ConversionCase : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/read-scs1-case-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    scratch_ = pattern;
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(scratch_);
    else std::cerr << "scratch directory kept: " << scratch_ << "\n";
  }
  fs::path scratch_;
};

TEST_P(ConversionCase, MatchesExpectedFiles) {
  const fs::path dir = fs::path(READ_SCS1_CASES_DIR) / GetParam();
  const fs::path expected = dir / "expected";
  const RunOptions options =
      fs::exists(dir / "run") ? parse_run_options(read_file(dir / "run")) : RunOptions{};
#ifdef READ_SCS1_SANITIZED
  if (options.address_space_mb > 0) GTEST_SKIP() << "no address-space limit under sanitizers";
#endif
  const fs::path work = scratch_ / "work";
  fs::create_directories(work);

  if (fs::exists(dir / "input"))
    fs::copy(dir / "input", work, fs::copy_options::recursive);
  std::vector<GeneratedComponent> generated;
  if (fs::exists(dir / "generate")) {
    std::istringstream lines(read_file(dir / "generate"));
    for (std::string line; std::getline(lines, line);) {
      if (line.empty() || line[0] == '#') continue;
      generated.push_back(parse_generated_component(line));
      write_generated_component(generated.back(), work);
    }
  }
  const auto before = snapshot(work);

  const fs::path stdin_path = fs::exists(dir / "stdin") ? dir / "stdin" : fs::path("/dev/null");
  const Outcome outcome = run_program(work, stdin_path, scratch_, options);

  EXPECT_EQ(outcome.status, trimmed(read_file(expected / "status")));
  EXPECT_EQ(first_line(outcome.stderr_bytes), trimmed(read_file(expected / "stderr")))
      << "standard error:\n" << outcome.stderr_bytes;
  EXPECT_EQ(outcome.stdout_bytes, read_file(expected / "stdout"));

  // The working directory must end as the inputs, changed only as expected.
  auto want = before;
  for (const auto& [name, bytes] : snapshot(expected / "files")) want[name] = bytes;
  if (fs::exists(expected / "generated-csv"))
    want[trimmed(read_file(expected / "generated-csv"))] = expected_csv(generated);
  const auto after = snapshot(work);
  for (const auto& [name, bytes] : want) {
    SCOPED_TRACE("file " + name);
    const auto found = after.find(name);
    ASSERT_NE(found, after.end()) << "missing";
    EXPECT_EQ(found->second.size(), bytes.size());
    EXPECT_TRUE(found->second == bytes) << "content differs";
  }
  for (const auto& [name, bytes] : after)
    EXPECT_TRUE(want.count(name)) << "unexpected file: " << name;
}

INSTANTIATE_TEST_SUITE_P(Cases, ConversionCase, ::testing::ValuesIn(case_names()),
                         [](const ::testing::TestParamInfo<std::string>& param_info) {
                           std::string name = param_info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
