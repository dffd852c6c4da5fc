// The emulator without its sockets: the devices of a scenario, the logical
// units behind them, their firmware models, injected faults, the clock and the
// record of received commands. The socket server feeds it opens, closes and
// messages; the tests drive it directly.
//
// Every command goes through the layers in order: injected faults, the
// persistent reservation check, the RAID system's firmware model, the standard
// commands. One mapper turns the outcome into the classic sg reply.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/model_api.h"
#include "scenario/scenario.h"
#include "scsi/reservations.h"
#include "scsi/standard_commands.h"
#include "server/clock.h"
#include "server/command_log.h"
#include "server/faults.h"

namespace sim {

using ModelFactory =
    std::function<std::unique_ptr<SystemModel>(const nlohmann::json& system, const SimClock& clock)>;

class Emulator {
public:
    struct Device {
        PathConfig path;
        int system = -1;     // index of the RAID system, -1 for another device
        unsigned nexus = 0;  // path index within the unit
        size_t unit = 0;
        std::set<uint64_t> openers;  // connections that have the device open
        bool exclusive = false;      // held with O_EXCL by its only opener
    };

    // Builds the models of every system; a model that rejects its system object
    // becomes a ScenarioError naming the system.
    Emulator(Scenario scenario, ModelFactory factory);
    // The models keep a reference to the clock: the emulator stays where it is.
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    size_t deviceCount() const { return devices_.size(); }
    const Device& device(size_t i) const { return devices_[i]; }
    // Index of the device served as sg<N>, or -1.
    int deviceBySg(int sg) const;
    size_t systemCount() const { return systems_.size(); }
    SystemModel* model(size_t system) { return units_[systems_[system].unit].model.get(); }

    // The "SGOP" exchange: 0 when connection `conn` now has the device open,
    // else a positive errno.
    uint32_t open(size_t dev, uint32_t flags, uint64_t conn);
    void close(size_t dev, uint64_t conn);
    // The "SGID" exchange: 32 bytes of struct sg_scsi_id.
    std::vector<uint8_t> scsiId(size_t dev) const;
    // One command message in, one reply message out.
    std::vector<uint8_t> command(size_t dev, std::span<const uint8_t> message);

    // Held while a command or control request runs: the network module serves
    // from threads of its own.
    std::mutex& mutex() { return mutex_; }
    EmulatorClock& clock() { return clock_; }
    FaultTable& faults() { return faults_; }
    CommandLog& log() { return log_; }

    nlohmann::json describeDevices() const;
    nlohmann::json describeReservations(size_t dev) const;
    // The whole state in the scenario format (models' saved state plus the
    // device-side keys), for --state.
    nlohmann::json saveState() const;

private:
    struct Unit {
        UnitIdentity identity;
        Reservations reservations;
        std::map<unsigned, NexusInfo> nexuses;
        std::unique_ptr<SystemModel> model;
    };
    struct System {
        size_t unit = 0;
        nlohmann::json object;
    };

    // False while the controller behind the path is down (reset, shutdown).
    bool pathOnline(const Device& d) const;
    Outcome dispatch(Device& d, Unit& u, std::span<const uint8_t> cdb, std::span<const uint8_t> dataOut,
                     uint32_t dataInLength, std::vector<uint8_t>& dataIn);

    std::mutex mutex_;
    EmulatorClock clock_;
    FaultTable faults_;
    CommandLog log_;
    std::vector<Unit> units_;
    std::vector<System> systems_;
    std::vector<Device> devices_;
    std::vector<nlohmann::json> deviceObjects_;
    std::map<int, size_t> bySg_;
};

}  // namespace sim
