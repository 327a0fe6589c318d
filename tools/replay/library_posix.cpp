// library_posix.cpp: the replay tool's libraries on Linux: the libvelkano.so it links, or
// another one by dlopen and the plain export names. A private copy is a temporary file that is
// removed as soon as it is loaded (the mapping stays), so it leaves nothing behind; a private
// copy of the linked library copies the file the dynamic loader mapped it from.
#include "library_table.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "velkano.h"

namespace velkano::replay {
namespace {

// The default library's functions, found by the same names as any other library's.
AnyFunction linkedExport(void*, const char* name) {
    static const struct {
        const char* name;
        AnyFunction function;
    } kLinked[] = {
#define VELKANO_ENTRY_LINKED_EXPORT(NAME, BYTES, Name, name, parameters) {#NAME, reinterpret_cast<AnyFunction>(&NAME)},
        VELKANO_ENTRY_POINTS(VELKANO_ENTRY_LINKED_EXPORT)
#undef VELKANO_ENTRY_LINKED_EXPORT
    };
    for (const auto& linked : kLinked)
        if (std::strcmp(linked.name, name) == 0) return linked.function;
    return nullptr;
}

AnyFunction dynamicExport(void* handle, const char* name) { return reinterpret_cast<AnyFunction>(dlsym(handle, name)); }

// Copies `from` to a new temporary file; its path in `copy`. False with `error` set.
bool copyToTemporary(const std::string& from, std::string& copy, std::string& error) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/velkano-replay-XXXXXX.so";
    const int made = mkstemps(pattern.data(), 3);  // a name of our own, and the file to fill
    if (made < 0) {
        error = "cannot create a temporary copy of " + from + ": " + std::strerror(errno);
        return false;
    }
    close(made);
    copy = pattern;
    std::error_code failed;
    std::filesystem::copy_file(from, copy, std::filesystem::copy_options::overwrite_existing, failed);
    if (!failed) return true;
    error = "cannot copy " + from + " to " + copy + ": " + failed.message();
    unlink(copy.c_str());
    return false;
}

// The file the linked library was mapped from (where its INIT lies). False with `error` set.
bool linkedLibraryFile(std::string& file, std::string& error) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&INIT), &info) == 0 || !info.dli_fname || !*info.dli_fname) {
        error = "cannot find the file of the linked libvelkano.so";
        return false;
    }
    std::error_code failed;
    if (std::filesystem::equivalent(info.dli_fname, "/proc/self/exe", failed)) {
        error = "the linked libvelkano.so is part of this program: it has no file of its own to load again";
        return false;
    }
    file = info.dli_fname;
    return true;
}

}  // namespace

std::unique_ptr<Library> Library::open(const std::string& path, bool privateCopy, std::string& error) {
    std::unique_ptr<Library> library(new Library());
    std::string missing;
    if (path.empty() && !privateCopy) {
        library->name_ = "the linked libvelkano.so";
        if (!fillLibraryTable(library->table_, nullptr, linkedExport, missing)) {
            error = library->name_ + " does not export " + missing;
            return nullptr;
        }
        return library;
    }
    // A private copy of the linked library is a load of its file like any other's.
    std::string source = path;
    if (path.empty() && !linkedLibraryFile(source, error)) return nullptr;
    library->name_ = path.empty() ? "the linked libvelkano.so" : path;
    // dlopen searches the library path for a name without a slash; this is a file.
    std::string file = source.find('/') == std::string::npos ? "./" + source : source;
    if (privateCopy && !copyToTemporary(source, file, error)) return nullptr;
    dlerror();
    library->handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (privateCopy) unlink(file.c_str());
    if (!library->handle_) {
        const char* why = dlerror();
        error = "cannot load " + source + ": " + (why ? why : "unknown error");
        return nullptr;
    }
    if (!fillLibraryTable(library->table_, library->handle_, dynamicExport, missing)) {
        error = source + " does not export " + missing;
        return nullptr;
    }
    return library;
}

// Not dlclose: the library keeps process-lifetime allocations in its globals (the grid
// tables), which unloading would turn into leaks; the process ends soon after anyway.
Library::~Library() = default;

}  // namespace velkano::replay
