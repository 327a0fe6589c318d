// http_server.h: the HTTP/1.1 server of --serve, on Boost.Beast over Boost.Asio.
//
// It listens on 127.0.0.1 only. One I/O thread accepts connections (kept alive) and reads and
// checks every request: GET and HEAD only (405 otherwise), a Host of 127.0.0.1:PORT or
// localhost:PORT (anything else 400: a page from elsewhere must not read the trace through a
// name that resolves here), no body, the request line and headers within 8 KiB (a malformed
// request is answered 400 and the connection closed). The router then answers each request at
// once, or with a job that runs on the one render thread, one job at a time.
//
// The jobs waiting for the render thread are kept by the I/O thread alone, so they need no
// lock: when the render thread is idle it is handed the next one, and its reply is posted
// back. A job belongs to a channel; a newer job in the same channel supersedes the older ones
// still waiting, which are answered 409 without being run. Jobs without a channel (thumbnails)
// are never superseded and run only when no other job waits. At most 64 connections are open
// at once (more are closed as they come) and 256 jobs wait (more are answered 503).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "frame_debugger.h"  // Reply

namespace velkano::replay {

// How a request is answered: `reply` at once, or, when `render` is set, the reply `render`
// makes on the render thread.
struct Answer {
    Reply reply;
    std::function<Reply()> render;
    std::string channel;  // empty: never superseded, run after every other job
};

// Answers a request target as sent (path and query); called on the I/O thread.
using Router = std::function<Answer(std::string_view target)>;

class HttpServer {
public:
    explicit HttpServer(Router router);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free port the system picks). False, with the system's
    // reason in `error`, when it cannot.
    bool listen(uint16_t port, std::string& error);
    uint16_t port() const;
    // Serves until SIGINT or SIGTERM (Ctrl-C in a Windows console too), then stops accepting,
    // drops the connections, waits for the job being rendered and returns.
    void run();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velkano::replay
