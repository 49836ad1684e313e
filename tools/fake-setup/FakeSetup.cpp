// A stand-in for the database server's setup program: it records the exact
// command line it was started with and its current folder, beside itself in
// setup-command-line.txt and setup-current-dir.txt, then takes its time and
// exits as fake-setup.txt beside it says ("DELAY_MS EXIT_CODE"; without it at
// once with 0). The installer's end-to-end runs deliver it in the package.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::string CommandLine(int, char**) { return GetCommandLineA(); }

std::string OwnFolder(char**) {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string full(path, n);
  const auto slash = full.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : full.substr(0, slash);
}

std::string CurrentFolder() {
  char path[MAX_PATH + 1] = {};
  const DWORD n = GetCurrentDirectoryA(MAX_PATH, path);
  return std::string(path, n <= MAX_PATH ? n : 0);
}
constexpr char kDelim = '\\';
#else
// POSIX has no single command line: join the arguments with blanks.
std::string CommandLine(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) line += (i > 0 ? " " : "") + std::string(argv[i]);
  return line;
}

std::string OwnFolder(char** argv) {
  const std::string self = argv[0];
  const auto slash = self.rfind('/');
  return slash == std::string::npos ? std::string(".") : self.substr(0, slash);
}

std::string CurrentFolder() {
  char path[4096] = {};
  return getcwd(path, sizeof path) != nullptr ? std::string(path) : std::string();
}
constexpr char kDelim = '/';
#endif

bool Record(const std::string& path, const std::string& text) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = OwnFolder(argv) + kDelim;
  if (!Record(folder + "setup-command-line.txt", CommandLine(argc, argv))) return 2;
  if (!Record(folder + "setup-current-dir.txt", CurrentFolder())) return 3;
  long delayMs = 0;
  int exitCode = 0;
  std::ifstream behaviour(folder + "fake-setup.txt");
  if (behaviour && !(behaviour >> delayMs >> exitCode)) return 9;
  // A minute at most, so that it never outlives a test.
  if (delayMs > 0 && delayMs <= 60000)
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  return exitCode;
}
