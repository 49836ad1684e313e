// Helpers shared by the test suites: temporary folders and exception checks
// that look at the class and the whole message.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "rtl/Exceptions.h"

namespace testsupport {

// A fresh folder below the build's test area (or the system's temp folder),
// removed with everything in it when the object goes.
class TTempDir {
 public:
  TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  ~TTempDir();
  const std::filesystem::path& Path() const { return FPath; }
  // The folder as the 8-bit path the components take.
  std::string Str() const { return FPath.string(); }
  std::string File(const std::string& name) const { return (FPath / name).string(); }

 private:
  std::filesystem::path FPath;
};

// Whether a file with the read-only attribute refuses to be opened for writing
// here. Wine run by root does not refuse (root may write any file).
bool PlatformEnforcesReadOnly();

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// Runs f and checks that it raises E (or a subclass) with exactly this message.
template <class E>
void ExpectThrowMessage(const std::function<void()>& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "expected " << typeid(E).name() << " \"" << message
                  << "\", nothing was raised";
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "expected " << typeid(E).name() << ", got " << ClassNameOf(e) << ": "
                  << e.what();
  }
}

}  // namespace testsupport
