// http_server.cpp: connections, request checks and the render thread's job queue (see the
// header). Asio's headers are included one by one: its umbrella header pulls in its C++20
// coroutine support, which does not build with GCC 12 here.
#include "http_server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <csignal>
#include <deque>
#include <new>
#include <optional>
#include <utility>

namespace velkano::replay {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr uint32_t kHeaderLimitBytes = 8 * 1024;  // request line and headers together
constexpr auto kIdleTimeout = std::chrono::seconds(60);
constexpr auto kLingerTimeout = std::chrono::seconds(2);
// Connections at once, and questions waiting for the render thread: more are refused (a page
// needs a handful of each).
constexpr size_t kMaxSessions = 64;
constexpr size_t kMaxPending = 256;
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);
constexpr const char* kContentSecurityPolicy = "default-src 'self'; img-src 'self' blob: data:";

struct Job {
    std::string channel;
    std::function<Reply()> render;
    std::function<void(Reply)> answer;  // on the I/O thread
};

class Service {
public:
    explicit Service(Router router) : router_(std::move(router)) {}

    bool listen(uint16_t port, std::string& error) {
        beast::error_code ec;
        const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port);
        acceptor_.open(endpoint.protocol(), ec);
#if !defined(_WIN32)  // there it would let another socket take the port too
        if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
#endif
        if (!ec) acceptor_.bind(endpoint, ec);
        if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) {
            error = ec.message();
            return false;
        }
        port_ = acceptor_.local_endpoint().port();
        return true;
    }
    uint16_t port() const { return port_; }

    void run() {
        signals_.add(SIGINT);
        signals_.add(SIGTERM);
        signals_.async_wait([this](const beast::error_code&, int) {
            beast::error_code ignored;
            acceptor_.close(ignored);
            io_.stop();
        });
        accept();
        io_.run();
        renderer_.stop();
        renderer_.join();
    }

    // Whether a Host header names this server: 127.0.0.1:PORT or localhost:PORT (the port may
    // be left out when it is 80). The name is compared without regard to case.
    bool hostAllowed(std::string_view host) const {
        std::string lower(host);
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string port = ":" + std::to_string(port_);
        for (const char* name : {"127.0.0.1", "localhost"}) {
            if (lower == name + port || (port_ == 80 && lower == name)) return true;
        }
        return false;
    }

    Answer route(std::string_view target) const { return router_(target); }

    // Queues a job; pending jobs of its channel are answered 409 unrun.
    void submit(Job job) {
        if (pending_.size() >= kMaxPending) {
            job.answer(errorReply(503, "too many questions waiting"));
            return;
        }
        if (!job.channel.empty()) {
            for (auto it = pending_.begin(); it != pending_.end();) {
                if (it->channel != job.channel) {
                    ++it;
                    continue;
                }
                const auto answer = std::move(it->answer);
                it = pending_.erase(it);
                answer(errorReply(409, "superseded by a later request"));
            }
        }
        pending_.push_back(std::move(job));
        startNext();
    }

    asio::io_context& io() { return io_; }
    // Sessions count themselves in and out.
    void sessionStarted() { ++sessions_; }
    void sessionEnded() { --sessions_; }

private:
    void accept() {
        acceptor_.async_accept([this](const beast::error_code& ec, tcp::socket socket) {
            if (!acceptor_.is_open()) return;
            if (ec) {  // out of descriptors, say: try again a little later rather than spin
                retry_.expires_after(kAcceptRetry);
                retry_.async_wait([this](const beast::error_code&) { accept(); });
                return;
            }
            if (sessions_ < kMaxSessions) startSession(std::move(socket));
            accept();  // a connection beyond the limit closes with its socket here
        });
    }
    void startSession(tcp::socket socket);

    // Hands the render thread the next job when it is idle: the oldest with a channel, else
    // the oldest without.
    void startNext() {
        if (rendering_ || pending_.empty()) return;
        auto next = std::find_if(pending_.begin(), pending_.end(), [](const Job& j) { return !j.channel.empty(); });
        if (next == pending_.end()) next = pending_.begin();
        Job job = std::move(*next);
        pending_.erase(next);
        rendering_ = true;
        asio::post(renderer_, [this, job = std::move(job)] {
            Reply reply;
            try {
                reply = job.render();
            } catch (const std::bad_alloc&) {
                reply = errorReply(503, "out of memory");
            } catch (const std::exception& e) {
                reply = errorReply(500, e.what());
            }
            asio::post(io_, [this, answer = job.answer, reply = std::move(reply)] {
                rendering_ = false;
                answer(reply);
                startNext();
            });
        });
    }

    Router router_;
    uint16_t port_ = 0;
    size_t sessions_ = 0;  // before io_: sessions its handlers hold end as it goes
    asio::io_context io_{1};
    tcp::acceptor acceptor_{io_};
    asio::steady_timer retry_{io_};
    asio::signal_set signals_{io_};
    std::deque<Job> pending_;
    bool rendering_ = false;
    // Last, so that it is joined before the queue and the I/O context go away.
    asio::thread_pool renderer_{1};
};

