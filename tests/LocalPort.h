#pragma once
// A TCP port on 127.0.0.1 that a test listens on: to serve bytes through it (an input
// that cannot seek), or to see whether anything connected to it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

class TLocalPort {
 public:
  TLocalPort() {
    FSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (FSocket < 0 || ::bind(FSocket, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(FSocket, 8) != 0 ||
        ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      return;
    FPort = ntohs(address.sin_port);
  }
  ~TLocalPort() {
    if (!FResetGiven) FReset.set_value();  // a server waiting for its reset ends
    ::shutdown(FSocket, SHUT_RDWR);  // wakes a server waiting for its connection
    if (FClient >= 0) ::shutdown(FClient, SHUT_RDWR);  // and one holding it
    if (FServer.joinable()) FServer.join();
    ::close(FSocket);
  }
  TLocalPort(const TLocalPort&) = delete;
  TLocalPort& operator=(const TLocalPort&) = delete;

  int Port() const { return FPort; }  // 0: no port could be had
  // Whether a connection came since the last look; does not wait.
  bool Connected() {
    pollfd waiting{FSocket, POLLIN, 0};
    if (::poll(&waiting, 1, 0) != 1) return false;
    const int c = ::accept(FSocket, nullptr, nullptr);
    if (c < 0) return false;
    ::close(c);
    return true;
  }
  // The first connection gets the bytes, then the end of the stream; with hold, nothing
  // more but no end either, until the other side closes (a read that does not come back).
  void Serve(std::string bytes, bool hold = false) {
    FServer = std::thread([this, hold, bytes = std::move(bytes)] {
      const int c = FClient = ::accept(FSocket, nullptr, nullptr);
      if (c < 0) return;
      SendAll(c, bytes);
      for (char x; hold && ::read(c, &x, 1) > 0;) {
      }
      ::close(c);
    });
  }
  // The first connection gets the bytes and is then held until Reset, which closes it
  // with a reset instead of an orderly end: the other side's next read fails.
  void ServeThenReset(std::string bytes) {
    FServer = std::thread([this, bytes = std::move(bytes), reset = FReset.get_future()] {
      const int c = FClient = ::accept(FSocket, nullptr, nullptr);
      if (c < 0) return;
      SendAll(c, bytes);
      reset.wait();
      const linger abortive{1, 0};
      ::setsockopt(c, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
      ::close(c);
    });
  }
  void Reset() {
    FResetGiven = true;
    FReset.set_value();
    if (FServer.joinable()) FServer.join();
  }

 private:
  static void SendAll(int socket, const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
      const ssize_t n = ::write(socket, bytes.data() + at, bytes.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
  }

  std::promise<void> FReset;
  bool FResetGiven = false;
  int FSocket = -1;
  int FPort = 0;
  std::atomic<int> FClient{-1};
  std::thread FServer;
};
