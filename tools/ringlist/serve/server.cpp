#include "ringlist/serve/server.h"

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace ringlist {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Steady = std::chrono::steady_clock;

class Session;

// What every connection shares: the site, the limits, and the connections open, so that a new
// one at the limit can take the place of the one that has waited longest for a request.
struct Shared {
    Site& site;
    Server::Limits limits;
    std::mutex mutex;
    std::list<std::weak_ptr<Session>> sessions;
};

class Session : public std::enable_shared_from_this<Session> {
  public:
    Session(tcp::socket socket, Shared& shared) : stream_(std::move(socket)), shared_(shared) {}
    ~Session() {
        std::lock_guard lock(shared_.mutex);
        shared_.sessions.erase(place_);
    }

    void start() {
        {
            std::lock_guard lock(shared_.mutex);
            place_ = shared_.sessions.insert(shared_.sessions.end(), weak_from_this());
        }
        asio::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->read(); });
    }

    // Since when it has waited for a request, or 0 while it answers one.
    Steady::rep waiting_since() const { return waiting_since_.load(); }

    // Closed to make room: its read ends, and with it the session.
    void evict() {
        asio::dispatch(stream_.get_executor(), [self = shared_from_this()] {
            beast::error_code ignored;
            self->stream_.socket().close(ignored);
        });
    }

  private:
    void read() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(shared_.limits.header_bytes));
        parser_->body_limit(64 * 1024);  // read and let go: nothing here takes a body
        stream_.expires_after(std::chrono::seconds(shared_.limits.request_seconds));
        waiting_since_ = std::max<Steady::rep>(1, Steady::now().time_since_epoch().count());
        http::async_read(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_read(ec); });
    }

    void on_read(beast::error_code ec) {
        waiting_since_ = 0;
        if (ec == http::error::header_limit || ec == http::error::body_limit) {
            Reply too_big;
            too_big.status = ec == http::error::header_limit ? 431 : 413;
            too_big.body = "Слишком большой запрос\n";
            return send(too_big, false, false);
        }
        if (ec == http::error::partial_message) {
            // The client stopped sending before the end its headers announced.
            return refuse("Запрос оборван: пришло меньше, чем объявлено\n");
        }
        if (ec.category() == http::make_error_code(http::error::bad_target).category() &&
            ec != http::error::end_of_stream) {
            return refuse("Запрос не по HTTP/1.1\n");
        }
        if (ec) {
            return close();  // the client went, timed out or was closed to make room
        }
        const auto& request = parser_->get();
        if (request.count(http::field::host) > 1) {
            // Which of two names is asked for is not for us to guess: a proxy may take the other.
            return refuse("Заголовок Host повторён\n");
        }
        Request r{std::string(request.method_string()), std::string(request.target()),
                  std::string(request[http::field::authorization]),
                  std::string(request[http::field::cookie]),
                  std::string(request[http::field::host])};
        Reply reply = shared_.site.answer(r, Summary::Clock::now());
        send(reply, request.method() == http::verb::head, request.keep_alive());
    }

    void refuse(const std::string& why) {
        Reply bad;
        bad.status = 400;
        bad.body = why;
        send(bad, false, false);
    }

    void send(const Reply& reply, bool head, bool keep_alive) {
        auto response = std::make_shared<http::response<http::string_body>>(
            static_cast<http::status>(reply.status), 11);
        response->set(http::field::server, "ringlist");
        response->set(http::field::content_type, reply.content_type);
        response->set(http::field::cache_control, "no-store");
        response->set("X-Content-Type-Options", "nosniff");
        response->set("X-Frame-Options", "DENY");
        response->set("Referrer-Policy", "no-referrer");
        response->set("Content-Security-Policy",
                      "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data:");
        for (const auto& [name, value] : reply.headers) {
            response->set(name, value);
        }
        response->body() = reply.body;
        response->prepare_payload();
        if (head) {
            response->body().clear();  // Content-Length stays the GET's
        }
        response->keep_alive(keep_alive);
        stream_.expires_after(std::chrono::seconds(shared_.limits.seconds));
        http::async_write(stream_, *response,
                          [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
                              if (ec || !response->keep_alive()) {
                                  return self->close();
                              }
                              self->read();
                          });
    }

    // The answer goes out whole before the socket closes: what the client still sends (the
    // rest of a body) is read and let go for a while, or the system's reset could overtake it.
    void close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(std::chrono::seconds(2));
        waiting_since_ = std::max<Steady::rep>(1, Steady::now().time_since_epoch().count());
        drain();
    }

    void drain() {
        stream_.async_read_some(asio::buffer(scratch_),
                                [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                    if (!ec) {
                                        self->drain();
                                    }
                                });
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    Shared& shared_;
    std::list<std::weak_ptr<Session>>::iterator place_;
    char scratch_[4096];
    std::atomic<Steady::rep> waiting_since_{0};
};

