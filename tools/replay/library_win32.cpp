// library_win32.cpp: the replay tool's libraries on Windows: Velkano.dll beside the
// executable, or another DLL, by LoadLibrary and the decorated export names ("INIT@16").
// A private copy is a uniquely named DLL in the temporary folder, deleted after FreeLibrary.
#include "library_table.h"

#include <windows.h>

#include <atomic>

namespace velkano::replay {
namespace {

AnyFunction dllExport(void* handle, const char* name) {
    return reinterpret_cast<AnyFunction>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

// The system's text for an error code, then its number: "The specified module could not be
// found. (error 126)"; the number alone when the system has no text.
std::string errorText(DWORD code) {
    const std::string number = "(error " + std::to_string(code) + ")";
    char* text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message(text != nullptr ? text : "", text != nullptr ? length : 0);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? number : message + " " + number;
}

// The folder of this executable, with its trailing separator; empty if it cannot be found.
std::string executableFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::string folder(path, length);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

bool copyToTemporary(const std::string& from, std::string& copy, std::string& error) {
    static std::atomic<unsigned> count{0};
    char dir[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, dir);
    if (length == 0 || length >= MAX_PATH) {
        error = "cannot find the temporary folder: " + errorText(GetLastError());
        return false;
    }
    // A name left behind by an earlier process with the same id is skipped, never overwritten.
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 100; ++attempt) {
        copy = std::string(dir) + "velkano-replay-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(count++) + ".dll";
        if (CopyFileA(from.c_str(), copy.c_str(), TRUE)) return true;
        code = GetLastError();
        if (code != ERROR_FILE_EXISTS) break;
    }
    error = "cannot copy " + from + " to " + copy + ": " + errorText(code);
    return false;
}

}  // namespace

std::unique_ptr<Library> Library::open(const std::string& path, bool privateCopy, std::string& error) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    std::unique_ptr<Library> library(new Library());
    library->name_ = path.empty() ? executableFolder() + "Velkano.dll" : path;
    std::string file = library->name_;
    if (privateCopy) {
        if (!copyToTemporary(library->name_, file, error)) return nullptr;
        library->copyPath_ = file;
    }
    library->handle_ = LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library->handle_) {
        const DWORD code = GetLastError();
        error = "cannot load " + library->name_ + ": " + errorText(code);
        return nullptr;  // the destructor removes the copy
    }
    std::string missing;
    if (!fillLibraryTable(library->table_, library->handle_, dllExport, missing)) {
        error = library->name_ + " does not export " + missing;
        return nullptr;
    }
    return library;
}

Library::~Library() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
    if (!copyPath_.empty()) DeleteFileA(copyPath_.c_str());
}

}  // namespace velkano::replay
