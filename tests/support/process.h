// Runs a program as a child process and captures what it printed and how it ended.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct RunResult {
    std::string out;   // everything written to standard output
    std::string err;   // everything written to standard error
    int status = -1;   // exit status 0..255, or 128 + signal number when killed
};

// Runs argv[0] (a path) with the arguments, the current environment plus `env`
// (an empty value unsets the variable), standard input from /dev/null, in
// `workdir` when given. A non-empty `argv0` is what the program sees as its own name.
RunResult run(const std::vector<std::string>& argv,
              const std::map<std::string, std::string>& env = {},
              const std::string& workdir = "",
              const std::string& argv0 = "");

// Runs the built lqcl with the given arguments.
RunResult runLqcl(const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env = {},
                  const std::string& workdir = "");
// The same, with the program seeing itself as "lqcl" (as when found on PATH), so
// that texts that carry the program name do not depend on the build directory.
RunResult runLqclNamed(const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& env = {});

// The whole content of a file (empty when it cannot be read).
std::string readFile(const std::string& path);
// Creates or replaces a file with exactly these bytes.
void writeFile(const std::string& path, const std::string& bytes);

// A fresh empty directory under the system temporary directory, removed with its
// contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace testsupport
