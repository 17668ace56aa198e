// The fuzz input as a read-only FILE, the way the importers get a file.
// fmemopen reads from the bytes it is given for as long as the file is
// open, so the input is copied into storage this record owns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

class FuzzInputFile {
public:
    FuzzInputFile(const std::uint8_t* data, std::size_t size) : bytes_(data, data + size) {
        // fmemopen wants a buffer even for an empty file.
        if (bytes_.empty()) bytes_.reserve(1);
        file_ = fmemopen(bytes_.data(), size, "r");
    }
    ~FuzzInputFile() {
        if (file_) std::fclose(file_);
    }
    FuzzInputFile(const FuzzInputFile&) = delete;
    FuzzInputFile& operator=(const FuzzInputFile&) = delete;

    std::FILE* get() const { return file_; }

private:
    std::vector<unsigned char> bytes_;
    std::FILE* file_ = nullptr;
};
