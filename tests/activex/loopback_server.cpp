#include "loopback_server.h"

#include <ws2tcpip.h>

#include <cstdlib>
#include <cstring>

namespace testsupport {

namespace {

struct Winsock {
    Winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~Winsock() { WSACleanup(); }
};

SOCKET listenLoopback(int& port) {
    static Winsock winsock;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return s;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(addr);
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, 8) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    port = ntohs(addr.sin_port);
    return s;
}

std::string headerValue(const std::string& headers, const std::string& name) {
    const std::string key = "\r\n" + name + ":";
    const std::string text = "\r\n" + headers;
    size_t at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) {
        if (_strnicmp(text.c_str() + at, key.c_str(), key.size()) == 0) {
            size_t start = at + key.size();
            while (start < text.size() && text[start] == ' ')
                ++start;
            return text.substr(start, text.find("\r\n", start) - start);
        }
        at += 2;
    }
    return std::string();
}

std::string reply(const char* status, const std::string& extra, const std::string& body) {
    return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: application/octet-stream\r\n" +
           extra + "Content-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

LoopbackServer::LoopbackServer(std::string data) : m_data(std::move(data)) {
    m_listener = listenLoopback(m_port);
    if (m_listener != INVALID_SOCKET)
        m_thread = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    if (m_listener != INVALID_SOCKET)
        closesocket(m_listener); // accept fails and the thread ends
    if (m_thread.joinable())
        m_thread.join();
}

std::string LoopbackServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<HttpRequest> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

int LoopbackServer::closedPort() {
    int port = 0;
    const SOCKET s = listenLoopback(port);
    closesocket(s);
    return port;
}

void LoopbackServer::serve() {
    for (;;) {
        const SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        try {
            answer(client);
        } catch (...) {
            // A failed answer only fails that request.
        }
        closesocket(client);
    }
}

void LoopbackServer::answer(SOCKET client) {
    std::string text;
    char buffer[4096];
    size_t headerEnd;
    while ((headerEnd = text.find("\r\n\r\n")) == std::string::npos) {
        const int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0)
            return;
        text.append(buffer, n);
    }
    HttpRequest request;
    const size_t lineEnd = text.find("\r\n");
    const std::string line = text.substr(0, lineEnd);
    request.method = line.substr(0, line.find(' '));
    request.path = line.substr(line.find(' ') + 1);
    request.path = request.path.substr(0, request.path.find(' '));
    request.headers = text.substr(lineEnd + 2, headerEnd - lineEnd);
    const size_t length =
        std::strtoul(headerValue(request.headers, "Content-Length").c_str(), nullptr, 10);
    request.body = text.substr(headerEnd + 4);
    while (request.body.size() < length) {
        const int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0)
            break;
        request.body.append(buffer, n);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
    }
    const std::string response = respond(request);
    size_t sent = 0;
    while (sent < response.size()) {
        const int n =
            send(client, response.data() + sent, static_cast<int>(response.size() - sent), 0);
        if (n <= 0)
            break;
        sent += n;
    }
    shutdown(client, SD_SEND);
}

std::string LoopbackServer::respond(const HttpRequest& request) const {
    if (request.path == "/echo")
        return reply("200 OK", "", "echo:" + request.body);
    if (request.path == "/empty")
        return reply("200 OK", "", "");
    if (request.path == "/truncated") // promises more than it sends, then hangs up
        return "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" +
               std::string(1000, 't');
    if (request.path != "/data")
        return reply("404 Not Found", "", "not found");
    const std::string range = headerValue(request.headers, "Range");
    size_t first = 0, last = 0;
    if (std::sscanf(range.c_str(), "bytes=%zu-%zu", &first, &last) == 2 && first <= last &&
        last < m_data.size()) {
        const std::string extra = "Accept-Ranges: bytes\r\nContent-Range: bytes " +
                                  std::to_string(first) + "-" + std::to_string(last) + "/" +
                                  std::to_string(m_data.size()) + "\r\n";
        return reply("206 Partial Content", extra, m_data.substr(first, last - first + 1));
    }
    return reply("200 OK", "Accept-Ranges: bytes\r\n", m_data);
}

} // namespace testsupport
