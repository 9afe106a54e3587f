#include "generated_record.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::int64_t parse_milli(const std::string& text) {
  // A decimal with at most three decimals, e.g. "-1.5" or "0.001".
  const bool negative = !text.empty() && text[0] == '-';
  const std::string digits = negative ? text.substr(1) : text;
  const auto point = digits.find('.');
  std::string whole = digits.substr(0, point);
  std::string frac = point == std::string::npos ? "" : digits.substr(point + 1);
  if (frac.size() > 3 || whole.empty()) throw std::runtime_error("bad decimal: " + text);
  frac.resize(3, '0');
  const std::int64_t milli = std::stoll(whole) * 1000 + std::stoll(frac);
  return negative ? -milli : milli;
}

// One field as "(F7.3)" or "(F10.3)" must show it: printf's fixed notation,
// no sign on a value that rounds to zero, asterisks when it does not fit.
std::string fixed_field(float value, int width) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(value));
  std::string s = text;
  if (s == "-0.000") s = "0.000";
  if (static_cast<int>(s.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}

}  // namespace

std::string GeneratedComponent::sample_text(std::int64_t n) const {
  const std::int64_t milli = base_milli + n * step_milli;
  const std::int64_t magnitude = milli < 0 ? -milli : milli;
  char text[64];
  std::snprintf(text, sizeof text, "%s%" PRId64 ".%03" PRId64, milli < 0 ? "-" : "",
                magnitude / 1000, magnitude % 1000);
  return text;
}

GeneratedComponent parse_generated_component(const std::string& line) {
  std::istringstream in(line);
  GeneratedComponent c;
  if (!(in >> c.file_name)) throw std::runtime_error("no file name in: " + line);
  bool samples_given = false;
  for (std::string word; in >> word;) {
    const auto eq = word.find('=');
    if (eq == std::string::npos) throw std::runtime_error("expected key=value: " + word);
    const std::string key = word.substr(0, eq), value = word.substr(eq + 1);
    if (key == "nt") c.nt_text = value;
    else if (key == "dt") c.dt_text = value;
    else if (key == "samples") {
      c.samples = std::stoll(value);
      samples_given = true;
    }
    else if (key == "per-record") c.per_record = std::stoi(value);
    else if (key == "trailer") c.trailer = value != "0";
    else if (key == "line-end") c.line_end = value == "crlf" ? "\r\n" : value == "cr" ? "\r" : "\n";
    else if (key == "final-line-end") c.final_line_end = value != "0";
    else if (key == "title-bytes") c.title_bytes = std::stoul(value);
    else if (key == "base") c.base_milli = parse_milli(value);
    else if (key == "step") c.step_milli = parse_milli(value);
    else throw std::runtime_error("unknown key: " + key);
  }
  if (c.nt_text.empty() || c.dt_text.empty()) throw std::runtime_error("nt and dt needed: " + line);
  if (!samples_given) c.samples = std::max<std::int64_t>(0, std::stoll(c.nt_text));
  if (c.per_record < 1) throw std::runtime_error("per-record must be positive: " + line);
  return c;
}

void write_generated_component(const GeneratedComponent& c, const std::filesystem::path& dir) {
  std::ostringstream out;
  const std::string& eol = c.line_end;
  if (c.title_bytes > 0) out << std::string(c.title_bytes, 'T') << eol;
  else out << "Generated test record " << c.file_name << eol;
  for (int r = 2; r <= 15; ++r) out << "header text record " << r << eol;
  out << c.nt_text << " 1 2 3" << eol;
  out << c.dt_text << " 0.5 0.25" << eol;
  for (int r = 18; r <= 45; ++r) out << r << " 0 0 0" << eol;
  out << c.samples << " points of generated data" << eol;
  for (std::int64_t n = 1; n <= c.samples; ++n) {
    out << ' ' << c.sample_text(n);
    if (n % c.per_record == 0 || n == c.samples) out << eol;
  }
  if (c.trailer) out << "trailing section, never read" << eol;
  std::string bytes = out.str();
  if (!c.final_line_end && bytes.size() >= eol.size()) bytes.resize(bytes.size() - eol.size());
  std::ofstream file(dir / c.file_name, std::ios::binary);
  file << bytes;
  if (!file) throw std::runtime_error("cannot write " + (dir / c.file_name).string());
}

std::string expected_csv(const std::vector<GeneratedComponent>& components) {
  if (components.size() != 3) throw std::runtime_error("expected_csv needs the three components");
  const GeneratedComponent& third = components[2];
  const std::int64_t nt = std::stoll(third.nt_text);
  const float dt = static_cast<float>(std::strtod(third.dt_text.c_str(), nullptr));
  // What each load stores: its first min(samples, nt) samples.
  std::vector<std::int64_t> stored;
  for (const auto& c : components)
    stored.push_back(std::min(c.samples, std::max<std::int64_t>(0, std::stoll(c.nt_text))));
  auto sample = [&](std::size_t k, std::int64_t n) {
    if (n > stored[k]) return 0.0f;
    return static_cast<float>(std::strtod(components[k].sample_text(n).c_str(), nullptr));
  };
  std::string csv;
  for (std::int64_t i = 1; i <= nt; ++i) {
    const float t = static_cast<float>(static_cast<double>(i - 1) * static_cast<double>(dt));
    csv += fixed_field(t, 7);
    for (std::size_t k = 0; k < components.size(); ++k) csv += "," + fixed_field(sample(k, i), 10);
    csv += '\n';
  }
  return csv;
}
