// builtin_library.h: the library's own code (velkano_core), linked into this tool and called
// through a LibraryTable of the thirteen entry points on a RenderContext the tool owns, so a
// replay can read what no export shows: the two scratch layers. It is the code of the tool's
// own version, whatever library a trace was recorded with.
#pragma once

#include "context/render_context.h"
#include "library_table.h"

namespace velkano::replay {

// A copy of the context with its own layers and band storage, for a replay's checkpoints.
class ContextCopy {
public:
    ContextCopy() = default;
    ~ContextCopy() { destroyContext(context_); }
    ContextCopy(const ContextCopy&) = delete;
    ContextCopy& operator=(const ContextCopy&) = delete;
    uint64_t sizeBytes() const;  // of the layers and band storage

private:
    friend class BuiltinLibrary;
    RenderContext context_{};
};

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

    // Copies the context into `copy`; false when the memory cannot be had.
    bool save(ContextCopy& copy) const;
    // Puts the context back as `copy` holds it, pointing at the replay's target and bound images
    // (which the replay restores to where they were when the copy was made).
    bool restore(const ContextCopy& copy, uint8_t* target, const uint8_t* texture, const uint32_t* palette,
                 const uint32_t* lightmap);
};

}  // namespace velkano::replay
