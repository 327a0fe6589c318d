// library_table.h: the thirteen entry points of one loaded Velkano library, called through
// pointers, and the loader that fills them (library_posix.cpp, library_win32.cpp).
// The replay tool reaches a library only through this table: natively plain C functions, in
// the 32-bit Windows build the DLL's __stdcall exports by their decorated names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "trace/entry_point_list.h"
#include "velkano.h"  // VELKANO_CALL: __stdcall in the 32-bit Windows build

namespace velkano::replay {

struct LibraryTable {
    VELKANO_ENTRY_POINTS(VELKANO_ENTRY_MEMBER)
};

// The generic function pointer the loaders hand out before the table gives each its type.
using AnyFunction = void (*)();
// Looks an export up by name; null when it is missing.
using ExportLookup = AnyFunction (*)(void* handle, const char* name);

// Fills `table` from the export names of the entry points (decorated: "INIT@16" in the 32-bit
// Windows build, plain "INIT" elsewhere). False with `missing` listing the names not found.
bool fillLibraryTable(LibraryTable& table, void* handle, ExportLookup lookup, std::string& missing);

// One loaded library. Destroying it removes its private copy, if it has one (on Linux the copy
// is removed once loaded, and the library stays loaded until the process ends).
class Library {
public:
    // `path` empty: the default library (natively the libvelkano.so this tool links; on Windows
    // Velkano.dll beside the executable). `privateCopy`: load a temporary copy of the file (for
    // the linked default, of the file it was mapped from), so two loads of one file keep
    // separate state. Null with `error` set when it cannot be loaded
    // or lacks an export.
    static std::unique_ptr<Library> open(const std::string& path, bool privateCopy, std::string& error);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    const LibraryTable& table() const { return table_; }
    const std::string& name() const { return name_; }  // for messages

private:
    Library() = default;
    LibraryTable table_{};
    void* handle_ = nullptr;  // null for the library linked into the tool
    std::string name_;
    std::string copyPath_;  // the temporary copy to delete after FreeLibrary (Windows)
};

}  // namespace velkano::replay
