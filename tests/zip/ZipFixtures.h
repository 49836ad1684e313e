// Where the zip tests find their archives, and small helpers around them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "zip/Zipella.h"

namespace ziptest {

// The folder the fixture step filled (real/, ref/, hand/).
std::filesystem::path FixtureDir();
std::string Real(const std::string& name);
std::string Hand(const std::string& name);
std::filesystem::path Reference(const std::string& name);

// Lists every difference between two trees (missing, extra, differing files);
// empty when they match byte for byte.
std::vector<std::string> CompareTrees(const std::filesystem::path& expected,
                                      const std::filesystem::path& actual);

// A component set up as the main window's.
void OpenAsInstaller(TZipella& zip, const std::string& archive);

// A handler of the component's counting events that records each (Current,
// Total) and checks that the component itself raised it.
using TEventLog = std::vector<std::pair<int, int>>;
inline auto RecordEvents(const TZipella& zip, TEventLog& log) {
  return [&zip, &log](TObject* sender, int current, int total) {
    EXPECT_EQ(sender, &zip);
    log.emplace_back(current, total);
  };
}

}  // namespace ziptest
