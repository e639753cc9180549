// Real inputs for tests: files every build machine has (system headers, the Python standard
// library). Test-only.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qv::test {

// The bytes of a file; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Path of a module of the installed Python 3 standard library ("shlex.py"), whatever its
// minor version; empty when none is installed.
inline std::string PythonLibFile(const std::string& name) {
  std::error_code ec;
  for (const auto& dir : std::filesystem::directory_iterator("/usr/lib", ec)) {
    const std::string base = dir.path().filename().string();
    if (base.rfind("python3", 0) == 0 && std::filesystem::exists(dir.path() / name, ec))
      return (dir.path() / name).string();
  }
  return {};
}

// The headers directly in /usr/include in name order, concatenated until the text holds at
// least limit bytes (or all of them).
inline std::string SystemHeaders(size_t limit) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/usr/include", ec))
    if (e.path().extension() == ".h") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::string bytes;
  for (const auto& f : files) {
    if (bytes.size() > limit) break;
    bytes += ReadFile(f.string());
  }
  return bytes;
}

}  // namespace qv::test
