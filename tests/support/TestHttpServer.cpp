// tests/support/TestHttpServer.cpp
#include "support/TestHttpServer.h"
#include <ws2tcpip.h>

TestHttpServer::TestHttpServer(int maxRequests, DWORD lifetimeMs)
    : maxRequests_(maxRequests), end_(GetTickCount64() + lifetimeMs) {
    WSADATA d;
    WSAStartup(MAKEWORD(2, 2), &d);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(listener_, 8);
    int len = sizeof addr;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

TestHttpServer::~TestHttpServer() {
    stop_ = true;
    WaitForSingleObject(thread_, 30000);
    CloseHandle(thread_);
    closesocket(listener_);
    WSACleanup();
}

void TestHttpServer::Serve(const std::string& path, TestResponse response) {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[path] = std::move(response);
}

std::vector<std::string> TestHttpServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<std::string> TestHttpServer::Heads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return heads_;
}

bool TestHttpServer::Stopping() const { return stop_ || GetTickCount64() > end_; }

DWORD WINAPI TestHttpServer::Run(void* p) {
    auto* self = static_cast<TestHttpServer*>(p);
    int served = 0;
    while (!self->Stopping() && served < self->maxRequests_) {
        fd_set r;
        FD_ZERO(&r);
        FD_SET(self->listener_, &r);
        timeval tick{0, 50000};
        if (select(0, &r, nullptr, nullptr, &tick) <= 0) continue;
        SOCKET client = accept(self->listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
        self->Handle(client);
        closesocket(client);
        ++served;
    }
    return 0;
}

void TestHttpServer::Handle(SOCKET client) {
    // Read the head (at most 64 KB, at most 10 seconds).
    std::string head;
    const ULONGLONG limit = GetTickCount64() + 10000;
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && GetTickCount64() < limit && !Stopping()) {
        fd_set r;
        FD_ZERO(&r);
        FD_SET(client, &r);
        timeval tick{0, 50000};
        if (select(0, &r, nullptr, nullptr, &tick) <= 0) continue;
        char buf[4096];
        int n = recv(client, buf, sizeof buf, 0);
        if (n <= 0) break;
        head.append(buf, static_cast<size_t>(n));
    }
    const std::string line = head.substr(0, head.find("\r\n"));
    // "GET <target> HTTP/1.1": the target may be absolute when we stand in for a proxy.
    std::string target = line.substr(line.find(' ') + 1);
    target = target.substr(0, target.find(' '));
    if (target.rfind("http://", 0) == 0) {
        const size_t slash = target.find('/', 7);
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    const std::string path = target.substr(0, target.find('?'));
    TestResponse response;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(line);
        heads_.push_back(head);
        auto it = routes_.find(path);
        if (it != routes_.end()) {
            response = it->second;
            known = true;
        }
    }
    if (!known) {
        response.status = 404;
        response.body = "nicht gefunden";
    }
    if (response.silent) response.delayMs = 60000;
    // Wait in small steps until the client gives up (its socket closes) or the time has passed.
    const ULONGLONG until = GetTickCount64() + response.delayMs;
    while (GetTickCount64() < until && !Stopping()) {
        fd_set r;
        FD_ZERO(&r);
        FD_SET(client, &r);
        timeval tick{0, 50000};
        if (select(0, &r, nullptr, nullptr, &tick) > 0) {
            char buf[256];
            if (recv(client, buf, sizeof buf, 0) <= 0) return;
        }
    }
    if (response.silent) return;
    std::string reply = "HTTP/1.0 " + std::to_string(response.status) + (response.status == 200 ? " OK" : " Fehler") +
                        "\r\nContent-Type: " + response.contentType + "\r\nContent-Length: " +
                        std::to_string(response.body.size()) + "\r\nConnection: close\r\n\r\n" +
                        response.body.substr(0, response.cutAfter);
    size_t sent = 0;
    while (sent < reply.size()) {
        int n = send(client, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    shutdown(client, SD_SEND);
}
