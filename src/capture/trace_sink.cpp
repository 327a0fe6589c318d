// trace_sink.cpp: the trace file.
#include "capture/trace_sink.h"

#include <cerrno>
#include <cstring>

namespace velkano::capture {

bool FileTraceSink::open(const std::string& path, std::string& error) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        error = "cannot create the trace " + path + ": " + std::strerror(errno);
        return false;
    }
    // No stdio buffer: a batch reaches the file in the fwrite that hands it over.
    if (std::setvbuf(file_, nullptr, _IONBF, 0) != 0) {
        error = "cannot make the trace " + path + " unbuffered";
        close();
        return false;
    }
    return true;
}

bool FileTraceSink::write(std::span<const uint8_t> bytes) {
    if (file_ == nullptr) return false;
    return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
}

bool FileTraceSink::close() {
    if (file_ == nullptr) return true;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return closed;
}

}  // namespace velkano::capture
