// The minimal client: a program of its own that reads a file of commands
// (written by a benchmark, see round_trip.h) and sends each the way the tool
// does, one connection per command. A benchmark times it, start to exit, as
// the floor of a whole lqcl command that sends the same bytes.
//
//   minimal-client COMMAND_FILE     exit status 0 when every command was answered
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "client/round_trip.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return 2;
    std::vector<uint8_t> file(static_cast<size_t>(st.st_size));
    size_t got = 0;
    for (ssize_t n; got < file.size() && (n = read(fd, file.data() + got, file.size() - got)) > 0;)
        got += static_cast<size_t>(n);
    close(fd);
    if (got != file.size()) return 2;
    return bench::sendEachCommand(file, [](const std::string& node, const uint8_t* cdb, size_t cdbLength, uint32_t in,
                                           const uint8_t* out, size_t outLength) {
        return bench::roundTrip(node, cdb, cdbLength, in, out, outLength);
    }) ? 0 : 1;
}
