#pragma once

// Runs build/bin/frild as a child process for the IL tests, and runs shell commands with a
// bounded time. Every wait is bounded; the child is killed when the object goes. frild binds
// "tcp://127.0.0.1:0" to a port the system picks and reports it, so tests running side by
// side never race for a port.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace iltest {

#ifndef ORX_FRILD_PATH
#error "ORX_FRILD_PATH must name the frild program"
#endif
inline const char* kFrild = ORX_FRILD_PATH;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs `command` through the shell, stdout and stderr together; gives the exit status.
inline int RunCommand(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = ::pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class FrildProcess {
  public:
    // Any free port on the loopback address, for --bind; Endpoint() then tells which.
    static constexpr const char* kAnyLoopbackPort = "tcp://127.0.0.1:0";

    // Starts `prefix` (e.g. "ip netns exec NS", may be empty) + frild + `args`, with its stderr
    // in `logPath`, and waits up to 10 s for it to report that it serves.
    FrildProcess(std::vector<std::string> args, const std::string& logPath,
                 std::vector<std::string> prefix = {})
        : m_log(logPath) {
        std::vector<std::string> argv = prefix;
        argv.push_back(kFrild);
        argv.insert(argv.end(), args.begin(), args.end());
        m_pid = ::fork();
        if (m_pid == 0) {
            int fd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
            std::vector<char*> cargs;
            for (auto& a : argv)
                cargs.push_back(a.data());
            cargs.push_back(nullptr);
            ::execvp(cargs[0], cargs.data());
            ::_exit(127);
        }
        if (m_pid < 0)
            throw std::runtime_error("cannot fork frild");
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            std::string log = ReadFile(m_log);
            size_t serving = log.find("frild: serving");
            size_t on = log.find(" on ", serving);
            size_t end = on == std::string::npos ? on : log.find_first_of(" \n", on + 4);
            if (serving != std::string::npos && end != std::string::npos) {
                m_endpoint = log.substr(on + 4, end - on - 4);
                return;
            }
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                throw std::runtime_error("frild exited at start: " + ReadFile(m_log));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Kill(SIGKILL);
        throw std::runtime_error("frild did not start within 10 s: " + ReadFile(m_log));
    }
    ~FrildProcess() { Kill(SIGKILL); }
    FrildProcess(const FrildProcess&) = delete;
    FrildProcess& operator=(const FrildProcess&) = delete;

    // Sends `sig` and waits up to 5 s for the exit (then SIGKILL); returns the exit status,
    // or -1 when it had to be killed or was gone already.
    int Kill(int sig) {
        if (m_pid <= 0)
            return -1;
        ::kill(m_pid, sig);
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                m_pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Signal(int sig) const {
        if (m_pid > 0)
            ::kill(m_pid, sig);
    }
    std::string Log() const { return ReadFile(m_log); }
    // The endpoint frild reported binding, e.g. "tcp://127.0.0.1:40123".
    const std::string& Endpoint() const { return m_endpoint; }
    // The same port on the loopback address (for a daemon bound to 0.0.0.0).
    std::string LoopbackEndpoint() const {
        return "tcp://127.0.0.1" + m_endpoint.substr(m_endpoint.rfind(':'));
    }

  private:
    pid_t m_pid = -1;
    std::string m_log;
    std::string m_endpoint;
};

}  // namespace iltest
