// trace_sink.cpp: the trace file.
#include "capture/trace_sink.h"

#include <fcntl.h>
#ifdef _WIN32
#  include <io.h>
#  include <sys/stat.h>
#else
#  include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

namespace velkano::capture {

bool FileTraceSink::adopt(std::FILE* file, const std::string& path, std::string& error) {
    file_ = file;
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

bool FileTraceSink::open(const std::string& path, std::string& error) {
    close();
    return adopt(std::fopen(path.c_str(), "wb"), path, error);
}

FileTraceSink::NewFile FileTraceSink::createNew(const std::string& path, std::string& error) {
    close();
    // One system call both checks that the name is free and creates the file.
#ifdef _WIN32
    const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
    if (fd < 0 && errno == EEXIST) return NewFile::Exists;
    std::FILE* file = nullptr;
    if (fd >= 0) {
#ifdef _WIN32
        file = _fdopen(fd, "wb");
#else
        file = fdopen(fd, "wb");
#endif
        if (file == nullptr) {
            const int reason = errno;  // for the message, past the close
#ifdef _WIN32
            _close(fd);
#else
            ::close(fd);
#endif
            errno = reason;
        }
    }
    return adopt(file, path, error) ? NewFile::Created : NewFile::Failed;
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
