#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
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
              const std::string& workdir, const std::string& argv0) {
    if (argv.empty()) throw std::invalid_argument("run: empty argv");
    Pipe out, err;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const char* path = argv[0].c_str();
    if (!argv0.empty()) args[0] = const_cast<char*>(argv0.c_str());

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, 0);
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
    out.closeEnd(1);
    err.closeEnd(1);

    RunResult r;
    Pipe* pipes[2] = {&out, &err};
    std::string* texts[2] = {&r.out, &r.err};
    while (out.fd[0] >= 0 || err.fd[0] >= 0) {
        pollfd fds[2] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}};  // a closed end (-1) is skipped
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        char buf[65536];
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t k = read(pipes[i]->fd[0], buf, sizeof buf);
            if (k > 0) texts[i]->append(buf, static_cast<size_t>(k));
            else if (k == 0 || errno != EINTR) pipes[i]->closeEnd(0);
        }
    }
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
    return run(argv, env, workdir);
}

RunResult runLqclNamed(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    std::vector<std::string> argv{LQCL_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, env, "", "lqcl");
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
