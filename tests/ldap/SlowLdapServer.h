#pragma once

// A loopback LDAP server that answers every bind at once with success and every write (add,
// modify, delete, rename) with success after a delay, for tests of how long the client waits.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace KvTest {

class SlowLdapServer {
public:
    explicit SlowLdapServer(std::chrono::milliseconds writeDelay) : delay_(writeDelay) {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(listen_, 4);
        socklen_t length = sizeof(address);
        getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~SlowLdapServer() {
        stop_ = true;
        thread_.join();
        close(listen_);
    }
    SlowLdapServer(const SlowLdapServer&) = delete;
    SlowLdapServer& operator=(const SlowLdapServer&) = delete;

    int Port() const { return port_; }
    int WritesAnswered() const { return answered_; }

private:
    // Waits for the descriptor to become readable; false once the server is told to stop.
    bool WaitReadable(int fd) {
        while (!stop_) {
            pollfd item{fd, POLLIN, 0};
            if (poll(&item, 1, 50) > 0) {
                return true;
            }
        }
        return false;
    }

    bool ReadExactly(int fd, std::string& into, size_t count) {
        while (count > 0) {
            if (!WaitReadable(fd)) {
                return false;
            }
            char buffer[4096];
            ssize_t got = read(fd, buffer, count < sizeof(buffer) ? count : sizeof(buffer));
            if (got <= 0) {
                return false;
            }
            into.append(buffer, static_cast<size_t>(got));
            count -= static_cast<size_t>(got);
        }
        return true;
    }

    // One LDAPMessage: the SEQUENCE header (short or long length form) and its content.
    bool ReadMessage(int fd, std::string& content) {
        std::string header;
        if (!ReadExactly(fd, header, 2) || static_cast<uint8_t>(header[0]) != 0x30) {
            return false;
        }
        size_t length = static_cast<uint8_t>(header[1]);
        if (length & 0x80) {
            std::string bytes;
            if (!ReadExactly(fd, bytes, length & 0x7F)) {
                return false;
            }
            length = 0;
            for (char byte : bytes) {
                length = length << 8 | static_cast<uint8_t>(byte);
            }
        }
        return ReadExactly(fd, content, length);
    }

    static uint8_t ResponseTag(uint8_t request) {
        switch (request) {
            case 0x60:  // bind
                return 0x61;
            case 0x66:  // modify
                return 0x67;
            case 0x68:  // add
                return 0x69;
            case 0x4A:  // delete
                return 0x6B;
            case 0x6C:  // modify DN
                return 0x6D;
            default:  // unbind, abandon: no answer
                return 0;
        }
    }

    void Serve() {
        if (!WaitReadable(listen_)) {
            return;
        }
        int fd = accept(listen_, nullptr, nullptr);
        std::string content;
        while (fd >= 0 && ReadMessage(fd, content)) {
            // messageID INTEGER (tag 0x02, short length), then the operation's tag.
            size_t idLength = content.size() < 2 ? 0 : static_cast<uint8_t>(content[1]);
            if (content.size() < 3 + idLength) {
                break;
            }
            std::string id = content.substr(0, 2 + idLength);
            uint8_t tag = ResponseTag(static_cast<uint8_t>(content[2 + idLength]));
            content.clear();
            if (tag == 0) {
                continue;
            }
            if (tag != 0x61) {
                auto until = std::chrono::steady_clock::now() + delay_;
                while (!stop_ && std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            }
            // LDAPResult: success, empty matched DN, empty diagnostic message.
            std::string result = std::string(1, static_cast<char>(tag)) +
                                 std::string("\x07\x0A\x01\x00\x04\x00\x04\x00", 8);
            std::string body = id + result;
            std::string message =
                std::string(1, '\x30') + std::string(1, static_cast<char>(body.size())) + body;
            // Counted before the answer leaves: the client may return and ask for the count
            // before this thread runs again.
            answered_ += tag != 0x61;
            if (write(fd, message.data(), message.size()) < 0) {
                answered_ -= tag != 0x61;
                break;
            }
        }
        if (fd >= 0) {
            close(fd);
        }
    }

    std::chrono::milliseconds delay_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

}  // namespace KvTest
