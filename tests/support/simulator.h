// A running tolvo-sim for end-to-end tests: started on a scenario in a fresh
// device directory, reached through its control socket, stopped (SIGTERM, then
// wait) when the object goes away.
//
//   testsupport::Simulator sim(R"({"systems":[...]})");
//   auto r = testsupport::runLqcl({"-C", "-g", ...}, sim.env());
//   auto sent = sim.commands();           // every command the tool sent
//   sim.ctl("inject", {"sg0", "busy", R"({"count":3})"});
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/process.h"

namespace testsupport {

// A raw client of one simulated sg node, speaking the socket transport byte
// by byte: for tests of the transport itself.
class SgNode {
public:
    // Connects to the socket at `path`; check connected().
    explicit SgNode(const std::string& path);
    ~SgNode();
    SgNode(const SgNode&) = delete;
    SgNode& operator=(const SgNode&) = delete;
    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Sends one message; false when the send failed.
    bool send(const std::vector<uint8_t>& message);
    // Receives one message (empty and `closed` true when the peer closed;
    // empty and `closed` false on a time-out).
    std::vector<uint8_t> receive(int timeoutMs = 10000, bool* closed = nullptr);
    // "SGOP" + flags; returns the 32-bit answer, or -1 when none came.
    int64_t open(uint32_t flags);
    // "SGID"; the 32 bytes of struct sg_scsi_id, or fewer on failure.
    std::vector<uint8_t> scsiId();
    // One classic sg write (header with pack_id, reply_len = 36 + dataIn,
    // twelve_byte for a 12-byte CDB) and the reply message.
    std::vector<uint8_t> command(const std::vector<uint8_t>& cdb, uint32_t dataIn,
                                 const std::vector<uint8_t>& dataOut = {}, int32_t packId = 5678);

private:
    int fd_ = -1;
};

// A scenario of one RAID system reached through two paths (sg0, sg1), with
// `slots` drives of 300 GB in enclosure 1 and the model keys of `model` added
// (an empty `name` leaves the system unnamed).
std::string twoPathScenario(const std::string& name, int slots, const nlohmann::json& model);
// The same system reached through sg0 only.
std::string onePathScenario(const std::string& name, int slots, const nlohmann::json& model);

class Simulator {
public:
    // `scenario`: a path to a scenario file, JSON text (anything whose first
    // non-blank character is '{'), or empty for the built-in default.
    // `extraArgs` go to `tolvo-sim serve` after the scenario (e.g. --state F).
    // Throws std::runtime_error with the emulator's standard error when it
    // does not become ready.
    explicit Simulator(const std::string& scenario = "", const std::vector<std::string>& extraArgs = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // The device directory (give it to lqcl as LQCL_DEV_DIR).
    const std::string& dir() const { return devices_.path(); }
    // {"LQCL_DEV_DIR": dir()}, for runLqcl.
    std::map<std::string, std::string> env() const { return {{"LQCL_DEV_DIR", dir()}}; }
    pid_t pid() const { return pid_; }

    // One control request (the words of `tolvo-sim ctl DIR VERB ARGS...`);
    // returns the answer, which carries "error" when the request failed.
    // Throws std::runtime_error when the emulator cannot be reached.
    nlohmann::json ctl(const std::string& verb, const std::vector<std::string>& args = {}) const;
    // Every command received so far (the "commands" array of the record).
    nlohmann::json commands() const;
    void clearCommands() const;
    // Injects a fault: target "sg<N>" or "system:<N>", kind and JSON parameters.
    void inject(const std::string& target, const std::string& kind, const std::string& params = "{}") const;

    // Sends SIGTERM and waits; returns the exit status (128 + signal when it
    // was killed). Idempotent: later calls return the same status.
    int stop();

private:
    TempDir devices_;
    TempDir work_;
    pid_t pid_ = -1;
    int status_ = -1;
};

// Slots first .. first + count - 1 of enclosure 1, as a scenario's drive list.
nlohmann::json driveSlots(int first, int count);

// The tail lqcl prints after a failed call: the message and its return code.
std::string errorTail(const std::string& message, int code);

// Runs lqcl against the emulator, in its device directory.
RunResult lqcl(const Simulator& sim, const std::vector<std::string>& args);

// One run of lqcl and what it must print on standard output (standard error
// must stay empty) and exit with.
struct Case {
    std::vector<std::string> args;
    std::string out;
    int status;
};
// Compares a finished run's whole standard output and exit status; standard
// error must be empty.
void expectResult(const RunResult& r, const std::string& out, int status, const std::string& what = "");
void expectRun(const Simulator& sim, const std::vector<std::string>& args, const std::string& out, int status);
void expectRuns(const Simulator& sim, const std::vector<Case>& cases);

// The CDBs (lower-case hexadecimal) the tool sent that start with `prefix`.
std::vector<std::string> sentCdbs(const Simulator& sim, const std::string& prefix);
// The data (lower-case hexadecimal) of the commands sent with data whose CDB
// starts with `prefix`.
std::vector<std::string> sentData(const Simulator& sim, const std::string& prefix);

}  // namespace testsupport
