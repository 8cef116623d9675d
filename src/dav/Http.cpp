#include "dav/Http.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace dav {

struct HttpServer::Call {
    HttpServer *server = nullptr;
    Request request;
    bool headersSeen = false;
    bool tooLarge = false;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The library keeps the path as sent: the handler decodes it after its checks.
size_t keepEscapes(void *, struct MHD_Connection *, char *s)
{
    return std::strlen(s);
}

void *startCall(void *cls, const char *uri, struct MHD_Connection *connection)
{
    auto *call = new HttpServer::Call;
    call->server = static_cast<HttpServer *>(cls);
    std::string_view u(uri ? uri : "");
    const auto q = u.find('?');
    call->request.path = std::string(u.substr(0, q));
    if (q != std::string_view::npos)
        call->request.query = std::string(u.substr(q + 1));
    if (const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        info && info->socket_context)
        call->request.peer = *static_cast<const std::string *>(info->socket_context);
    return call;
}

// The client's address, once per connection (its requests all name it).
void connectionChanged(void *, struct MHD_Connection *connection, void **socketContext,
                       enum MHD_ConnectionNotificationCode code)
{
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        delete static_cast<std::string *>(*socketContext);
        *socketContext = nullptr;
        return;
    }
    char text[INET6_ADDRSTRLEN] = "?";
    if (const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS)) {
        const sockaddr *sa = info->client_addr;
        if (sa->sa_family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(sa)->sin_addr, text, sizeof text);
        else if (sa->sa_family == AF_INET6)
            inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(sa)->sin6_addr, text, sizeof text);
    }
    *socketContext = new std::string(text);
}

void endCall(void *, struct MHD_Connection *, void **con_cls, enum MHD_RequestTerminationCode)
{
    delete static_cast<HttpServer::Call *>(*con_cls);
    *con_cls = nullptr;
}

enum MHD_Result collectHeader(void *cls, enum MHD_ValueKind, const char *key, const char *value)
{
    auto *request = static_cast<Request *>(cls);
    if (request->headers.empty())
        request->headers.reserve(16);
    auto &[name, text] = request->headers.emplace_back(key ? key : "", value ? value : "");
    for (char &c : name)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return MHD_YES;
}

void releaseShared(void *cls)
{
    delete static_cast<std::shared_ptr<const std::string> *>(cls);
}

void libraryLog(void *cls, const char *format, va_list ap)
{
    char buf[512];
    std::vsnprintf(buf, sizeof buf, format, ap);
    std::string line = "larkspur-dav: http: " + std::string(buf);
    while (line.back() == '\n' || line.back() == '\r')
        line.pop_back();
    static_cast<HttpServer *>(cls)->writeLog(line + "\n");
}

} // namespace

const std::string *Request::header(std::string_view name) const
{
    for (const auto &[n, v] : headers)
        if (n == name)
            return &v;
    return nullptr;
}

std::optional<std::string> Request::queryValue(std::string_view name) const
{
    std::string_view rest(query);
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        std::string_view item = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        const auto eq = item.find('=');
        if (item.substr(0, eq) != name)
            continue;
        return percentDecode(eq == std::string_view::npos ? std::string_view() : item.substr(eq + 1));
    }
    return std::nullopt;
}

std::optional<std::string> percentDecode(std::string_view text)
{
    if (text.find('%') == std::string_view::npos)
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string percentEncode(std::string_view segment)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : segment) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '@') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

