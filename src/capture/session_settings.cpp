// session_settings.cpp: exact mode and the default trace name.
#include "capture/session_settings.h"

#include <array>
#include <cstdio>
#include <span>
#include <string_view>

namespace velkano::capture {
namespace {

constexpr std::array<std::string_view, 4> kOnWords = {"1", "true", "yes", "on"};
constexpr std::array<std::string_view, 5> kOffWords = {"", "0", "false", "no", "off"};

// `value` without surrounding white space, in lower case (ASCII: the words above are).
std::string normalised(std::string_view value) {
    constexpr std::string_view kSpace = " \t\r\n\v\f";
    const size_t first = value.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    value = value.substr(first, value.find_last_not_of(kSpace) - first + 1);
    std::string word(value);
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return word;
}

bool isOneOf(std::string_view word, std::span<const std::string_view> words) {
    for (const std::string_view w : words) {
        if (word == w) return true;
    }
    return false;
}

// Tries a thousand names at most: only a folder filling up with traces of one second and
// one process id gets that far.
constexpr unsigned kMaxAttempts = 1000;

}  // namespace

bool exactModeRequested(const char* value, std::string& warning) {
    warning.clear();
    if (value == nullptr) return false;
    const std::string word = normalised(value);
    if (isOneOf(word, kOnWords)) return true;
    if (!isOneOf(word, kOffWords)) {
        warning = "VELKANO_TRACE_EXACT=\"" + std::string(value) +
                  "\" is not understood, so exact mode is off (1, true, yes or on turn it on; 0, false, no, off "
                  "or nothing leave it off)";
    }
    return false;
}

std::string defaultTraceName(const std::tm& local, uint64_t processId, unsigned attempt) {
    char name[96];
    const int length = std::snprintf(name, sizeof name, "velkano-%04d%02d%02d-%02d%02d%02d-%llu", local.tm_year + 1900,
                                     local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                                     static_cast<unsigned long long>(processId));
    if (attempt > 0) std::snprintf(name + length, sizeof name - length, "-%u", attempt + 1);
    return std::string(name) + ".vktrace";
}

bool createDefaultTrace(FileTraceSink& sink, const std::string& folder, const std::tm& local, uint64_t processId,
                        std::string& path, std::string& error) {
    for (unsigned attempt = 0; attempt < kMaxAttempts; ++attempt) {
        path = folder + defaultTraceName(local, processId, attempt);
        switch (sink.createNew(path, error)) {
            case FileTraceSink::NewFile::Created: return true;
            case FileTraceSink::NewFile::Failed: return false;
            case FileTraceSink::NewFile::Exists: break;
        }
    }
    error = "cannot create a trace: " + std::to_string(kMaxAttempts) + " names up to " + path + " are taken";
    return false;
}

std::tm localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0) local = std::tm{};
#else
    if (localtime_r(&now, &local) == nullptr) local = std::tm{};
#endif
    return local;
}

}  // namespace velkano::capture
