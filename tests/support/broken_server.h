// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace test_server {

// A TCP listener on the loopback that plays a broken server to one client: it answers the TLS request with
// "no TLS here", closes at once, or never answers.
class BrokenServer
{
public:
    enum class Behaviour { NoTls, Close, Silent };

    explicit BrokenServer(Behaviour behaviour)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 4) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, behaviour] {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client < 0)
                return;
            char request[8];
            if (behaviour != Behaviour::Close && ::recv(client, request, sizeof request, MSG_WAITALL) > 0 &&
                behaviour == Behaviour::NoTls) {
                // 'N': this server does not speak TLS; libpq then gives up when the URI requires it.
                (void)::send(client, "N", 1, MSG_NOSIGNAL);
            }
            while (behaviour == Behaviour::Silent && !m_done)
                ::usleep(10000);
            ::close(client);
        });
    }
    ~BrokenServer()
    {
        m_done = true;
        if (m_listener >= 0)
            ::shutdown(m_listener, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener >= 0)
            ::close(m_listener);
    }

    int port() const { return m_port; }

private:
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

} // namespace test_server