static enum MHD_Result answer(void *cls, struct MHD_Connection *connection, const char *, const char *method,
                              const char *, const char *uploadData, size_t *uploadDataSize, void **con_cls)
{
    auto *server = static_cast<HttpServer *>(cls);
    auto *call = static_cast<HttpServer::Call *>(*con_cls);
    if (!call)
        return MHD_NO;
    Request &req = call->request;
    if (!call->headersSeen) {
        call->headersSeen = true;
        req.method = method ? method : "";
        MHD_get_connection_values(connection, MHD_HEADER_KIND, collectHeader, &req);
        if (const std::string *length = req.header("content-length")) {
            char *end = nullptr;
            const unsigned long long n = std::strtoull(length->c_str(), &end, 10);
            if (end == length->c_str() || *end != '\0' || n > server->maxBody())
                call->tooLarge = true;
        }
        if (!call->tooLarge)
            return MHD_YES;
    }
    if (*uploadDataSize > 0 && !call->tooLarge) {
        if (req.body.size() + *uploadDataSize > server->maxBody()) {
            call->tooLarge = true;
            req.body.clear();
        } else {
            req.body.append(uploadData, *uploadDataSize);
            *uploadDataSize = 0;
            return MHD_YES;
        }
    }
    *uploadDataSize = 0;

    Response response;
    if (call->tooLarge) {
        response.status = 413;
        response.body = "The request body is larger than this server takes.\n";
        response.headers.emplace_back("Content-Type", "text/plain; charset=utf-8");
        response.headers.emplace_back("Connection", "close");
    } else {
        response = server->handle(req);
    }
    const std::string *data = response.sharedBody ? response.sharedBody.get() : &response.body;
    struct MHD_Response *r = nullptr;
    if (response.sharedBody) {
        auto *keep = new std::shared_ptr<const std::string>(response.sharedBody);
        r = MHD_create_response_from_buffer_with_free_callback_cls(data->size(), const_cast<char *>(data->data()),
                                                                   releaseShared, keep);
        if (!r)
            delete keep;
    } else {
        r = MHD_create_response_from_buffer(response.body.size(), response.body.data(), MHD_RESPMEM_MUST_COPY);
    }
    if (!r)
        return MHD_NO;
    for (const auto &[name, value] : response.headers)
        MHD_add_response_header(r, name.c_str(), value.c_str());
    const enum MHD_Result queued = MHD_queue_response(connection, response.status, r);
    MHD_destroy_response(r);
    server->logCall(*call, response, data->size());
    return queued;
}

HttpServer::HttpServer(const HttpOptions &options, Handler handler, std::ostream *log)
    : m_options(options), m_handler(std::move(handler)), m_log(log)
{
    if (m_log)
        m_logWriter = std::thread([this] { writeLogLines(); });
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL
                     | MHD_USE_ERROR_LOG;
    const bool tls = !options.certificatePem.empty() && !options.keyPem.empty();
    if (tls)
        flags |= MHD_USE_TLS;
    std::vector<MHD_OptionItem> items{
        {MHD_OPTION_LISTEN_SOCKET, options.listenSocket, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(options.connectionLimit), nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<intptr_t>(options.perAddressLimit), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(options.idleTimeoutSeconds), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(options.connectionMemory), nullptr},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&startCall), this},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&endCall), nullptr},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&connectionChanged), nullptr},
        {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(&keepEscapes), nullptr},
    };
    if (tls) {
        items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(m_options.keyPem.c_str())});
        items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char *>(m_options.certificatePem.c_str())});
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});
    m_daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &answer, this, MHD_OPTION_EXTERNAL_LOGGER, &libraryLog, this,
                                MHD_OPTION_ARRAY, items.data(),
                                MHD_OPTION_END);
    if (!m_daemon) {
        {
            std::lock_guard lock(m_logLock);
            m_stopping = true;
        }
        m_logReady.notify_one();
        if (m_logWriter.joinable())
            m_logWriter.join();
        throw std::runtime_error(tls ? "the HTTPS server cannot start (check --cert and --key)"
                                     : "the HTTP server cannot start");
    }
}

HttpServer::~HttpServer()
{
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    if (m_logWriter.joinable()) {
        {
            std::lock_guard lock(m_logLock);
            m_stopping = true;
        }
        m_logReady.notify_one();
        m_logWriter.join();
    }
}

Response HttpServer::handle(const Request &request)
{
    try {
        return m_handler(request);
    } catch (const std::exception &e) {
        if (m_log)
            writeLog("larkspur-dav: " + std::string(e.what()) + "\n");
        Response r;
        r.status = 500;
        r.body = "The server failed on this request.\n";
        return r;
    }
}

