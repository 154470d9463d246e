#pragma once
// A TCP proxy on loopback that holds every chunk it passes on for a fixed delay, each way: the
// Firebird server on localhost as it is seen across a local network. Firebird's protocol is a
// conversation of requests and answers, so a round trip costs twice the delay.

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace migracja::bench {

class DelayProxy {
  public:
    DelayProxy(const std::string& host, int port, std::chrono::microseconds delay)
        : host_(host), port_(port), delay_(delay) {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            listen(listen_, 16) != 0 ||
            getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            throw std::runtime_error("the delaying proxy cannot listen");
        localPort_ = ntohs(a.sin_port);
        accepter_ = std::thread([this] { Accept(); });
    }
    ~DelayProxy() {
        stopping_ = true;
        shutdown(listen_, SHUT_RDWR);
        close(listen_);
        accepter_.join();
        std::lock_guard lock(mutex_);
        for (int s : sockets_) shutdown(s, SHUT_RDWR);
        for (std::thread& t : pumps_) t.join();
        for (int s : sockets_) close(s);
    }
    DelayProxy(const DelayProxy&) = delete;
    DelayProxy& operator=(const DelayProxy&) = delete;

    int Port() const { return localPort_; }

  private:
    void Accept() {
        while (!stopping_) {
            const int client = accept(listen_, nullptr, nullptr);
            if (client < 0) return;
            const int server = Connect();
            if (server < 0) {
                close(client);
                continue;
            }
            std::lock_guard lock(mutex_);
            sockets_.push_back(client);
            sockets_.push_back(server);
            pumps_.emplace_back([this, client, server] { Pump(client, server); });
            pumps_.emplace_back([this, client, server] { Pump(server, client); });
        }
    }
    int Connect() const {
        addrinfo hints{}, *found = nullptr;
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        if (getaddrinfo(host_.c_str(), std::to_string(port_).c_str(), &hints, &found) != 0)
            return -1;
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        const bool ok = s >= 0 && connect(s, found->ai_addr, found->ai_addrlen) == 0;
        freeaddrinfo(found);
        if (!ok) {
            if (s >= 0) close(s);
            return -1;
        }
        return s;
    }
    void Pump(int from, int to) const {
        const int one = 1;
        setsockopt(to, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const ssize_t n = read(from, buffer.data(), buffer.size());
            if (n <= 0) break;
            std::this_thread::sleep_for(delay_);
            for (ssize_t sent = 0; sent < n;) {
                const ssize_t w = write(to, buffer.data() + sent, static_cast<size_t>(n - sent));
                if (w <= 0) return;
                sent += w;
            }
        }
        shutdown(to, SHUT_WR);
    }

    std::string host_;
    int port_;
    std::chrono::microseconds delay_;
    int listen_ = -1;
    int localPort_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread accepter_;
    std::mutex mutex_;
    std::vector<int> sockets_;
    std::vector<std::thread> pumps_;
};

}  // namespace migracja::bench
