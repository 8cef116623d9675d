// larkspur-dav: the shared calendar and each user's own calendar for calendar clients,
// as an iCalendar feed and read-only CalDAV. Runs in the foreground, logs one line per
// request to standard error, ends cleanly on SIGTERM or SIGINT.
#include "dav/Http.h"
#include "dav/Server.h"
#include "dav/StoreSource.h"

#include "messaging/Session.h"
#include "store/Engine.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <fstream>
#include <iostream>
#include <sstream>

#include <unistd.h>

namespace {

std::string readPem(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in || text.str().empty() || text.str().size() > 1024 * 1024)
        throw std::runtime_error("cannot read \"" + path + "\"");
    return text.str();
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app{"Serves the Larkspur Calendar and each user's own calendar to calendar clients "
                 "(iCalendar feed and read-only CalDAV).",
                 "larkspur-dav"};
    std::string store, listen = "127.0.0.1:8080", cert, key;
    bool insecure = false;
    unsigned refresh = 60;
    app.add_option("--store", store, "The store: a file, or a postgresql:// database (default: $LARKSPUR_STORE, else "
                   "~/.local/share/larkspur/store.db)");
    app.add_option("--listen", listen, "ADDRESS:PORT to listen on (default 127.0.0.1:8080; port 0 picks one)");
    app.add_option("--cert", cert, "TLS certificate (PEM); with --key the server speaks HTTPS only");
    app.add_option("--key", key, "TLS private key (PEM)");
    app.add_flag("--insecure", insecure, "Allow plain HTTP on an address other than loopback");
    app.add_option("--refresh-minutes", refresh, "How often feed subscribers should look again (default 60)")
        ->check(CLI::Range(1, 10080));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    }
    if (cert.empty() != key.empty()) {
        std::cerr << "larkspur-dav: --cert and --key go together\n";
        return 2;
    }

    // The threads the server starts inherit this mask: only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        const std::filesystem::path storePath = store.empty() ? messaging::Session::defaultStorePath() : std::filesystem::path(store);
        dav::ListenSocket socket = dav::listenOn(listen);
        const bool tls = !cert.empty();
        if (!tls && !socket.loopback && !insecure) {
            ::close(socket.fd);
            std::cerr << "larkspur-dav: plain HTTP would send passwords readable on the network: give --cert and "
                         "--key, listen on 127.0.0.1, or say --insecure\n";
            return 2;
        }
        dav::HttpOptions options;
        options.listenSocket = socket.fd;
        if (tls) {
            options.certificatePem = readPem(cert);
            options.keyPem = readPem(key);
        }
        std::error_code ec;
        if (!store::isServerLocation(storePath.native()) && !std::filesystem::is_regular_file(storePath, ec))
            std::cerr << "larkspur-dav: no store at \"" << storePath.string()
                      << "\" yet: requests are answered 503 until there is one\n";
        dav::StoreSource source(storePath);
        dav::Server server(source, dav::Settings{refresh});
        dav::HttpServer http(options, [&](const dav::Request &r) { return server.handle(r); }, &std::cerr);
        const std::string host = socket.host.find(':') != std::string::npos ? "[" + socket.host + "]" : socket.host;
        std::cerr << "larkspur-dav: serving \"" << storePath.string() << "\" on " << (tls ? "https" : "http")
                  << "://" << host << ":" << socket.port << "/" << std::endl;
        int signal = 0;
        sigwait(&stopSignals, &signal);
        std::cerr << "larkspur-dav: stopping" << std::endl;
    } catch (const std::exception &e) {
        std::cerr << "larkspur-dav: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
