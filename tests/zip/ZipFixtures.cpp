#include "ZipFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "TestSupport.h"

namespace ziptest {

std::filesystem::path FixtureDir() {
  const char* dir = std::getenv("TRAMELA_ZIP_FIXTURES");
  if (dir == nullptr || *dir == 0)
    throw std::runtime_error("TRAMELA_ZIP_FIXTURES is not set; run through ctest");
  return dir;
}

std::string Real(const std::string& name) { return (FixtureDir() / "real" / name).string(); }
std::string Hand(const std::string& name) { return (FixtureDir() / "hand" / name).string(); }
std::filesystem::path Reference(const std::string& name) { return FixtureDir() / "ref" / name; }

namespace {
std::set<std::string> Walk(const std::filesystem::path& root) {
  std::set<std::string> names;
  for (const auto& item : std::filesystem::recursive_directory_iterator(root)) {
    names.insert(std::filesystem::relative(item.path(), root).generic_string() +
                 (item.is_directory() ? "/" : ""));
  }
  return names;
}
}  // namespace

std::vector<std::string> CompareTrees(const std::filesystem::path& expected,
                                      const std::filesystem::path& actual) {
  std::vector<std::string> differences;
  const auto want = Walk(expected);
  const auto have = Walk(actual);
  for (const auto& name : want) {
    if (have.count(name) == 0) {
      differences.push_back("missing " + name);
    } else if (name.back() != '/' && testsupport::ReadFileBytes(expected / name) !=
                                         testsupport::ReadFileBytes(actual / name)) {
      differences.push_back("differs " + name);
    }
  }
  for (const auto& name : have) {
    if (want.count(name) == 0) differences.push_back("extra " + name);
  }
  return differences;
}

void OpenAsInstaller(TZipella& zip, const std::string& archive) {
  ApplyMainWindowSettings(zip);
  zip.SetFileName(archive);
  zip.SetActive(true);
}

}  // namespace ziptest
