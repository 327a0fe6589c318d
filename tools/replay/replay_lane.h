// replay_lane.h: one library's side of a replay: its copy of the host image and of the memory
// the recorded calls read, rebuilt from the trace, and the calls made on it.
//
// Every INIT gets a new target image of the size the library gives it (pitch * height; 0 when
// either is 0 or less, or the target is null); one larger than the trace can describe or the
// replay can allocate is replayed as INIT(null, 0, 0, 0), with a note. SETTEXTURE and SETLIGHTMAP get buffers for the
// texture, palette and lightmap, and each draw first copies what the call read into them.
// A bound image the host kept inside its target is bound inside the replayed target too, and
// then holds whatever the library wrote there. Buffers keep the recorded address's offset from
// a 64-byte boundary, and no buffer is bigger than the limit given (a hostile trace must not
// make the tool allocate far beyond the file's size).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "library_table.h"
#include "trace/trace_reader.h"

namespace velkano::replay {

// width * height, 0 unless both are at least 1: the area a texture or lightmap fetch stays
// inside.
uint64_t area(int32_t width, int32_t height);

// The largest region a trace of `fileBytes` can describe: no blob is larger than
// kMaxBlobBytes or inflates beyond kMaxInflateRatio times the file, with 1 MiB of slack.
uint64_t regionLimitBytes(uint64_t fileBytes);

// The replay's copy of the host image bound by one INIT.
struct TargetImage {
    std::vector<uint8_t> storage;
    uint8_t* data = nullptr;  // what the library was given: null when the recorded target was
    uint64_t recordedAddress = 0;
    size_t sizeBytes = 0;
    int32_t width = 0, height = 0, pitch = 0;
};

// The texture, palette or lightmap the library has bound, as the replay holds it.
struct BoundRegion {
    uint8_t* data = nullptr;  // what the library was given: null when the recorded pointer was
    uint64_t sizeBytes = 0;   // as recorded: width * height (* 4), 1024 for the palette
    bool inTarget = false;    // lies in a target image, whose bytes it shares
    bool tooLarge = false;    // larger than the trace can describe: data is a stand-in, never read
    bool haveHash = false;    // `hash` names the content copied in last
    uint64_t hash = 0;
    std::vector<uint8_t> storage;
    std::shared_ptr<TargetImage> target;  // keeps the image alive while bound inside it
};

// A copy of a lane's state that ReplayLane::restore() rebuilds it from: its own copies of the
// target and of every image a binding lies in; a binding's content outside them is kept as the
// hash of what was copied in last (or zeros), and read from the trace again on restore.
struct LaneSnapshot {
    struct Region {
        BoundRegion binding;   // without its storage and pointers
        bool hasData = false;  // the library was given a pointer
        int image = -1;        // inTarget: which of `images` it lies in
        uint64_t offset = 0;   // ... and where; otherwise the data's offset from a 64-byte boundary
    };
    std::vector<std::shared_ptr<TargetImage>> images;  // [0] the target
    Region texture, palette, lightmap;
    int32_t textureWidth = 0, textureHeight = 0, lightmapWidth = 0, lightmapHeight = 0;
    bool replayedUnreadable = false;
    uint64_t sizeBytes() const;  // what the copies hold
};

class ReplayLane {
public:
    ReplayLane(const LibraryTable& table, uint64_t limitBytes);

    // Rebuilds the memory `call` reads and makes the call (PAUSE is not slept). `seconds`, when
    // given, receives the time of the library call alone. False, with `error` saying why, when
    // the trace cannot be replayed (a blob of the wrong size, a region too large, a corrupt blob).
    bool run(const trace::Call& call, trace::TraceReader& reader, std::string& error, double* seconds = nullptr);
    // An Image record: the host wrote `image` into its target.
    bool applyImage(const trace::Ref& image, trace::TraceReader& reader, std::string& error);

    // The current target (an empty one before the first INIT).
    const TargetImage& target() const { return *target_; }
    uint64_t targetHash() const;
    // The bound texture, palette and lightmap as the replay holds them.
    const BoundRegion& texture() const { return texture_; }
    const BoundRegion& palette() const { return palette_; }
    const BoundRegion& lightmap() const { return lightmap_; }
    // Set once the first unreadable region was replayed as zeros; the caller warns once.
    bool replayedUnreadable() const { return replayedUnreadable_; }
    // Something the last call did that the user should hear of (once), or empty; cleared.
    std::string takeNote() { return std::exchange(note_, std::string()); }

    LaneSnapshot snapshot() const;
    // Puts the lane back as it was at snapshot(); the library's own state is the caller's to
    // put back (the pointers it holds are target().data and the bindings' data). False, with
    // `error`, when a binding's content cannot be read again.
    bool restore(const LaneSnapshot& snapshot, trace::TraceReader& reader, std::string& error);

private:
    bool init(const trace::Call& call, trace::TraceReader& reader, std::string& error, double* seconds);
    bool bind(BoundRegion& region, uint64_t recorded, uint64_t sizeBytes, const char* what, std::string& error);
    bool fillBound(BoundRegion& region, const trace::Ref& ref, bool libraryReads, const char* what,
                   trace::TraceReader& reader, std::string& error);
    bool fillArray(void* to, size_t sizeBytes, uint64_t recorded, const trace::Ref& ref, const char* what,
                   trace::TraceReader& reader, std::string& error);
    bool copyContent(uint8_t* to, uint64_t sizeBytes, const trace::Ref& ref, const char* what,
                     trace::TraceReader& reader, std::string& error);
    bool textureRead() const;
    bool lightmapRead() const;

    const LibraryTable& table_;
    uint64_t limitBytes_;
    std::shared_ptr<TargetImage> target_;
    BoundRegion texture_, palette_, lightmap_;
    int32_t textureWidth_ = 0, textureHeight_ = 0, lightmapWidth_ = 0, lightmapHeight_ = 0;
    float positions_[6] = {}, texCoords_[6] = {}, lightmapCoords_[6] = {}, depths_[3] = {};
    uint32_t colours_[3] = {};
    bool replayedUnreadable_ = false;
    std::string note_;
};

}  // namespace velkano::replay
