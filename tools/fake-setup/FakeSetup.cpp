// A stand-in for the database server's setup program: it records the exact
// command line it was started with, beside itself in setup-command-line.txt,
// and exits. The installer's end-to-end runs deliver it in the package.
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
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
constexpr char kDelim = '/';
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::string record = OwnFolder(argv) + kDelim + "setup-command-line.txt";
  std::FILE* out = std::fopen(record.c_str(), "wb");
  if (out == nullptr) return 2;
  const std::string line = CommandLine(argc, argv);
  const bool written = std::fwrite(line.data(), 1, line.size(), out) == line.size();
  return (std::fclose(out) == 0 && written) ? 0 : 3;
}
