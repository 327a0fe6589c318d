// mode_serve.cpp: --serve: the frame debugger (FrameDebugger) over HTTP on 127.0.0.1, with the
// page of web/ built in (web_assets.h). Its routes, GET or HEAD:
//   /  /NAME                                 the page's files (/ is index.html)
//   /api/trace  /api/frames                  answered at once from the index
//   /api/frame/F/calls?first=A&count=B       the frame's calls from A (default: its first),
//                                            at most B of them (1 to 5000, default 1000)
//   /api/frame/F/pixel?x=X&y=Y               pixel (X, Y)'s history in the frame
//   /api/frame/F/overdraw.png  /api/frame/F/overdraw
//   /api/frame/F/thumbnail.png?width=W       W from 16 to 512, default 160
//   /api/call/N/state  /api/call/N/texture.png  /api/call/N/lightmap.png
//   /api/call/N/image.png?view=after|before|difference
// A target that is none of these is 404: nothing is decoded from it, so "..", escapes and
// absolute URLs name no route, and a number in the path is plain decimal digits (at most 20,
// within 64 bits). A query parameter the route does not take, a missing or malformed one, is
// 400; a frame or call the trace does not have is 404. The questions that replay are jobs for
// the render thread, in channels (http_server.h): one per kind of answer the page shows, so a
// newer question drops the one it replaces; thumbnails have none.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "call_listing.h"  // Json
#include "frame_debugger.h"
#include "http_server.h"
#include "modes.h"
#include "web_assets.h"

