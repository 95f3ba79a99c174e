#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace ovra::host::testing {

// nginx on 127.0.0.1, serving `root` from a port of its own, started and
// stopped by the test. Besides plain files it has:
//   /norange/NAME  the same files with byte ranges switched off (200 only);
//   /drop/NAME     a connection closed without an answer;
//   /busy/NAME     503 Service Unavailable.
class NginxServer {
 public:
  explicit NginxServer(const std::filesystem::path& root)
      : dir_(std::filesystem::temp_directory_path() / ("ovra-nginx-" + std::to_string(::getpid()))) {
    const char* binary = "/usr/sbin/nginx";
    if (::access(binary, X_OK) != 0) return;
    std::filesystem::create_directories(dir_);
    port_ = FreePort();
    WriteConfig(root);
    Start();
  }

  ~NginxServer() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Starts the server again on the same port, after Stop.
  void Start() {
    if (pid_ > 0 || port_ == 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      const char* binary = "/usr/sbin/nginx";
      const std::string prefix = dir_.string() + "/";
      const std::string config = (dir_ / "nginx.conf").string();
      const std::string errors = (dir_ / "error.log").string();
      ::execl(binary, binary, "-p", prefix.c_str(), "-c", config.c_str(), "-e", errors.c_str(), nullptr);
      ::_exit(127);
    }
    running_ = pid_ > 0 && WaitUntilListening();
  }

  // Stops the server: connections to its port are refused until Start.
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  bool IsRunning() const { return running_; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
  }

  void WriteConfig(const std::filesystem::path& root) const {
    const std::string files = std::filesystem::absolute(root).string() + "/";
    std::ofstream(dir_ / "nginx.conf") << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                                       << "pid " << (dir_ / "nginx.pid").string() << ";\n"
                                       << "events { worker_connections 64; }\n"
                                       << "http {\n  access_log off;\n  server {\n"
                                       << "    listen 127.0.0.1:" << port_ << ";\n"
                                       << "    location / { root " << files << "; }\n"
                                       << "    location /norange/ { alias " << files << "; max_ranges 0; }\n"
                                       << "    location /drop/ { return 444; }\n"
                                       << "    location /busy/ { return 503; }\n"
                                       << "  }\n}\n";
  }

  bool WaitUntilListening() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<uint16_t>(port_));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      ::close(fd);
      if (connected) return true;
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::filesystem::path dir_;
  int port_ = 0;
  pid_t pid_ = -1;
  bool running_ = false;
};

}  // namespace ovra::host::testing
