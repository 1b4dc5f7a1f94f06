#ifndef ORVANE_TESTS_APPS_SCRATCH_DIRECTORY_H_
#define ORVANE_TESTS_APPS_SCRATCH_DIRECTORY_H_

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace orvane::apps {

// A directory of its own under the build directory, removed afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::filesystem::create_directories(ORVANE_TEST_SCRATCH_DIR);
    std::string path = std::string(ORVANE_TEST_SCRATCH_DIR) + "/store.XXXXXX";
    if (::mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_path = path;
  }
  ~ScratchDirectory() { std::filesystem::remove_all(m_path); }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace orvane::apps

#endif  // ORVANE_TESTS_APPS_SCRATCH_DIRECTORY_H_
