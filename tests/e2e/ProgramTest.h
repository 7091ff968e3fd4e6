#pragma once

// Running the built programs (frhost, frild) as a user would, each test in a directory of its
// own: to the end, or in the background to be signalled.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace e2etest {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string ReadAll(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::path(::testing::TempDir()) / (std::string("frhost_") + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    Outcome Frhost(const std::vector<std::string>& args) const {
        // ORX_LOG would change what the program logs; every run starts from the defaults.
        std::string command = "env -u ORX_LOG " + Quote(FRHOST_PATH);
        // Appended, not " " + Quote(a): GCC 12 at -O3 reports a false -Wrestrict.
        for (const auto& a : args)
            command.append(" ").append(Quote(a));
        command += " >" + Quote((m_dir / "out").string()) + " 2>" + Quote((m_dir / "err").string());
        int raw = std::system(command.c_str());
        Outcome o;
        o.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        o.out = ReadAll(m_dir / "out");
        o.err = ReadAll(m_dir / "err");
        return o;
    }

    // frhost in the background, its output going to files; Wait collects it. A prefix that
    // execs its last argument (`ip netns exec NS`) keeps the pid frhost's, so Signal reaches it.
    class Background {
      public:
        Background(const fs::path& dir, const std::vector<std::string>& args,
                   const std::vector<std::string>& prefix = {})
            : m_dir(dir) {
            std::vector<std::string> all = prefix;
            all.push_back(FRHOST_PATH);
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (auto& a : all)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            posix_spawn_file_actions_t files;
            posix_spawn_file_actions_init(&files);
            posix_spawn_file_actions_addopen(&files, 1, (dir / "out").c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
            posix_spawn_file_actions_addopen(&files, 2, (dir / "err").c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (posix_spawnp(&m_pid, all[0].c_str(), &files, nullptr, argv.data(), environ) != 0)
                m_pid = -1;
            posix_spawn_file_actions_destroy(&files);
        }
        ~Background() {
            if (m_pid > 0) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
            }
        }
        void Signal(int sig) const { kill(m_pid, sig); }
        std::string Out() const { return ReadAll(m_dir / "out"); }
        Outcome Wait() {
            int raw = 0;
            waitpid(m_pid, &raw, 0);
            m_pid = -1;
            return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(m_dir / "out"),
                           ReadAll(m_dir / "err")};
        }
        // As Wait, but a program still running after `limit` is killed (status -1).
        Outcome WaitFor(std::chrono::milliseconds limit) {
            if (m_pid <= 0)
                return Outcome{-1, ReadAll(m_dir / "out"), ReadAll(m_dir / "err")};
            const auto deadline = std::chrono::steady_clock::now() + limit;
            int raw = 0;
            while (waitpid(m_pid, &raw, WNOHANG) == 0) {
                if (std::chrono::steady_clock::now() > deadline) {
                    kill(m_pid, SIGKILL);
                    waitpid(m_pid, nullptr, 0);
                    m_pid = -1;
                    return Outcome{-1, ReadAll(m_dir / "out"), ReadAll(m_dir / "err")};
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            m_pid = -1;
            return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadAll(m_dir / "out"),
                           ReadAll(m_dir / "err")};
        }

      private:
        fs::path m_dir;
        pid_t m_pid = -1;
    };

    std::string Write(const std::string& name, const std::string& text) const {
        fs::path path = m_dir / name;
        std::ofstream(path) << text;
        return path.string();
    }

    static std::string Example(const std::string& name) {
        return std::string(ORX_EXAMPLES_DIR) + "/" + name;
    }

    fs::path m_dir;
};

}  // namespace e2etest