// One connection: reads a request, answers it, and reads the next while the client keeps it
// alive.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, Service& service) : stream_(std::move(socket)), service_(service) {
        service_.sessionStarted();
    }
    ~Session() { service_.sessionEnded(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void readRequest() {
        parser_.emplace();
        parser_->header_limit(kHeaderLimitBytes);
        stream_.expires_after(kIdleTimeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](const beast::error_code& ec, size_t) { self->onRequest(ec); });
    }

private:
    void onRequest(const beast::error_code& ec) {
        if (ec == http::error::end_of_stream || ec == beast::error::timeout) return;  // closed or idle
        if (ec) {
            send(errorReply(400, "malformed request: " + ec.message()), false, false, 11);
            return;
        }
        const http::request<http::empty_body>& request = parser_->get();
        const unsigned version = request.version();
        const bool head = request.method() == http::verb::head;
        const auto host = request[http::field::host];
        if (request.count(http::field::host) != 1 ||
            !service_.hostAllowed(std::string_view(host.data(), host.size()))) {
            send(errorReply(400, "the Host header must be 127.0.0.1:" + std::to_string(service_.port()) +
                                     " or localhost:" + std::to_string(service_.port())),
                 false, false, version);
            return;
        }
        // The empty body's reader refuses any body byte; a chunked one may still be empty.
        if (request.chunked()) {
            send(errorReply(400, "a request here has no body"), false, false, version);
            return;
        }
        const bool keepAlive = request.keep_alive();
        if (request.method() != http::verb::get && !head) {
            send(errorReply(405, "only GET and HEAD"), keepAlive, false, version);
            return;
        }
        const auto target = request.target();
        Answer answer = service_.route(std::string_view(target.data(), target.size()));
        if (!answer.render) {
            send(answer.reply, keepAlive, head, version);
            return;
        }
        stream_.expires_never();
        service_.submit(Job{std::move(answer.channel), std::move(answer.render),
                            [self = shared_from_this(), keepAlive, head, version](const Reply& reply) {
                                self->send(reply, keepAlive, head, version);
                            }});
    }

    void send(const Reply& reply, bool keepAlive, bool head, unsigned version) {
        response_.emplace(static_cast<http::status>(reply.status), version);
        http::response<http::string_body>& response = *response_;
        response.set(http::field::content_type, reply.contentType);
        response.set(http::field::cache_control, "no-store");
        response.set("X-Content-Type-Options", "nosniff");
        response.set("Content-Security-Policy", kContentSecurityPolicy);
        if (reply.status == 405) response.set(http::field::allow, "GET, HEAD");
        response.keep_alive(keepAlive);
        response.content_length(reply.body.size());  // also for HEAD, which gets no body
        if (!head) response.body() = reply.body;
        stream_.expires_after(kIdleTimeout);
        http::async_write(stream_, response,
                          [self = shared_from_this(), keepAlive](const beast::error_code& ec, size_t) {
                              if (ec) return;
                              if (keepAlive) {
                                  self->readRequest();
                              } else {
                                  self->linger();
                              }
                          });
    }

    // Closes after a reply that ends the connection: the sending side first, then whatever the
    // client still sends is read and dropped until it closes too, so that unread bytes do not
    // make the system reset the connection before the client has read the reply.
    void linger() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(kLingerTimeout);
        drain();
    }
    void drain() {
        stream_.async_read_some(asio::buffer(scratch_),
                                [self = shared_from_this()](const beast::error_code& ec, size_t) {
                                    if (!ec) self->drain();
                                });
    }

    beast::tcp_stream stream_;
    Service& service_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::empty_body>> parser_;
    std::optional<http::response<http::string_body>> response_;
    std::array<char, 4096> scratch_{};
};

void Service::startSession(tcp::socket socket) { std::make_shared<Session>(std::move(socket), *this)->readRequest(); }

}  // namespace

struct HttpServer::Impl {
    explicit Impl(Router router) : service(std::move(router)) {}
    Service service;
};

HttpServer::HttpServer(Router router) : impl_(std::make_unique<Impl>(std::move(router))) {}
HttpServer::~HttpServer() = default;
bool HttpServer::listen(uint16_t port, std::string& error) { return impl_->service.listen(port, error); }
uint16_t HttpServer::port() const { return impl_->service.port(); }
void HttpServer::run() { impl_->service.run(); }

}  // namespace velkano::replay
