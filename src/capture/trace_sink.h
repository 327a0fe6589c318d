// trace_sink.h: where the recorder's bytes go. Each write is one batch (the records of one
// call) handed to the operating system at once, so whatever happens to the host afterwards,
// every batch written is in the file whole.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace velkano::capture {

class TraceSink {
public:
    virtual ~TraceSink() = default;
    // False when the bytes could not all be written.
    virtual bool write(std::span<const uint8_t> bytes) = 0;
};

// A file, unbuffered: each write goes to the operating system before it returns.
class FileTraceSink final : public TraceSink {
public:
    FileTraceSink() = default;
    ~FileTraceSink() override { close(); }
    FileTraceSink(const FileTraceSink&) = delete;
    FileTraceSink& operator=(const FileTraceSink&) = delete;

    // Creates the file, or empties the one of that name; false with `error` set when it cannot.
    bool open(const std::string& path, std::string& error);
    // Creates the file only if no file has that name: Exists leaves that one untouched, Failed
    // sets `error`.
    enum class NewFile : uint8_t { Created, Exists, Failed };
    NewFile createNew(const std::string& path, std::string& error);
    bool write(std::span<const uint8_t> bytes) override;
    // False when the file could not be closed cleanly.
    bool close();

private:
    // Takes `file` (null when it could not be opened) and makes it unbuffered.
    bool adopt(std::FILE* file, const std::string& path, std::string& error);
    std::FILE* file_ = nullptr;
};

}  // namespace velkano::capture
