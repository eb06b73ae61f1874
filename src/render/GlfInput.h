#pragma once
// Where the GLF bytes come from: memory or a file, readable twice.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace kesto::render {

// Must be readable twice (rewind), because the sheet is found before
// anything is drawn.
class GlfInput {
public:
    virtual ~GlfInput() = default;
    // Up to `size` bytes; 0 at the end.  -1 on a read error.
    virtual long read(char* into, std::size_t size) = 0;
    virtual bool rewind() = 0;
    // Why the last read or rewind failed.
    virtual std::string error() const { return {}; }
};

class MemoryInput final : public GlfInput {
public:
    explicit MemoryInput(std::string_view bytes) : bytes_(bytes) {}
    long read(char* into, std::size_t size) override;
    bool rewind() override {
        at_ = 0;
        return true;
    }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

class FileInput final : public GlfInput {
public:
    FileInput() = default;
    ~FileInput() override;
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;
    bool open(const std::string& path);
    long read(char* into, std::size_t size) override;
    bool rewind() override;
    std::string error() const override { return error_; }

private:
    std::FILE* file_ = nullptr;
    std::string error_;
};

} // namespace kesto::render
