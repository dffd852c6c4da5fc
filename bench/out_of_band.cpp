// Out-of-band wall time: `lqcl -N ... -C -g -z allinfo` against tolvo-sim's
// network module, next to curl making the same sequence of POSTs to the same
// gateway in one run. Runs in a private network namespace (loopback only;
// needs root). The tool's own waits (information-set refreshes, busy retries)
// and its ICMP echo are taken out of its time. Target: at most 1.2 times curl;
// peak memory of the tool under 32 MiB.
//
//   bench_out_of_band [runs]     (default 5)
#include <sched.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "net/oob.h"
#include "whole_command.h"

namespace {

using namespace bench;

constexpr const char* kAddress = "127.0.0.1";

// One curl run that posts every recorded command as the tool's form would.
std::vector<std::string> curlArgs(const nlohmann::json& record, const std::string& dir) {
    std::vector<std::string> argv = {"/usr/bin/curl", "-s", "-o", "/dev/null"};
    int n = 0;
    for (const auto& c : record) {
        if (n > 0) argv.push_back("--next");
        auto cdb = cdbOf(c);
        cdb.resize(16, 0);
        const bool in = c.value("direction", "") == "in";
        const uint32_t length = c.value("dataLength", 0u);
        std::string file = dir + "/up" + std::to_string(n++);
        std::ofstream up(file, std::ios::binary);
        up.put('\0');
        if (c.contains("data")) {
            auto data = fromHex(c["data"].get<std::string>());
            up.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        }
        argv.insert(argv.end(), {"-u", "admin:pw", "-F", std::string("ip=") + kAddress, "-F", "port=9292", "-F",
                                 "module=Tolvo", "-F", "method=qcl"});
        for (int i = 0; i < 16; ++i) argv.insert(argv.end(), {"-F", "CDB" + std::to_string(i) + "=" + std::to_string(cdb[i])});
        argv.insert(argv.end(), {"-F", "BufferLength=" + std::to_string(length), "-F", "CDBlength=10", "-F",
                                 "TimeOutInSeconds=120", "-F", std::string("CDBdirection=") + (in ? "1" : "0"), "-F",
                                 "UploadedFile=@" + file + ";filename=outgoing",
                                 std::string("http://") + kAddress + ":9292/cgi-bin/cgiloader.cgi"});
    }
    return argv;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (unshare(CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "bench: a private network namespace is needed (run as root)\n");
        return 1;
    }
    const std::string dir = tempDir();
    if (dir.empty()) return 1;
    run({"/usr/sbin/ip", "link", "set", "lo", "up"}, dir, nullptr, nullptr);

    nlohmann::json scenario = nlohmann::json::parse(sim::embeddedDefaultScenario());
    scenario["systems"][0]["network"] = {{"address", kAddress}, {"user", "admin"}, {"password", "pw"}};
    const std::string file = dir + "/scenario.json";
    std::ofstream(file) << scenario.dump();

    Emulator sim(dir, {file});
    if (!sim.ready()) {
        std::fprintf(stderr, "bench: tolvo-sim did not become ready\n");
        return 1;
    }
    // The echo of the tool's first command, measured alone (in a child, its
    // output discarded) and taken out.
    auto p0 = Clock::now();
    pid_t pinger = fork();
    if (pinger == 0) {
        if (!std::freopen("/dev/null", "w", stdout)) _exit(1);
        _exit(ahping(0, kAddress, OOB_PING_COUNT) == 0 ? 0 : 1);
    }
    int pingStatus = 1;
    waitpid(pinger, &pingStatus, 0);
    const double pingMs = ms(Clock::now() - p0);
    if (pingStatus != 0) {
        std::fprintf(stderr, "bench: the module does not answer the echo\n");
        return 1;
    }

    std::vector<double> tool, curl;
    long peak = 0;
    nlohmann::json record;
    for (int i = 0; i < runs; ++i) {
        ctl(dir, {"clear-commands"});
        long rss = 0;
        auto t0 = Clock::now();
        int st = run({LQCL_BINARY, "-N", "-p", "admin", "-p", "pw", "-p", kAddress, "-C", "-g", "-z", "allinfo"}, dir,
                     nullptr, &rss);
        const double wall = ms(Clock::now() - t0);
        record = recorded(dir);
        if (st != 0 || record.empty()) {
            std::fprintf(stderr, "bench: lqcl failed (status %d)\n", st);
            return 1;
        }
        tool.push_back(wall - refreshAndBusyWaits(record) - pingMs);
        peak = std::max(peak, rss);
        auto args = curlArgs(record, dir);
        auto c0 = Clock::now();
        run(args, dir, nullptr, nullptr);
        curl.push_back(ms(Clock::now() - c0));
    }
    const double t = median(tool), c = median(curl), ratio = c > 0 ? t / c : 0;
    std::printf("out-of-band allinfo: %zu POSTs; lqcl %.2f ms (waits and %.2f ms echo taken out), curl %.2f ms, "
                "ratio %.2f (target <= 1.2); peak memory %.1f MiB (target < 32)\n",
                record.size(), t, pingMs, c, ratio, peak / 1024.0);
    if (!removeDir(dir)) return 1;
    return ratio <= 1.2 && peak < 32 * 1024 ? 0 : 2;
}
