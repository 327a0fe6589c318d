// mode_input.cpp: what every mode starts from: the trace, read whole and checked, and the
// library to replay with.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "modes.h"

namespace velkano::replay {

std::unique_ptr<trace::TraceReader> openTrace(const std::string& path, Reporter& report) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        report.error(path + " is a directory, not a trace");
        return nullptr;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        report.error("cannot open " + path + ": " + std::strerror(errno));
        return nullptr;
    }
    const uintmax_t sizeBytes = std::filesystem::file_size(path, ec);
    std::vector<uint8_t> bytes;
    bool read = !ec;
    if (read) {
        try {
            if (sizeBytes > SIZE_MAX / 2) throw std::bad_alloc();
            bytes.resize(static_cast<size_t>(sizeBytes));
        } catch (const std::bad_alloc&) {
            std::fclose(file);
            report.error(path + " is too large to read (" + std::to_string(sizeBytes) + " bytes)");
            return nullptr;
        }
        read = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    const int readErrno = errno;
    std::fclose(file);
    if (!read) {
        report.error("cannot read " + path + ": " + (ec ? ec.message() : std::string(std::strerror(readErrno))));
        return nullptr;
    }
    auto reader = std::make_unique<trace::TraceReader>(std::move(bytes));
    if (!reader->error().empty()) {
        report.error(path + ": " + reader->error());
        return nullptr;
    }
    return reader;
}

std::unique_ptr<Library> ModeInput::openLibrary(const std::string& path, bool privateCopy) const {
    std::string error;
    auto library = Library::open(path, privateCopy, error);
    if (!library) report.error(error);
    return library;
}

}  // namespace velkano::replay
