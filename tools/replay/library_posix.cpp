// library_posix.cpp: the replay tool's libraries on Linux: the libvelkano.so it links, or
// another one by dlopen and the plain export names. A private copy is a temporary file that is
// removed as soon as it is loaded (the mapping stays), so it leaves nothing behind.
#include "library_table.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "velkano.h"

namespace velkano::replay {
namespace {

// The default library's functions, found by the same names as any other library's.
AnyFunction linkedExport(void*, const char* name) {
    static const struct {
        const char* name;
        AnyFunction function;
    } kLinked[] = {
        {"INIT", reinterpret_cast<AnyFunction>(&INIT)},
        {"UNLOAD", reinterpret_cast<AnyFunction>(&UNLOAD)},
        {"BEGINUPDATE", reinterpret_cast<AnyFunction>(&BEGINUPDATE)},
        {"ENDUPDATE", reinterpret_cast<AnyFunction>(&ENDUPDATE)},
        {"PAUSE", reinterpret_cast<AnyFunction>(&PAUSE)},
        {"SETTEXTURE", reinterpret_cast<AnyFunction>(&SETTEXTURE)},
        {"SETLIGHTMAP", reinterpret_cast<AnyFunction>(&SETLIGHTMAP)},
        {"FLASHADD", reinterpret_cast<AnyFunction>(&FLASHADD)},
        {"FLASHSUB", reinterpret_cast<AnyFunction>(&FLASHSUB)},
        {"FLASHMOD", reinterpret_cast<AnyFunction>(&FLASHMOD)},
        {"DRAWTRI", reinterpret_cast<AnyFunction>(&DRAWTRI)},
        {"DRAWPERSPTRI", reinterpret_cast<AnyFunction>(&DRAWPERSPTRI)},
        {"DRAWTILE", reinterpret_cast<AnyFunction>(&DRAWTILE)},
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
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int out = mkstemps(name.data(), 3);
    if (out < 0) {
        error = "cannot create a temporary copy of " + from + ": " + std::strerror(errno);
        return false;
    }
    copy = name.data();
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = in >= 0;
    std::vector<char> buffer(1 << 16);
    while (ok) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put = write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            ok = put > 0;
            done += put > 0 ? put : 0;
        }
    }
    if (!ok) error = "cannot copy " + from + " to " + copy + ": " + std::strerror(errno);
    if (in >= 0) close(in);
    if (close(out) != 0 && ok) {
        error = "cannot copy " + from + " to " + copy + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) unlink(copy.c_str());
    return ok;
}

}  // namespace

std::unique_ptr<Library> Library::open(const std::string& path, bool privateCopy, std::string& error) {
    std::unique_ptr<Library> library(new Library());
    std::string missing;
    if (path.empty()) {
        library->name_ = "the linked libvelkano.so";
        if (!fillLibraryTable(library->table_, nullptr, linkedExport, missing)) {
            error = library->name_ + " does not export " + missing;
            return nullptr;
        }
        return library;
    }
    library->name_ = path;
    // dlopen searches the library path for a name without a slash; this is a file.
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    if (privateCopy && !copyToTemporary(path, file, error)) return nullptr;
    dlerror();
    library->handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (privateCopy) unlink(file.c_str());
    if (!library->handle_) {
        const char* why = dlerror();
        error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return nullptr;
    }
    if (!fillLibraryTable(library->table_, library->handle_, dynamicExport, missing)) {
        error = path + " does not export " + missing;
        return nullptr;
    }
    return library;
}

// Not dlclose: the library keeps process-lifetime allocations in its globals (the grid
// tables), which unloading would turn into leaks; the process ends soon after anyway.
Library::~Library() = default;

}  // namespace velkano::replay
