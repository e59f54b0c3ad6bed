// A TCP listener on loopback that only counts the connections made to it:
// proof that a parser fetched nothing over the network.
#ifndef VELKCONF_TESTS_SUPPORT_LOOPBACK_LISTENER_H_
#define VELKCONF_TESTS_SUPPORT_LOOPBACK_LISTENER_H_

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

class LoopbackListener {
 public:
  LoopbackListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(::listen(fd_, 16), 0);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackListener() { ::close(fd_); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  std::string Url(const std::string& file) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + file;
  }
  // Connections made since the last call (the kernel completes them
  // without an accept, so none is missed).
  int Connections() {
    int count = 0;
    for (int fd; (fd = ::accept(fd_, nullptr, nullptr)) >= 0; ++count) {
      ::close(fd);
    }
    return count;
  }

 private:
  int fd_;
  int port_ = 0;
};

#endif  // VELKCONF_TESTS_SUPPORT_LOOPBACK_LISTENER_H_
