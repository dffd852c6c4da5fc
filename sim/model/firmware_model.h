// The firmware model of one Tolvo RAID system: two controllers, the drives in
// their enclosures and the RAID configuration, answering the vendor commands
// carried in WRITE BUFFER and READ BUFFER.
//
// The configuration image (CONFIG_STORAGE_STRUCT) is the source of truth. A
// change is made inside a start/save bracket on a working copy of the image and
// becomes visible at the save. Everything else the controllers report (drive
// list, region map, host table, initialisation table, progress records) is
// derived from the committed image, the drives and the background jobs.
#pragma once

#include <array>
#include <map>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/model_api.h"
#include "model/event_log.h"
#include "model/maintenance_state.h"
#include "model/ses_pages.h"
#include "scenario/reader.h"
#include "wire/config.h"
#include "wire/controller.h"
#include "wire/drive.h"
#include "wire/requests.h"

namespace sim::model {

// 1 GB as the controllers count it, in 512-byte blocks. Capacities of ranks,
// regions and host LUNs are whole multiples of it.
inline constexpr uint64_t kBlocksPerGb = 1953792;

// An open change left unsaved this long (simulated time) is discarded.
inline constexpr uint64_t kChangeTimeoutMs = 300'000;

struct Drive {
    uint8_t enclosure = 1;
    uint8_t slot = 1;
    uint64_t wwn = 0;
    uint32_t capacityBlocks = 0;
    uint16_t blockSize = 512;
    std::string vendor, product, revision, serial;
    bool failed = false;
    uint8_t loopId1 = 0xFF, loopId2 = 0xFF;
};

struct Controller {
    bool present = true;
    std::string name;
    uint64_t wwn = 0;
    uint8_t fwMajor = 5, fwMinor = 13;
    std::string fwBuild = "0513";
    std::string fwCompileDate = "Nov 12 2026";
    std::string fwCompileTime = "10:20:30";
    uint32_t powerOnCount = 1;
    uint32_t powerOnSeconds = 0;       // at emulator start
    uint32_t totalPowerOnSeconds = 0;  // at emulator start
    int64_t clockOffset = 0;           // controller clock minus emulator wall clock, seconds
    uint8_t airTemperature = 31, expanderTemperature = 45, processorTemperature = 52;
    uint8_t batteryState = 0xF1, batteryCapacity = 100, batteryHoldupHours = 72;
    std::array<uint8_t, 2> hostInterface = {1, 1};
    uint8_t hostLoop1Id = 1, hostLoop2Id = 2;
};

// A background job on one rank; progress = elapsed / duration. A paused job
// has the duration kPaused and keeps its progress in startPercent.
inline constexpr uint64_t kPaused = UINT64_MAX;
struct Job {
    bool active = false;
    uint8_t rank = 0;
    uint64_t startMs = 0;
    uint64_t durationMs = 0;
    uint8_t startPercent = 0;
    // parity check
    uint8_t mode = 0;
    uint32_t errorCount = 0;
    // rebuild
    uint8_t drive = 0;
    uint64_t driveWwn = 0;
};

// Snapshot state a scenario describes (served by the snapshot reads).
struct InternalDrive {
    uint16_t logicalDrive = 0;
    uint16_t capacity = 0;
};
struct OdaState {
    uint16_t number = 0;
    uint8_t flags = 0;
    uint8_t percent = 0;
    uint16_t internalLd = 0;
    uint16_t snapshotLd = 0xFFFF;
    uint16_t stripeBlocks = 128;
    uint16_t capacityGb = 0;
    uint32_t stripes = 0;
    uint32_t stripesInUse = 0;
};
struct SnapshotState {
    uint16_t oda = 0;
    uint8_t number = 0;
    uint8_t flags = 0;
    uint16_t logicalDrive = 0;
    uint16_t virtualLun = 0xFFFF;
    uint16_t lunReference = 0;
    uint32_t stripesUsed = 0;
    int64_t created = 0;
    uint32_t order = 0;
};

struct HostInitiator {
    uint64_t node = 0;
    uint64_t port = 0;
};

// Firmware images received (controller, drive I/O module).
struct Download {
    unsigned images = 0;      // images started
    uint32_t received = 0;    // bytes of the latest image
    unsigned pieces = 0;      // commands that carried it
};

// One injected reply corruption.
struct Corruption {
    uint8_t bufferId = 0;
    unsigned count = 0;
    std::string kind;          // "length", "byte", "truncate", "garbage"
    uint32_t value = 0;
};


class FirmwareModel final : public sim::SystemModel {
public:
    FirmwareModel(const nlohmann::json& system, const sim::SimClock& clock);

