// A private folder for one test's files, made fresh under the system's
// temporary folder and removed with everything in it when the test ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace test_files {

class TempDir {
public:
    TempDir() {
        std::string name = (std::filesystem::temp_directory_path() / "lwsmd_test_XXXXXX").string();
        if (mkdtemp(name.data()) != nullptr) folder_ = name;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const {
        std::string path = folder_;
        path += '/';
        path += name;
        return path;
    }
    const std::string& folder() const { return folder_; }

private:
    std::string folder_;
};

}  // namespace test_files