// At the limit, the connection that has waited longest for a request is closed to make room:
// a crowd of idle or dripping clients cannot keep a real one out. False when every connection
// is busy answering.
bool make_room(Shared& shared) {
    // Taken out under the lock, looked at and let go after it: the last hold of a session ends
    // it, and its destructor takes the lock.
    std::vector<std::shared_ptr<Session>> open;
    {
        std::lock_guard lock(shared.mutex);
        if (static_cast<int>(shared.sessions.size()) < shared.limits.connections) {
            return true;
        }
        for (const auto& weak : shared.sessions) {
            if (std::shared_ptr<Session> s = weak.lock()) {
                open.push_back(std::move(s));
            }
        }
    }
    std::shared_ptr<Session> oldest;
    for (const auto& s : open) {
        Steady::rep since = s->waiting_since();
        if (since != 0 && (!oldest || since < oldest->waiting_since())) {
            oldest = s;
        }
    }
    if (!oldest) {
        return false;
    }
    oldest->evict();
    return true;  // one over the limit until its handler ends
}

}  // namespace

struct Server::Impl {
    Impl(Site& site, Limits limits) : shared{site, limits, {}, {}}, acceptor(context) {}

    void accept() {
        acceptor.async_accept(asio::make_strand(context),
                              [this](beast::error_code ec, tcp::socket socket) {
                                  if (ec == asio::error::operation_aborted) {
                                      return;
                                  }
                                  if (!ec && make_room(shared)) {
                                      std::make_shared<Session>(std::move(socket), shared)->start();
                                  }
                                  accept();
                              });
    }

    Shared shared;
    asio::io_context context;
    tcp::acceptor acceptor;
    std::vector<std::thread> threads;
};

Server::Server(Site& site, Limits limits) : impl_(std::make_unique<Impl>(site, limits)) {}

Server::~Server() {
    stop();
}

std::string Server::listen(const std::string& address, unsigned short port) {
    beast::error_code ec;
    auto ip = asio::ip::make_address(address, ec);
    if (ec) {
        return "адрес \"" + address + "\" - не IP-адрес";
    }
    tcp::endpoint endpoint(ip, port);
    tcp::acceptor& a = impl_->acceptor;
    a.open(endpoint.protocol(), ec);
    if (!ec) {
        a.set_option(asio::socket_base::reuse_address(true), ec);
    }
    if (!ec) {
        a.bind(endpoint, ec);
    }
    if (!ec) {
        a.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec == asio::error::address_in_use) {
        return "порт " + std::to_string(port) + " на " + address + " уже занят другой программой";
    }
    if (ec == asio::error::access_denied) {
        return "нет прав открыть порт " + std::to_string(port) + " на " + address;
    }
    if (ec == boost::system::errc::address_not_available) {
        return "адреса " + address + " нет у этого ПК";
    }
    if (ec) {
        return address + ":" + std::to_string(port) + ": " + ec.message();
    }
    return {};
}

unsigned short Server::port() const {
    beast::error_code ec;
    return impl_->acceptor.local_endpoint(ec).port();
}

void Server::run(int threads) {
    impl_->accept();
    for (int i = 0; i < threads; ++i) {
        impl_->threads.emplace_back([this] { impl_->context.run(); });
    }
}

void Server::stop() {
    impl_->context.stop();
    for (std::thread& t : impl_->threads) {
        t.join();
    }
    impl_->threads.clear();
}

bool loopback_address(const std::string& address) {
    beast::error_code ec;
    auto ip = asio::ip::make_address(address, ec);
    return !ec && ip.is_loopback();
}

}  // namespace ringlist