    std::optional<Outcome> execute(const CommandContext& cmd, std::vector<uint8_t>& dataIn) override;
    nlohmann::json control(const std::string& verb, const nlohmann::json& args) override;
    nlohmann::json saveState() const override;
    bool pathOnline(unsigned pathIndex) const override;

    // Read-only views for tests and the control interface.
    const wire::CONFIG_STORAGE_STRUCT& committed() const { return *committed_; }
    bool changeOpen() const { return pending_ != nullptr; }
    const std::vector<Drive>& drives() const { return drives_; }

    // Built replies (public so that tests can compare layouts directly).
    void buildControllerInfo(unsigned pathIndex, wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT& out) const;
    void buildDriveInfo(wire::ALL_DRIVE_INFO_STRUCT& out) const;
    void buildRegionMap(const wire::CONFIG_STORAGE_STRUCT& image, wire::ADDRESS_REGION_MAP_STRUCT& out) const;
    void buildHostInfo(wire::ALL_HOST_INFO_STRUCT& out) const;
    void buildInitInfo(wire::ALL_INITIALISATION_INFO_STRUCT& out) const;
    void buildConfigUpdate(unsigned pathIndex, wire::CONFIG_UPDATE_STRUCT& out);

    // Logs event `id` (payload: entry bytes 10 to 23) on `controller` (0 or 1),
    // or on the first present controller when -1, stamped with its clock.
    void logEvent(uint8_t id, std::span<const uint8_t> payload, int controller = -1);
    void logEvent(uint8_t id, std::initializer_list<uint8_t> payload = {}, int controller = -1);
    // Temperatures at which a controller logs a warning and a limit event.
    static constexpr uint8_t kTemperatureWarning = 45, kTemperatureLimit = 60;

    // Structural check of an image: counts, members, segments. Used for restores
    // and by the tests as the model's invariant.
    bool imageConsistent(const wire::CONFIG_STORAGE_STRUCT& img, std::string* why = nullptr) const;

private:
    // Scenario and state.
    // One function per part of the system object (see scenario.cpp).
    void loadScenario(const nlohmann::json& system);
    void loadControllers(const ScenarioObject& system);
    void loadDrives(const ScenarioObject& system);
    void applyDriveFailures();
    void loadConfiguration(const ScenarioObject& system);
    void loadImage(const ScenarioObject& system);
    void loadHeader(const ScenarioObject& system);
    void loadArrays(const ScenarioObject& system);
    void loadLogicalDrives(const ScenarioObject& system);
    void loadMappings(const ScenarioObject& system);
    void loadJobs(const ScenarioObject& system);
    nlohmann::json dumpConfig() const;
    nlohmann::json dumpRegions() const;

    // Time and jobs.
    uint64_t nowMs() const;
    void advanceJobs();
    uint8_t jobPercent(const Job& job) const;
    void finishInitialisation(Job& job);
    void finishRebuild();
    void finishExpansion();
    template <typename F> void forEachImage(F&& f);
    void discardChange();
    void expireStaleChange();

