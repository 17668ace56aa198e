// The one error the LightWave file loaders and savers throw: the file's name
// and what is wrong with it, ready to show a user ("arm.lwo: PNTS chunk runs
// past the end of the file"). Nothing of a failed load is left in the scene.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace lwhost {

class FileFormatError : public std::runtime_error {
public:
    FileFormatError(const std::filesystem::path& file, const std::string& what)
        : std::runtime_error(file.filename().string() + ": " + what), file_(file) {}
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
};

}  // namespace lwhost
