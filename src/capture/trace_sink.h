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

    // Creates (or truncates) the file; false with `error` set when it cannot.
    bool open(const std::string& path, std::string& error);
    bool write(std::span<const uint8_t> bytes) override;
    // False when the file could not be closed cleanly.
    bool close();

private:
    std::FILE* file_ = nullptr;
};

}  // namespace velkano::capture