    // Dispatch of the vendor commands through tables with one entry per buffer
    // ID. An area keeps its entries in a static member function returning its
    // table; findRead and findWrite (firmware_model.cpp) list the areas. A new
    // command is one entry in the table of its area.
    struct VendorRead {
        const CommandContext& cmd;
        uint8_t mode, b3, b4, b5;  // CDB bytes 1, 3, 4, 5
        uint32_t offset;           // bytes 3-5: the offset of a piece
    };
    struct ReadEntry {
        uint8_t bufferId;
        bool chunked;  // read in pieces: CDB offset and length select the piece
        Outcome (*build)(FirmwareModel&, const VendorRead&, std::vector<uint8_t>& reply);
    };
    struct VendorWrite {
        const CommandContext& cmd;
        uint8_t b3, b4, b5;          // CDB bytes 3, 4, 5
        unsigned index16;            // bytes 3-4 as one index
        std::span<const uint8_t> payload;  // after the validation header, payloadSize bytes
    };
    enum WriteFlags : uint8_t {
        kZeroCdb = 1,   // CDB bytes 3-5 must be zero
        kInChange = 2,  // a change command: needs an open change, works on pending_
    };
    static constexpr size_t kAnyPayload = SIZE_MAX;  // the command checks its own length
    struct WriteEntry {
        uint8_t bufferId;
        size_t payloadSize;   // or kAnyPayload
        uint8_t flags;
        Outcome (*run)(FirmwareModel&, const VendorWrite&);
    };
    static const std::vector<ReadEntry>& statusReads();
    static const std::vector<ReadEntry>& snapshotReads();
    static const std::vector<ReadEntry>& maintenanceReads();
    static const std::vector<WriteEntry>& controllerWrites();
    static const std::vector<WriteEntry>& configWrites();
    static const std::vector<WriteEntry>& maintenanceWrites();
    static const std::vector<WriteEntry>& snapshotWrites();
    static const ReadEntry* findRead(uint8_t bufferId);
    static const WriteEntry* findWrite(uint8_t bufferId);
    std::optional<Outcome> readBuffer(const CommandContext& cmd, std::vector<uint8_t>& dataIn);
    std::optional<Outcome> writeBuffer(const CommandContext& cmd);
    void applyCorruptions(uint8_t bufferId, bool chunked, uint32_t offset, std::vector<uint8_t>& reply);
    void takeDiagnosticDump();
    Outcome setAlarm(uint8_t state, uint8_t eventId);   // mute (0xD7), enable (0xD8), disable (0xD9)

    // Control verbs: one entry each (firmware_model.cpp).
    struct ControlVerb {
        const char* name;
        std::vector<const char*> args;  // the argument keys it takes
        nlohmann::json (*run)(FirmwareModel&, const ScenarioObject& args);
    };
    static const std::vector<ControlVerb>& controlVerbs();
    static const std::vector<ControlVerb>& maintenanceVerbs();   // maintenance.cpp
    static const std::vector<ControlVerb>& eventVerbs();         // event_log.cpp
    static const std::vector<ControlVerb>& sesVerbs();

    // The bracket.
    Outcome startConfig(unsigned pathIndex);
    Outcome saveConfig(const CommandContext& cmd);
    void commit();

    // Configuration changes on the working image.
    Outcome addRank(wire::CONFIG_STORAGE_STRUCT& img, const wire::RANK_CONFIG_STRUCT& req);
    Outcome deleteRank(wire::CONFIG_STORAGE_STRUCT& img, unsigned rankIndex);
    Outcome expandRank(wire::CONFIG_STORAGE_STRUCT& img, const wire::EXPAND_ARRAY_STRUCT& req);
    Outcome addHostLun(wire::CONFIG_STORAGE_STRUCT& img, const wire::CREATE_HOST_LUN_STRUCT& req);
    Outcome expandHostLun(wire::CONFIG_STORAGE_STRUCT& img, unsigned lunIndex, const wire::EXPAND_HOST_LUN_STRUCT& req);
    Outcome deleteHostLun(wire::CONFIG_STORAGE_STRUCT& img, unsigned lunIndex);
    Outcome addLunMapping(wire::CONFIG_STORAGE_STRUCT& img, const wire::CREATE_LUN_MAPPING_STRUCT& req);
    Outcome deleteLunMapping(wire::CONFIG_STORAGE_STRUCT& img, unsigned mapIndex);
    Outcome addHotSpare(wire::CONFIG_STORAGE_STRUCT& img, const wire::HOT_SPARE_DRIVE_STRUCT& req);
    Outcome deleteHotSpare(wire::CONFIG_STORAGE_STRUCT& img, unsigned spareIndex);
    Outcome replaceLunMapping(wire::CONFIG_STORAGE_STRUCT& img, unsigned mapIndex, const wire::LUN_MAPPING_STRUCT& map);
    Outcome setHeaderSwitch(const VendorWrite& w, uint8_t wire::CONFIG_STORAGE_HEADER_STRUCT::*field);
    Outcome pauseInitialisation(const VendorWrite& w, bool pause);
    Outcome restoreImage(const CommandContext& cmd);
    Outcome download(const CommandContext& cmd);

