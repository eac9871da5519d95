// tests/support/TestHttpServer.h
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// What the server answers for one path.
struct TestResponse {
    int status = 200;
    std::string body;
    std::string contentType = "text/plain";
    DWORD delayMs = 0;               // before anything is sent
    size_t cutAfter = std::string::npos;  // send only this many body bytes (Content-Length stays whole), then close
    bool silent = false;             // read the request, then say nothing until the client gives up
};

// A small HTTP/1.x server on 127.0.0.1 (a free port), run on its own thread. It answers one
// connection after the other and stops by itself after `maxRequests` requests or `lifetimeMs`,
// or when it goes. A request with an absolute address ("GET http://host:port/path") is answered
// like one for the path, so the same server also stands in for a proxy.
class TestHttpServer {
public:
    explicit TestHttpServer(int maxRequests = 20, DWORD lifetimeMs = 90000);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    int Port() const { return port_; }
    std::wstring Base() const { return L"http://127.0.0.1:" + std::to_wstring(port_); }
    // The answer for a path (without the query); unknown paths get 404.
    void Serve(const std::string& path, TestResponse response);
    // Request lines and whole request heads, in the order they came.
    std::vector<std::string> Requests();
    std::vector<std::string> Heads();

private:
    static DWORD WINAPI Run(void* self);
    void Handle(SOCKET client);
    bool Stopping() const;

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    int maxRequests_;
    ULONGLONG end_;
    std::atomic<bool> stop_{false};
    HANDLE thread_ = nullptr;
    std::mutex mutex_;
    std::map<std::string, TestResponse> routes_;
    std::vector<std::string> requests_, heads_;
};
