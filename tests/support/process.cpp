#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    }
    ~Pipe() { closeBoth(); }
    void closeEnd(int i) {
        if (fd[i] >= 0) close(fd[i]);
        fd[i] = -1;
    }
    void closeBoth() { closeEnd(0); closeEnd(1); }
};

}  // namespace

RunResult run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
              const std::string& input, const std::string& workdir, const std::string& argv0) {
    if (argv.empty()) throw std::invalid_argument("run: empty argv");
    Pipe in, out, err;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const char* path = argv[0].c_str();
    if (!argv0.empty()) args[0] = const_cast<char*>(argv0.c_str());

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(in.fd[0], 0);
        dup2(out.fd[1], 1);
        dup2(err.fd[1], 2);
        for (const auto& [k, v] : env) {
            if (v.empty()) unsetenv(k.c_str());
            else setenv(k.c_str(), v.c_str(), 1);
        }
        if (!workdir.empty() && chdir(workdir.c_str()) != 0) _exit(127);
        execv(path, args.data());
        _exit(127);
    }
    in.closeEnd(0);
    out.closeEnd(1);
    err.closeEnd(1);

    RunResult r;
    size_t written = 0;
    if (input.empty()) in.closeEnd(1);
    else fcntl(in.fd[1], F_SETFL, O_NONBLOCK);
    signal(SIGPIPE, SIG_IGN);

    while (out.fd[0] >= 0 || err.fd[0] >= 0) {
        pollfd fds[3];
        int n = 0;
        int outIdx = -1, errIdx = -1, inIdx = -1;
        if (out.fd[0] >= 0) { outIdx = n; fds[n++] = {out.fd[0], POLLIN, 0}; }
        if (err.fd[0] >= 0) { errIdx = n; fds[n++] = {err.fd[0], POLLIN, 0}; }
        if (in.fd[1] >= 0) { inIdx = n; fds[n++] = {in.fd[1], POLLOUT, 0}; }
        if (poll(fds, n, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        char buf[65536];
        auto drain = [&](int idx, Pipe& p, std::string& dst) {
            if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
            ssize_t k = read(p.fd[0], buf, sizeof buf);
            if (k > 0) dst.append(buf, static_cast<size_t>(k));
            else if (k == 0 || errno != EINTR) p.closeEnd(0);
        };
        drain(outIdx, out, r.out);
        drain(errIdx, err, r.err);
        if (inIdx >= 0 && (fds[inIdx].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t k = write(in.fd[1], input.data() + written, input.size() - written);
            if (k > 0) written += static_cast<size_t>(k);
            if (k < 0 || written == input.size()) in.closeEnd(1);
        }
    }
    in.closeEnd(1);
    int st = 0;
    while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
    else if (WIFSIGNALED(st)) r.status = 128 + WTERMSIG(st);
    return r;
}

RunResult runLqcl(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                  const std::string& workdir) {
    std::vector<std::string> argv{LQCL_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, env, "", workdir);
}

RunResult runLqclNamed(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    std::vector<std::string> argv{LQCL_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, env, "", "", "lqcl");
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "lqcl-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace testsupport