    // Helpers over an image.
    int driveIndexByWwn(uint64_t wwn) const;
    bool driveInUse(const wire::CONFIG_STORAGE_STRUCT& img, uint64_t wwn) const;
    // The index of the rank of `img` that holds a drive (and its member number), or -1.
    static int rankOfDrive(const wire::CONFIG_STORAGE_STRUCT& img, uint64_t wwn, unsigned* member = nullptr);
    static bool hotSpareIn(const wire::CONFIG_STORAGE_STRUCT& img, uint64_t wwn);
    // The group a drive reports: its rank's index (and its member number),
    // kDriveHotSpare for a spare, kDriveUnused otherwise.
    static uint8_t driveGroup(const wire::CONFIG_STORAGE_STRUCT& img, uint64_t wwn, unsigned* member = nullptr);
    uint16_t rankCapacityGb(const wire::RANK_CONFIG_STRUCT& rank) const;
    bool regionsFit(const wire::CONFIG_STORAGE_STRUCT& img) const;
    Outcome failDrive(uint8_t rankIndex, uint8_t member);
    Outcome parityCheck(uint8_t start, uint8_t rankIndex, uint8_t mode);
    Outcome setTime(uint8_t selector, std::span<const uint8_t> payload);
    unsigned controllerForPath(unsigned pathIndex) const;
    bool asyncHandshake() const;
    uint16_t featureFlags() const;

    // Controller life, lights, spin, self tests, statistics, APM (maintenance.cpp).
    Outcome takeControllersDown(const VendorWrite& w, bool reset);
    Outcome flashDriveLight(const VendorWrite& w);
    Outcome clearStatistics(const VendorWrite& w, unsigned controller);
    Outcome spinDrive(const VendorWrite& w);
    Outcome selfTestDrive(const VendorWrite& w);
    Outcome arrayDrives(const VendorWrite& w, bool spin);
    bool inHealthyArray(const Drive& d) const;
    int driveAt(uint8_t enclosure, uint8_t slot) const;
    std::vector<uint8_t> apmStatusReply() const;
    Outcome apmCycleReply(const VendorRead& r, std::vector<uint8_t>& reply) const;
    nlohmann::json describeMaintenance() const;
    nlohmann::json saveMaintenance() const;
    void loadMaintenance(const ScenarioObject& system);
    Outcome apmConfig(wire::CONFIG_STORAGE_STRUCT& img, uint8_t b3, uint8_t b4, std::span<const uint8_t> payload);
    void advanceMaintenance();
    bool controllerUp(unsigned c) const;
    int64_t controllerClock(unsigned c) const;
    void clockSet(unsigned c);
    uint8_t apmState(size_t drive) const;
    Outcome storeImage(unsigned which);
    MaintenanceState maint_;

    const sim::SimClock& clock_;
    uint64_t wwn_ = 0;
    std::array<Controller, 2> controllers_{};
    uint8_t productType_ = 19;
    uint16_t features_ = 0;
    std::vector<uint8_t> enclosures_;
    std::vector<Drive> drives_;
    std::vector<HostInitiator> hostInitiators_;
    std::unique_ptr<wire::CONFIG_STORAGE_STRUCT> committed_;

