#pragma once
// A small HTTP server on 127.0.0.1 (ephemeral port) for the stream tests. One
// request per connection:
//   /data      the body given at construction, with Range support (206);
//   /echo      200 with "echo:" and the request's body;
//   /empty     200 with an empty body;
//   /truncated 200 declaring 100 000 bytes, of which 1 000 come;
//   anything else 404.

#include <winsock2.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct HttpRequest {
    std::string method;
    std::string path;
    std::string headers; // the header lines as received
    std::string body;
};

class LoopbackServer {
public:
    explicit LoopbackServer(std::string data);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool running() const { return m_listener != INVALID_SOCKET; }
    std::string url(const std::string& path) const;
    std::vector<HttpRequest> requests() const;

    // A port on 127.0.0.1 that nothing listens on.
    static int closedPort();

private:
    void serve();
    void answer(SOCKET client);
    std::string respond(const HttpRequest& request) const;

    std::string m_data;
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<HttpRequest> m_requests;
    std::thread m_thread;
};

} // namespace testsupport
