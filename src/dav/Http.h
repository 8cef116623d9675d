// HttpServer: the HTTP side of the calendar server, on libmicrohttpd.
//
// One thread per connection (a slow client or a refused password delays nobody else),
// at most ConnectionLimit connections, idle connections closed after IdleTimeout,
// request headers capped by the connection's memory (larger ones are refused by the
// library), request bodies capped at MaxBody (413, the rest is not read). Each request
// reaches the handler once, whole, with its path and query exactly as sent: no
// percent-decoding happens before the handler has checked the path. One log line per
// request goes to the log stream: address, user, method, path, status, bytes, time;
// a thread of its own writes them in batches (at most LogBatchTime late), and the
// last ones before the server stops.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

struct MHD_Daemon;

namespace dav {

struct Request {
    std::string method;
    std::string path;    // as sent, before the '?'
    std::string query;   // as sent, after the '?'
    std::string peer;    // the client's address
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case
    std::string body;

    // The first header of that (lower-case) name.
    const std::string *header(std::string_view name) const;
    // A query parameter, percent-decoded; nullopt when absent or badly encoded.
    std::optional<std::string> queryValue(std::string_view name) const;
};

struct Response {
    unsigned status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // A body shared with a cache, sent without a copy (used instead of `body`).
    std::shared_ptr<const std::string> sharedBody;
    std::string user;    // for the log line
    std::string note;    // for the log line: why it failed
};

struct HttpOptions {
    int listenSocket = -1;        // bound and listening
    std::string certificatePem;   // both set: TLS
    std::string keyPem;
    std::size_t maxBody = 1024 * 1024;
    unsigned connectionLimit = 256;
    unsigned perAddressLimit = 64;
    unsigned idleTimeoutSeconds = 30;
    std::size_t connectionMemory = 32 * 1024;   // the library's own default
};

class HttpServer {
public:
    using Handler = std::function<Response(const Request &)>;

    // Starts serving at once; throws std::runtime_error when the library cannot start.
    HttpServer(const HttpOptions &options, Handler handler, std::ostream *log);
    // Stops accepting, ends every connection and waits for the threads.
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Internal, for the library's callbacks.
    struct Call;
    Response handle(const Request &request);
    std::size_t maxBody() const { return m_options.maxBody; }
    void logCall(const Call &call, const Response &response, std::size_t bytes);
    void writeLog(std::string_view line);

private:
    static constexpr std::chrono::milliseconds LogBatchTime{50};
    void writeLogLines();
    HttpOptions m_options;
    Handler m_handler;
    std::ostream *m_log;
    std::mutex m_logLock;
    std::condition_variable m_logReady;
    std::string m_pending;          // log lines not written yet
    bool m_stopping = false;
    std::thread m_logWriter;
    MHD_Daemon *m_daemon = nullptr;
};

// A listening socket for "HOST:PORT" ("127.0.0.1:8080", "[::1]:8080"; port 0 picks a
// free one). Throws std::runtime_error naming the address when it cannot be bound.
struct ListenSocket {
    int fd = -1;
    std::string host;
    unsigned port = 0;
    bool loopback = false;
};
ListenSocket listenOn(const std::string &address);

// Percent-decoding of a URL component; nullopt for a broken escape.
std::optional<std::string> percentDecode(std::string_view text);
// Percent-encoding of one path segment (unreserved characters stay).
std::string percentEncode(std::string_view segment);

} // namespace dav