    // The open change, if any.
    std::unique_ptr<wire::CONFIG_STORAGE_STRUCT> pending_;
    uint16_t pendingCounter_ = 0;
    unsigned pendingController_ = 0;  // the controller and path that opened the change
    unsigned pendingPath_ = 0;
    std::set<unsigned> replacedPaths_;  // paths whose open change was dropped before their save
    uint64_t pendingSinceMs_ = 0;
    bool pendingSaveRefused_ = false;
    unsigned activityReadsSinceStart_ = 0;
    bool pendingDirty_ = false;             // a change command was applied
    std::vector<uint8_t> pendingInitRanks_;    // rank IDs to initialise at the save
    std::vector<uint8_t> pendingTrustRanks_;   // rank IDs trusted in this change
    std::vector<uint8_t> pendingDeletedRanks_; // rank IDs deleted in this change
    std::optional<uint8_t> pendingExpansion_;  // rank ID expanded in this change
    std::vector<std::pair<uint8_t, bool>> pendingPauses_;   // rank ID, pause (true) or resume
    std::vector<uint64_t> pendingExpansionDrives_;
    std::array<uint16_t, 2> startCounters_{};

    // Refusals injected through the control interface.
    unsigned refuseCount_ = 0;
    std::string refuseReason_;

    // Jobs.
    std::vector<Job> inits_;   // one per initialising rank (by rank ID)
    Job rebuild_, expansion_, parity_;
    uint64_t initDurationMs_ = 120'000, rebuildDurationMs_ = 180'000;
    uint64_t expansionDurationMs_ = 300'000, parityDurationMs_ = 60'000;
    std::vector<uint64_t> expansionNewDrives_;

    std::vector<InternalDrive> internalDrives_;
    std::vector<OdaState> odas_;
    std::vector<SnapshotState> snapshots_;
    uint16_t maxOdas_ = 8, maxSnapshots_ = 24, maxVirtualLuns_ = 4;
    void loadSnapshots(const ScenarioObject& system);
    nlohmann::json saveSnapshots() const;
    std::vector<uint8_t> snapshotReply(uint8_t bufferId, uint16_t selector) const;
    // Snapshot, ODA, snap back and volume copy commands (snapshot_writes.cpp).
    bool r2_2() const;
    Outcome snapshotCommand(const CommandContext& cmd, uint8_t bufferId, std::span<const uint8_t> payload);
    OdaState* findOda(uint16_t number);
    void advanceCopies();
    std::vector<uint8_t> volumeCopyReply() const;   // after advanceCopies
    nlohmann::json describeCopies();
    struct VolumeCopy {
        bool active = false;
        uint8_t type = 1;          // 1 volume copy, 2 copy back
        uint8_t state = 0;         // 3 copying, 4 flushing, 6 complete, 7 paused, 8 aborted
        uint16_t source = 0, destination = 0;
        uint8_t priority = 3;
        uint8_t copied = 0;
        uint64_t sinceMs = 0;      // start of the current step
        uint8_t flushed = 0;
    };
    std::vector<VolumeCopy> copies_;
    struct SnapBack {
        bool active = false;
        uint16_t logicalDrive = 0;
        uint8_t snapshot = 0;
        uint16_t oda = 0;
        uint64_t startMs = 0;
    } snapback_;
    std::map<uint16_t, uint8_t> atSnapshot_;   // logical drives rolled back to a snapshot

    std::array<Download, 2> downloads_{};
    std::vector<Corruption> corruptions_;
    std::array<std::vector<Corruption>, 256> activeCorruptions_;   // per buffer ID, for the pieces of one read
    std::vector<uint8_t> restoreBuffer_;
    std::vector<uint8_t> diagDump_;

    // Event logs (event_log.cpp).
    EventLogs events_;
    std::optional<std::vector<uint8_t>> eventLogReply(uint8_t bufferId, uint32_t offset);
    Outcome clearEventLogs(const CommandContext& cmd);
    void logCommittedChange();
    void logDriveFailure(uint8_t rankId, uint8_t member, uint64_t failedWwn, uint64_t spareWwn);
    bool diagDumpReady_ = false;

    SesEnclosures ses_;   // enclosure services (ses_pages.cpp)
};

}  // namespace sim::model