void HttpServer::logCall(const Call &call, const Response &response, std::size_t bytes)
{
    if (!m_log)
        return;
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - call.started).count();
    // Built in a buffer of the thread's own, kept from one request to the next.
    thread_local std::string line;
    line.clear();
    // Nothing a client sent reaches the log unescaped.
    auto clean = [](std::string_view s) {
        const std::size_t from = line.size();
        line.append(s.substr(0, 300));
        for (std::size_t i = from; i < line.size(); ++i)
            if (const auto c = static_cast<unsigned char>(line[i]); c < 0x20 || c == 0x7f || c == '"')
                line[i] = '?';
    };
    char number[24];
    auto append = [&](std::uint64_t n) {
        const auto end = std::to_chars(number, number + sizeof number, n).ptr;
        line.append(number, end);
    };
    line += call.request.peer;
    line += ' ';
    if (response.user.empty())
        line += '-';
    else
        clean(response.user);
    line += " \"";
    clean(call.request.method);
    line += ' ';
    clean(call.request.path);
    line += "\" ";
    append(response.status);
    line += ' ';
    append(bytes);
    line += ' ';
    append(static_cast<std::uint64_t>(micros) / 1000);
    line += '.';
    append(static_cast<std::uint64_t>(micros) / 100 % 10);
    line += "ms";
    if (!response.note.empty()) {
        line += " (";
        clean(response.note);
        line += ')';
    }
    line += '\n';
    writeLog(line);
}

void HttpServer::writeLog(std::string_view line)
{
    if (!m_log)
        return;
    std::lock_guard lock(m_logLock);
    if (m_pending.empty())
        m_logReady.notify_one();
    m_pending += line;
}

// Lines go out in batches: the first line of a batch wakes this thread, which gives
// the others a moment to join it and writes them all at once.
void HttpServer::writeLogLines()
{
    std::unique_lock lock(m_logLock);
    // Two buffers take turns, so that the requests' lines go into one grown before.
    std::string lines;
    for (;;) {
        m_logReady.wait(lock, [&] { return !m_pending.empty() || m_stopping; });
        if (!m_stopping)
            m_logReady.wait_for(lock, LogBatchTime, [&] { return m_stopping || m_pending.size() > 16384; });
        lines.swap(m_pending);
        const bool stop = m_stopping;
        lock.unlock();
        if (!lines.empty())
            *m_log << lines << std::flush;
        lines.clear();
        lock.lock();
        if (stop && m_pending.empty())
            return;
    }
}

ListenSocket listenOn(const std::string &address)
{
    ListenSocket out;
    std::string host, port;
    if (!address.empty() && address.front() == '[') {
        const auto close = address.find(']');
        if (close == std::string::npos || close + 1 >= address.size() || address[close + 1] != ':')
            throw std::runtime_error("--listen \"" + address + "\" is not [ADDRESS]:PORT");
        host = address.substr(1, close - 1);
        port = address.substr(close + 2);
    } else {
        const auto colon = address.rfind(':');
        if (colon == std::string::npos)
            throw std::runtime_error("--listen \"" + address + "\" is not ADDRESS:PORT");
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
    }
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (port.empty() || getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        throw std::runtime_error("--listen \"" + address + "\": give a numeric address and port");
    std::unique_ptr<addrinfo, void (*)(addrinfo *)> guard(found, freeaddrinfo);
    const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("cannot make a socket for " + address);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 128) != 0) {
        const std::string why = std::strerror(errno);
        ::close(fd);
        throw std::runtime_error("cannot listen on " + address + ": " + why);
    }
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &len);
    out.fd = fd;
    out.host = host;
    if (bound.ss_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(&bound);
        out.port = ntohs(in->sin_port);
        out.loopback = (ntohl(in->sin_addr.s_addr) >> 24) == 127;
    } else if (bound.ss_family == AF_INET6) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&bound);
        out.port = ntohs(in6->sin6_port);
        out.loopback = IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr)
                       || (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr) && in6->sin6_addr.s6_addr[12] == 127);
    }
    return out;
}

} // namespace dav
