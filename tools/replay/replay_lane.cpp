// replay_lane.cpp: rebuilding what each recorded call read and making the call.
#include "replay_lane.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <new>

namespace velkano::replay {
namespace {

using trace::EntryPoint;
using trace::Ref;
using trace::RefState;

constexpr uint64_t kSlackBytes = 1u << 20;
constexpr uint64_t kAlignBytes = 64;
constexpr uint64_t kPaletteBytes = 256 * 4;

using trace::argFloat;
using trace::argInt;
using trace::argWord;

// Sizes `storage` for `sizeBytes` zero bytes starting at the same offset from a 64-byte
// boundary as `recorded`; returns where they start (never null).
uint8_t* allocateLike(std::vector<uint8_t>& storage, size_t sizeBytes, uint64_t recorded) {
    storage.assign(sizeBytes + 2 * kAlignBytes, 0);
    const auto base = reinterpret_cast<uintptr_t>(storage.data());
    const uintptr_t aligned = (base + kAlignBytes - 1) & ~uintptr_t(kAlignBytes - 1);
    return storage.data() + (aligned - base) + (recorded & (kAlignBytes - 1));
}

std::string tooLargeMessage(const char* what, uint64_t sizeBytes) {
    return std::string(what) + " of " + std::to_string(sizeBytes) + " bytes is larger than this trace can describe";
}

// Runs `body`, timing it when `seconds` is given.
template <class Body>
void timed(double* seconds, Body body) {
    if (!seconds) {
        body();
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    body();
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A copy of `image` with its own storage, its data at the same offset from a 64-byte boundary.
std::shared_ptr<TargetImage> copyImage(const TargetImage& image) {
    auto copy = std::make_shared<TargetImage>();
    *copy = TargetImage{{}, nullptr, image.recordedAddress, image.sizeBytes, image.width, image.height, image.pitch};
    if (image.data) {
        copy->data = allocateLike(copy->storage, image.sizeBytes, image.recordedAddress);
        if (image.sizeBytes > 0) std::memcpy(copy->data, image.data, image.sizeBytes);
    }
    return copy;
}

}  // namespace

uint64_t LaneSnapshot::sizeBytes() const {
    uint64_t total = 0;
    for (const auto& image : images) total += image->sizeBytes;
    return total;
}

LaneSnapshot ReplayLane::snapshot() const {
    LaneSnapshot s;
    s.images.push_back(copyImage(*target_));
    std::vector<const TargetImage*> originals{target_.get()};
    const auto region = [&](const BoundRegion& from) {
        LaneSnapshot::Region r;
        r.binding =
            BoundRegion{nullptr, from.sizeBytes, from.inTarget, from.tooLarge, from.haveHash, from.hash, {}, {}};
        r.hasData = from.data != nullptr;
        if (from.inTarget) {
            const auto known = std::find(originals.begin(), originals.end(), from.target.get());
            r.image = static_cast<int>(known - originals.begin());
            if (known == originals.end()) {
                originals.push_back(from.target.get());
                s.images.push_back(copyImage(*from.target));
            }
            r.offset = static_cast<uint64_t>(from.data - from.target->data);
        } else {
            r.offset = reinterpret_cast<uintptr_t>(from.data) & (kAlignBytes - 1);
        }
        return r;
    };
    s.texture = region(texture_);
    s.palette = region(palette_);
    s.lightmap = region(lightmap_);
    s.textureWidth = textureWidth_;
    s.textureHeight = textureHeight_;
    s.lightmapWidth = lightmapWidth_;
    s.lightmapHeight = lightmapHeight_;
    s.replayedUnreadable = replayedUnreadable_;
    return s;
}

bool ReplayLane::restore(const LaneSnapshot& s, trace::TraceReader& reader, std::string& error) {
    std::vector<std::shared_ptr<TargetImage>> images;
    for (const auto& image : s.images) images.push_back(copyImage(*image));
    target_ = images[0];
    const auto region = [&](BoundRegion& to, const LaneSnapshot::Region& from, const char* what) {
        to = from.binding;
        to.haveHash = false;
        if (!from.hasData) return true;
        if (from.binding.inTarget) {
            to.target = images[static_cast<size_t>(from.image)];
            to.data = to.target->data + from.offset;
            return true;
        }
        try {
            to.data = allocateLike(to.storage, to.tooLarge ? 0 : static_cast<size_t>(to.sizeBytes), from.offset);
        } catch (const std::bad_alloc&) {
            error = "cannot allocate " + std::to_string(to.sizeBytes) + " bytes for the " + what;
            return false;
        }
        if (!from.binding.haveHash) return true;  // never filled, or filled with zeros
        const Ref content{RefState::Content, from.binding.hash};
        if (!copyContent(to.data, to.sizeBytes, content, what, reader, error)) return false;
        to.haveHash = true;
        return true;
    };
    textureWidth_ = s.textureWidth;
    textureHeight_ = s.textureHeight;
    lightmapWidth_ = s.lightmapWidth;
    lightmapHeight_ = s.lightmapHeight;
    replayedUnreadable_ = s.replayedUnreadable;
    note_.clear();
    return region(texture_, s.texture, "texture") && region(palette_, s.palette, "palette") &&
           region(lightmap_, s.lightmap, "lightmap");
}

uint64_t area(int32_t width, int32_t height) {
    return width >= 1 && height >= 1 ? uint64_t(uint32_t(width)) * uint64_t(uint32_t(height)) : 0;
}

uint64_t regionLimitBytes(uint64_t fileBytes) {
    const uint64_t byFile = fileBytes > (UINT64_MAX - kSlackBytes) / trace::kMaxInflateRatio
                                ? UINT64_MAX
                                : trace::kMaxInflateRatio * fileBytes + kSlackBytes;
    return std::min<uint64_t>(trace::kMaxBlobBytes, byFile);
}

ReplayLane::ReplayLane(const LibraryTable& table, uint64_t limitBytes)
    : table_(table), limitBytes_(limitBytes), target_(std::make_shared<TargetImage>()) {}

uint64_t ReplayLane::targetHash() const { return trace::contentHash(target_->data, target_->sizeBytes); }

bool ReplayLane::copyContent(uint8_t* to, uint64_t sizeBytes, const Ref& ref, const char* what,
                             trace::TraceReader& reader, std::string& error) {
    if (ref.state == RefState::Unreadable) {
        if (sizeBytes > 0) std::memset(to, 0, static_cast<size_t>(sizeBytes));
        replayedUnreadable_ = true;
        return true;
    }
    if (ref.state != RefState::Content) return true;
    const std::vector<uint8_t>* content = reader.content(ref.hash);
    if (!content) {
        error = reader.error();
        return false;
    }
    if (content->size() != sizeBytes) {
        error = std::string(what) + " content holds " + std::to_string(content->size()) + " bytes, the call reads " +
                std::to_string(sizeBytes);
        return false;
    }
    if (sizeBytes > 0) std::memcpy(to, content->data(), content->size());
    return true;
}

bool ReplayLane::applyImage(const Ref& image, trace::TraceReader& reader, std::string& error) {
    return copyContent(target_->data, target_->sizeBytes, image, "image", reader, error);
}

bool ReplayLane::init(const trace::Call& call, trace::TraceReader& reader, std::string& error, double* seconds) {
    auto next = std::make_shared<TargetImage>();
    next->recordedAddress = call.args[0];
    next->width = argInt(call, 1);
    next->height = argInt(call, 2);
    next->pitch = argInt(call, 3);
    if (next->recordedAddress != 0) {
        const uint64_t sizeBytes =
            next->pitch <= 0 || next->height <= 0 ? 0 : uint64_t(uint32_t(next->pitch)) * uint32_t(next->height);
        bool allocated = sizeBytes <= limitBytes_;
        if (allocated) {
            try {
                next->data = allocateLike(next->storage, static_cast<size_t>(sizeBytes), next->recordedAddress);
                next->sizeBytes = static_cast<size_t>(sizeBytes);
            } catch (const std::bad_alloc&) {
                allocated = false;
            }
        }
        if (!allocated) {
            // The library accepted this image, but the replay cannot hold it: the library gets
            // an empty target instead and draws nothing until the next INIT, while the calls
            // can still be listed and inspected.
            note_ = "the target image of " + std::to_string(sizeBytes) +
                    " bytes is larger than the replay can hold; it is replayed as an empty image, and the "
                    "calls up to the next INIT draw nothing";
            timed(seconds, [&] { table_.init(nullptr, 0, 0, 0); });
            target_ = std::move(next);
            return true;
        }
        if (!copyContent(next->data, next->sizeBytes, call.reads[0], "image", reader, error)) return false;
    } else if (call.reads[0].state != RefState::Absent) {
        error = "image recorded for a null target";
        return false;
    }
    timed(seconds, [&] { table_.init(next->data, next->width, next->height, next->pitch); });
    target_ = std::move(next);  // the old image lives on only while a binding points into it
    return true;
}

bool ReplayLane::bind(BoundRegion& region, uint64_t recorded, uint64_t sizeBytes, const char* what,
                      std::string& error) {
    region = BoundRegion{};
    region.sizeBytes = sizeBytes;
    if (recorded == 0) return true;
    const TargetImage& target = *target_;
    if (target.sizeBytes > 0 && recorded >= target.recordedAddress) {
        const uint64_t offset = recorded - target.recordedAddress;
        if (offset < target.sizeBytes && sizeBytes <= target.sizeBytes - offset) {
            region.data = target_->data + offset;
            region.inTarget = true;
            region.target = target_;
            return true;
        }
    }
    region.tooLarge = sizeBytes > limitBytes_;
    try {
        region.data = allocateLike(region.storage, region.tooLarge ? 0 : static_cast<size_t>(sizeBytes), recorded);
    } catch (const std::bad_alloc&) {
        error = "cannot allocate " + std::to_string(sizeBytes) + " bytes for the " + what;
        return false;
    }
    return true;
}

bool ReplayLane::fillBound(BoundRegion& region, const Ref& ref, bool libraryReads, const char* what,
                           trace::TraceReader& reader, std::string& error) {
    if (region.tooLarge && (libraryReads || ref.state != RefState::Absent)) {
        error = tooLargeMessage(("the " + std::string(what)).c_str(), region.sizeBytes);
        return false;
    }
    if (region.inTarget || ref.state == RefState::Absent) return true;
    if (!region.data) {
        error = std::string(what) + " recorded while its recorded pointer was null";
        return false;
    }
    if (ref.state == RefState::Content && region.haveHash && region.hash == ref.hash) return true;
    region.haveHash = false;
    if (!copyContent(region.data, region.sizeBytes, ref, what, reader, error)) return false;
    region.haveHash = ref.state == RefState::Content;
    region.hash = ref.hash;
    return true;
}

bool ReplayLane::fillArray(void* to, size_t sizeBytes, uint64_t recorded, const Ref& ref, const char* what,
                           trace::TraceReader& reader, std::string& error) {
    std::memset(to, 0, sizeBytes);
    if (recorded == 0 && ref.state != RefState::Absent) {
        error = std::string(what) + " recorded for a null pointer";
        return false;
    }
    return copyContent(static_cast<uint8_t*>(to), sizeBytes, ref, what, reader, error);
}

// The library reads the texture and palette only with both bound and both sizes at least 1,
// and the lightmap only when bound, at least 1 x 1 and with rows shorter than 2^32 bytes.
bool ReplayLane::textureRead() const {
    return texture_.data && palette_.data && textureWidth_ >= 1 && textureHeight_ >= 1;
}
bool ReplayLane::lightmapRead() const {
    return lightmap_.data && lightmapWidth_ >= 1 && lightmapHeight_ >= 1 &&
           std::countr_zero(static_cast<uint32_t>(lightmapWidth_)) + 2 < 32;
}

bool ReplayLane::run(const trace::Call& call, trace::TraceReader& reader, std::string& error, double* seconds) {
    const auto& r = call.reads;
    const auto pointer = [&](size_t i, const void* local) { return call.args[i] != 0 ? local : nullptr; };
    switch (call.entry) {
        case EntryPoint::Init: return init(call, reader, error, seconds);
        case EntryPoint::Unload: timed(seconds, [&] { table_.unload(); }); return true;
        case EntryPoint::BeginUpdate: timed(seconds, [&] { table_.beginUpdate(); }); return true;
        case EntryPoint::EndUpdate: timed(seconds, [&] { table_.endUpdate(); }); return true;
        case EntryPoint::Pause: return true;  // sleeps only; a hostile count must not stall the replay
        case EntryPoint::SetTexture:
            textureWidth_ = argInt(call, 1);
            textureHeight_ = argInt(call, 2);
            if (!bind(texture_, call.args[0], area(textureWidth_, textureHeight_), "texture", error) ||
                !bind(palette_, call.args[3], kPaletteBytes, "palette", error))
                return false;
            timed(seconds, [&] {
                table_.setTexture(texture_.data, textureWidth_, textureHeight_,
                                  reinterpret_cast<const uint32_t*>(palette_.data), argInt(call, 4));
            });
            return true;
        case EntryPoint::SetLightmap:
            lightmapWidth_ = argInt(call, 1);
            lightmapHeight_ = argInt(call, 2);
            if (!bind(lightmap_, call.args[0], 4 * area(lightmapWidth_, lightmapHeight_), "lightmap", error))
                return false;
            timed(seconds, [&] {
                table_.setLightmap(reinterpret_cast<const uint32_t*>(lightmap_.data), lightmapWidth_, lightmapHeight_);
            });
            return true;
        case EntryPoint::FlashAdd: timed(seconds, [&] { table_.flashAdd(argWord(call, 0)); }); return true;
        case EntryPoint::FlashSub: timed(seconds, [&] { table_.flashSub(argWord(call, 0)); }); return true;
        case EntryPoint::FlashMod: timed(seconds, [&] { table_.flashMod(argWord(call, 0)); }); return true;
        case EntryPoint::DrawTri:
            if (!fillArray(positions_, sizeof positions_, call.args[0], r[0], "positions", reader, error) ||
                !fillArray(texCoords_, sizeof texCoords_, call.args[1], r[1], "texCoords", reader, error) ||
                !fillArray(colours_, sizeof colours_, call.args[2], r[2], "colours", reader, error) ||
                !fillBound(texture_, r[3], textureRead(), "texture", reader, error) ||
                !fillBound(palette_, r[4], textureRead(), "palette", reader, error))
                return false;
            timed(seconds, [&] {
                table_.drawTri(static_cast<const float*>(pointer(0, positions_)),
                               static_cast<const float*>(pointer(1, texCoords_)),
                               static_cast<const uint32_t*>(pointer(2, colours_)));
            });
            return true;
        case EntryPoint::DrawPerspTri:
            if (!fillArray(positions_, sizeof positions_, call.args[0], r[0], "positions", reader, error) ||
                !fillArray(texCoords_, sizeof texCoords_, call.args[1], r[1], "texCoords", reader, error) ||
                !fillArray(lightmapCoords_, sizeof lightmapCoords_, call.args[2], r[2], "lightmapCoords", reader,
                           error) ||
                !fillArray(depths_, sizeof depths_, call.args[3], r[3], "depths", reader, error) ||
                !fillBound(texture_, r[4], textureRead(), "texture", reader, error) ||
                !fillBound(palette_, r[5], textureRead(), "palette", reader, error) ||
                !fillBound(lightmap_, r[6], lightmapRead(), "lightmap", reader, error))
                return false;
            timed(seconds, [&] {
                table_.drawPerspTri(static_cast<const float*>(pointer(0, positions_)),
                                    static_cast<const float*>(pointer(1, texCoords_)),
                                    static_cast<const float*>(pointer(2, lightmapCoords_)),
                                    static_cast<const float*>(pointer(3, depths_)));
            });
            return true;
        case EntryPoint::DrawTile:
            if (!fillBound(texture_, r[0], textureRead(), "texture", reader, error) ||
                !fillBound(palette_, r[1], textureRead(), "palette", reader, error))
                return false;
            timed(seconds, [&] {
                table_.drawTile(argFloat(call, 0), argFloat(call, 1), argFloat(call, 2), argFloat(call, 3),
                                argFloat(call, 4), argFloat(call, 5), argFloat(call, 6), argFloat(call, 7),
                                argWord(call, 8), argWord(call, 9), argWord(call, 10));
            });
            return true;
    }
    error = "unknown entry point";
    return false;
}

}  // namespace velkano::replay
