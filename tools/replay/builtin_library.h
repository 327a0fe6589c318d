// builtin_library.h: the library's own code (velkano_core), linked into this tool and called
// through a LibraryTable of the thirteen entry points on a RenderContext the tool owns, so a
// replay can read what no export shows: the two scratch layers. It is the code of the tool's
// own version, whatever library a trace was recorded with.
#pragma once

#include "context/render_context.h"
#include "library_table.h"

namespace velkano::replay {

// One context for the whole process, as in the library itself: create one BuiltinLibrary at a
// time. The destructor releases the context's layers and band storage.
class BuiltinLibrary {
public:
    BuiltinLibrary();
    ~BuiltinLibrary();
    BuiltinLibrary(const BuiltinLibrary&) = delete;
    BuiltinLibrary& operator=(const BuiltinLibrary&) = delete;

    const LibraryTable& table() const;
    const RenderContext& context() const;
};

}  // namespace velkano::replay