namespace velkano::replay {
namespace {

constexpr uint64_t kMaxCount = 5000;
constexpr uint64_t kDefaultCount = 1000;
constexpr uint64_t kMinThumbnailWidth = 16, kMaxThumbnailWidth = 512, kDefaultThumbnailWidth = 160;

// Plain decimal: digits only (no sign), at most 20 of them, no more than `max`.
bool parseDecimal(std::string_view text, uint64_t max, uint64_t& n) {
    if (text.empty() || text.size() > 20 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const auto [at, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return ec == std::errc() && n <= max;
}

// A query string: NAME=VALUE items joined by '&', each name once, nothing decoded.
class Query {
public:
    // False when malformed: an item without '=' or without a name, a name twice.
    bool parse(std::string_view text) {
        if (text.empty()) return true;
        for (size_t start = 0;;) {
            const size_t end = std::min(text.find('&', start), text.size());
            const std::string_view item = text.substr(start, end - start);
            const size_t equals = item.find('=');
            if (equals == std::string_view::npos || equals == 0 || get(item.substr(0, equals))) return false;
            items_.emplace_back(item.substr(0, equals), item.substr(equals + 1));
            if (end == text.size()) return true;
            start = end + 1;
        }
    }
    bool onlyFrom(std::initializer_list<std::string_view> names) const {
        return std::all_of(items_.begin(), items_.end(), [&](const auto& item) {
            return std::find(names.begin(), names.end(), item.first) != names.end();
        });
    }
    std::optional<std::string_view> get(std::string_view name) const {
        for (const auto& [n, value] : items_)
            if (n == name) return value;
        return std::nullopt;
    }

private:
    std::vector<std::pair<std::string_view, std::string_view>> items_;
};

Answer now(Reply reply) {
    Answer answer;
    answer.reply = std::move(reply);
    return answer;
}
Answer badRequest(const std::string& why) { return now(errorReply(400, why)); }
Answer notFound(const std::string& why) { return now(errorReply(404, why)); }
Answer job(std::string channel, std::function<Reply()> render) {
    Answer answer;
    answer.render = std::move(render);
    answer.channel = std::move(channel);
    return answer;
}

// The request's messages never quote the request: it may hold bytes that are not UTF-8, which
// a JSON document cannot carry.
std::string takesOnly(std::initializer_list<const char*> names) {
    if (names.size() == 0) return "this route takes no query parameters";
    std::string text = "unknown query parameter: this route takes ";
    for (const char* name : names) text += std::string(text.back() == ' ' ? "" : ", ") + name;
    return text;
}

class Routes {
public:
    explicit Routes(FrameDebugger& debugger) : debugger_(debugger) {}

    Answer operator()(std::string_view target) const {
        if (target.empty() || target.front() != '/') return notFound("no such route");
        const size_t mark = target.find('?');
        const std::string_view path = target.substr(0, mark);
        Query query;
        if (mark != std::string_view::npos && !query.parse(target.substr(mark + 1)))
            return badRequest("malformed query: NAME=VALUE items joined by '&', each name once");

        const std::string_view file = path == "/" ? std::string_view("index.html") : path.substr(1);
        if (file.find('/') == std::string_view::npos) {
            if (const WebAsset* asset = findWebAsset(file)) {
                if (!query.onlyFrom({})) return badRequest(takesOnly({}));
                return now(Reply{200, std::string(asset->contentType),
                                 std::string(reinterpret_cast<const char*>(asset->bytes), asset->size)});
            }
        }

        std::vector<std::string_view> segments;
        for (size_t start = 1;;) {
            const size_t end = std::min(path.find('/', start), path.size());
            segments.push_back(path.substr(start, end - start));
            if (end == path.size()) break;
            start = end + 1;
        }
        if (segments.size() == 2 && segments[0] == "api" && (segments[1] == "trace" || segments[1] == "frames")) {
            if (!query.onlyFrom({})) return badRequest(takesOnly({}));
            return now(segments[1] == "trace" ? debugger_.facts() : debugger_.frameList());
        }
        uint64_t n = 0;
        if (segments.size() != 4 || segments[0] != "api" ||
            !parseDecimal(segments[2], std::numeric_limits<uint64_t>::max(), n))
            return notFound("no such route");
        if (segments[1] == "frame") return frameRoute(n, segments[3], query);
        if (segments[1] == "call") return callRoute(n, segments[3], query);
        return notFound("no such route");
    }

private:
    Answer frameRoute(uint64_t frame, std::string_view name, const Query& query) const {
        FrameDebugger& d = debugger_;
        const auto missing = [&] {
            return notFound("no frame " + std::to_string(frame) + ": the trace has " +
                            plural(d.frames(), "frame", "frames"));
        };
        if (name == "calls") {
            if (!query.onlyFrom({"first", "count"})) return badRequest(takesOnly({"first", "count"}));
            uint64_t first = 0, count = kDefaultCount;
            const auto firstText = query.get("first"), countText = query.get("count");
            if (firstText && !parseDecimal(*firstText, std::numeric_limits<uint64_t>::max(), first))
                return badRequest("first takes a call number");
            if (countText && (!parseDecimal(*countText, kMaxCount, count) || count == 0))
                return badRequest("count takes a number from 1 to " + std::to_string(kMaxCount));
            if (frame >= d.frames()) return missing();
            if (!firstText && frame < debugger_.frames()) first = debugger_.firstCall(frame);
            return job("calls", [&d, frame, first, count] { return d.frameCalls(frame, first, count); });
        }
        if (name == "pixel") {
            if (!query.onlyFrom({"x", "y"})) return badRequest(takesOnly({"x", "y"}));
            const auto xText = query.get("x"), yText = query.get("y");
            uint64_t x = 0, y = 0;
            constexpr uint64_t kMax = std::numeric_limits<int32_t>::max();
            if (!xText || !yText || !parseDecimal(*xText, kMax, x) || !parseDecimal(*yText, kMax, y))
                return badRequest("x and y take pixel coordinates from 0");
            if (frame >= d.frames()) return missing();
            return job("pixel",
                       [&d, frame, x, y] { return d.pixel(frame, static_cast<int32_t>(x), static_cast<int32_t>(y)); });
        }
        if (name == "overdraw.png" || name == "overdraw" || name == "thumbnail.png") {
            const bool thumbnail = name == "thumbnail.png";
            if (!query.onlyFrom(thumbnail ? std::initializer_list<std::string_view>{"width"}
                                          : std::initializer_list<std::string_view>{}))
                return badRequest(thumbnail ? takesOnly({"width"}) : takesOnly({}));
            uint64_t width = kDefaultThumbnailWidth;
            const auto widthText = query.get("width");
            if (widthText && (!parseDecimal(*widthText, kMaxThumbnailWidth, width) || width < kMinThumbnailWidth))
                return badRequest("width takes a number from " + std::to_string(kMinThumbnailWidth) + " to " +
                                  std::to_string(kMaxThumbnailWidth));
            if (frame >= d.frames()) return missing();
            if (thumbnail)
                return job("", [&d, frame, width] { return d.thumbnail(frame, static_cast<int32_t>(width)); });
            // The page shows the heatmap and its numbers together: two channels.
            const bool png = name == "overdraw.png";
            return job(std::string(name), [&d, frame, png] { return d.overdraw(frame, png); });
        }
        return notFound("no such route");
    }

    Answer callRoute(uint64_t call, std::string_view name, const Query& query) const {
        FrameDebugger& d = debugger_;
        ImageView view = ImageView::After;
        if (name == "image.png") {
            if (!query.onlyFrom({"view"})) return badRequest(takesOnly({"view"}));
            const auto viewText = query.get("view");
            if (!viewText || *viewText == "after") {
                view = ImageView::After;
            } else if (*viewText == "before") {
                view = ImageView::Before;
            } else if (*viewText == "difference") {
                view = ImageView::Difference;
            } else {
                return badRequest("view takes after, before or difference");
            }
        } else if (name == "state" || name == "texture.png" || name == "lightmap.png") {
            if (!query.onlyFrom({})) return badRequest(takesOnly({}));
        } else {
            return notFound("no such route");
        }
        if (call >= d.calls())
            return notFound("no call " + std::to_string(call) + ": the trace has " +
                            plural(d.calls(), "call", "calls"));
        if (name == "image.png") return job("image", [&d, call, view] { return d.image(call, view); });
        if (name == "state") return job("state", [&d, call] { return d.state(call); });
        if (name == "texture.png") return job("texture", [&d, call] { return d.texture(call); });
        return job("lightmap", [&d, call] { return d.lightmap(call); });
    }

    FrameDebugger& debugger_;
};

// Every frame's first call, from the frame list.

}  // namespace

int runServe(const ModeInput& input) {
    FrameDebugger debugger(input, uint64_t{input.options.checkpointMiB} << 20);
    if (!debugger.load()) return 2;
    HttpServer server{Routes(debugger)};
    std::string error;
    if (!server.listen(input.options.port, error)) {
        input.report.error("cannot listen on 127.0.0.1:" + std::to_string(input.options.port) + ": " + error);
        return 2;
    }
    std::printf("velkano-replay: serving %s at http://127.0.0.1:%u/\n", input.options.tracePath.c_str(),
                unsigned{server.port()});
    std::fflush(stdout);
    server.run();
    return 0;
}

}  // namespace velkano::replay
