// Configuration library (-F): queries, changes, snapshots, save and restore, events.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "commands/buffers.h"
#include "commands/selection.h"
#include "lapi/reads.h"
#include "wire/requests.h"

class commandConfiguration : public CommandSelection {
public:
    // The information set: configuration image, controller information, host
    // table, initialisation table, drive information, region map.
    static constexpr size_t kConfigSize = 940032;
    static constexpr size_t kControllerInfoSize = 1792;
    static constexpr size_t kHostTableSize = 12296;
    static constexpr size_t kInitTableSize = 256;
    static constexpr size_t kDriveInfoSize = 9080;
    static constexpr size_t kRegionMapSize = 21656;
    // Snapshot and overwrite-data-area working buffers.
    static constexpr size_t kSnapshotSizes[8] = {2056, 16396, 868, 392, 20484, 1028, 16, 144};

    commandConfiguration();

    uint32_t lastValue() const { return m_lastValue; }
    uint64_t lastWwn() const { return m_lastWwn; }

    // Queries on the configuration image.
    uint32_t getNumberOfArrays();
    uint32_t getNumberOfVolumes();
    uint32_t getNumberOfDevicesInArray(uint32_t array);
    uint32_t getArrayID(uint32_t array);
    uint32_t getArrayLevel(uint32_t array);
    uint32_t getArrayStripeSize(uint32_t array);
    uint32_t getArraySize(uint32_t array);
    uint32_t getDeviceInArray(uint32_t array, uint32_t drive);
    uint32_t getInitStatus(uint32_t array);
    uint32_t getInitPercentComplete(uint32_t array);
    uint32_t getNumberOfHotSpares();
    uint32_t getNumberOfGlobalHotSpares();
    uint32_t getHotSpareArrayCount(uint32_t array);
    uint32_t getHotSpareArray(uint32_t array, uint32_t n);
    uint32_t IsHotSpareDedicated(uint32_t spare);
    uint32_t getHotSpareWWN(uint32_t spare);
    uint32_t getConfigStorageHeaderStruct();
    uint32_t getRankConfigStruct();
    // Capacity in GB of the first free region of a rank; 0 when none or on error.
    int16_t getUnusedArraySpace(uint32_t array);

    // Queries on the region map.
    uint32_t getNumRegions();
    uint32_t getRegionStatus(uint32_t region);
    uint32_t getRegionArrayNo(uint32_t region);
    uint32_t getRegionCapacity(uint32_t region);
    uint32_t getRegionMap();

    // Queries on the information set.
    uint32_t getLunMappingStruct();
    uint32_t getHostConfigStruct();
    uint32_t getLogicalDriveIndex(uint32_t reference);
    uint32_t getLogicalDriveID(uint32_t ld);
    uint32_t getLogicalDriveSize(uint32_t ld);
    // Name lookups: 0 and the number, or 2033 (logical drive) / 2036 (array).
    uint32_t getLogicalDiskId(const std::string& name, uint32_t& id);
    // The name forms of the commands: `name` becomes its logical drive number,
    // then `run(number)`; a failed lookup is reported here.
    uint32_t byName(const std::string& name, const std::function<uint32_t(uint32_t)>& run);
    uint32_t getArrayId(const std::string& name, uint32_t& id);
    uint32_t getMappedLunNumber(uint64_t wwn, uint32_t ld, uint32_t& lun);
    // Compares the stored name with `name`; a different name is set.
    uint32_t IsLDNameMatch(uint32_t ld, const std::string& name);
    // Tells whether the drive is available on exactly `port`; otherwise makes it so.
    uint32_t IsLDMappedToPort(uint32_t ld, uint32_t port);

    // Renaming a logical drive and the ports it is available on.
    uint32_t setVolumeName(uint32_t ld, const std::string& name);
    uint32_t setHostLUNAvailability(uint32_t ld, uint32_t mask);
    uint32_t setHostLUNAvailability(const std::string& name, uint32_t mask);
    uint32_t whoAmI();

    // Queries on the host table.
    uint32_t getNumberOfHosts();
    uint32_t getHostWWN(uint32_t host);
    uint32_t getHostPortWWN(uint32_t host);

    // Queries on discovery.
    uint32_t getRaidSystemWWN(uint32_t index);
    uint32_t getNumberOfRaidSystemsPresent();
    uint32_t getDeviceAttached();

    uint32_t getAllConfigInfo();

    // Arrays.
    uint32_t createArray(uint32_t count, const uint64_t* wwns, uint32_t chunkKb, uint32_t level, uint32_t backOff,
                         uint32_t cacheGiven, uint32_t readAhead, uint32_t writeBack, uint32_t mirror,
                         uint32_t battery, uint32_t faultTolerance, uint32_t enforceWriteBack);
    uint32_t expandArray(uint32_t array, uint32_t count, const uint64_t* wwns);
    uint32_t trustArray(uint32_t array);
    uint32_t setPoolName(uint32_t array, const std::string& name);
    uint32_t deleteArray(uint32_t arrayId);
    uint32_t SetDriveRankCacheParams(uint32_t array, uint32_t readAhead, uint32_t writeBack, uint32_t mirror,
                                     uint32_t battery, uint32_t faultTolerance, uint32_t enforceWriteBack);
    uint32_t parityCheck(uint32_t start, uint32_t array, uint32_t mode);
    uint32_t getArrayAPMStatus(uint32_t array);
    uint32_t setManualArraySpinUpOrDown(uint32_t array, uint32_t up);
    uint32_t setArrayFunctionalTest(uint32_t array);
    // True when a rebuild, parity check, expansion or initialisation runs, by
    // the controller information just read into the working buffer.
    bool isSystemArrayBusy() const;

    // Logical drives. `name` null: no name given.
    uint32_t createLogicalDrive(uint32_t array, uint32_t capacityGb, uint32_t blockSize, const std::string* name);
    uint32_t createLogicalDrive(const std::string& array, uint32_t capacityGb, uint32_t blockSize,
                                const std::string* name);
    uint32_t expandLD(uint32_t array, uint32_t capacityGb, uint32_t ld);
    uint32_t deleteLogicalDrive(uint32_t lun);
    uint32_t deleteLogicalDrive(const std::string& name);

    // LUN mappings.
    uint32_t createMapping(uint64_t node, uint64_t port, uint32_t ld, uint32_t lun, uint32_t ports,
                           uint32_t readOnly, uint32_t snapshot);
    uint32_t createMapping(uint64_t node, uint64_t port, const std::string& ld, uint32_t lun, uint32_t ports,
                           uint32_t readOnly, uint32_t snapshot);
    uint32_t deleteMapping(uint64_t host, uint32_t removeAll, uint32_t lun);
    uint32_t deleteMapping(uint64_t host, uint32_t removeAll, const std::string& ld);

    // Hot spares.
    uint32_t createHotSpare(uint64_t wwn, uint32_t array);
    uint32_t deleteHotSpare(uint32_t spare);

    // The whole configuration.
    uint32_t setConfigName(const std::string& name);
    uint32_t clearConfig();

    // Configuration change activity (controllers with the asynchronous handshake).
    uint32_t getConfigProgressStatus();
    uint32_t getConfigProgressInformation();

    // Overwrite data areas and internal logical drives, in the firmware
    // generation of the system (the "Featured" forms choose it).
    uint32_t getFeaturedODAInfoStruct();
    uint32_t getFeaturedODAStatStruct();
    uint32_t getInternalLogicalDrives();
    uint32_t getODAInfoStruct();
    // With `quiet`, reads the table without printing or reporting anything.
    uint32_t getODAInfoStruct2_2(bool quiet);
    uint32_t getODAStatStruct();
    uint32_t getODAStatStructR2_2();

    // Saving the configuration image to a file and restoring a saved one.
    uint32_t getSaveConfig(const std::string& name, bool overwrite);
    uint32_t setRestoreConfig(const std::string& name);

    // Overwrite data areas (ODA). The name forms take logical drive names; for
    // release and assign the name of the internal drive that holds the ODA.
    uint32_t createFeaturedODA(uint32_t ld, uint32_t size);
    uint32_t createFeaturedODA(const std::string& name, uint32_t size);
    uint32_t createODA(uint32_t ld, uint32_t size);
    uint32_t createODAR2_2(uint32_t ld, uint32_t size);
    uint32_t releaseODA(uint32_t oda);
    uint32_t releaseODA(const std::string& name);
    uint32_t assignODA(uint32_t oda, uint32_t ld, uint32_t mode);
    // `ldName` null: logical drive 0.
    uint32_t assignODA(const std::string& odaDrive, const std::string* ldName, uint32_t mode);
    uint32_t getLDIndexforInternalLun(uint32_t n);
    uint32_t getFeaturedInternalLDAssignedFlag(uint32_t ld);
    uint32_t getFeaturedLDAssignedFlag(uint32_t ld);

    // Snapshots, virtual LUNs and snap back.
    uint32_t takeSnapshot(uint32_t ld, uint32_t flag);
    uint32_t takeSnapshot(const std::string& name, uint32_t flag);
    uint32_t deleteSnapshot(uint32_t snapshot, uint32_t ld, uint32_t all);
    uint32_t assignVirtualLunSnap(uint32_t snapshot, uint32_t ld, uint32_t flag);
    uint32_t snapBack(uint32_t ld, uint32_t snapshot, uint32_t flag);
    uint32_t getNumSnapshotLD(uint32_t ld);
    uint32_t getFeaturedSnapshotData(uint32_t ld);
    uint32_t getSnapshotData(uint32_t ld);
    uint32_t getSnapshotData2_2();
    uint32_t getFeaturedSnapBackProgress(uint32_t ld);
    uint32_t getSnapBackProgress(uint32_t ld);
    uint32_t getSnapBackProgressR2_2(uint32_t ld);

    // Volume copy and copy back.
    uint32_t setupVolumeCopy(uint32_t source, uint32_t dest, uint32_t hide, uint32_t priority);
    uint32_t setupVolumeCopy(const std::string& source, const std::string& dest, uint32_t hide, uint32_t priority);
    uint32_t startCopyBack(uint32_t source, uint32_t dest, bool hide);
    uint32_t startCopyBack(const std::string& source, const std::string& dest, bool hide);
    uint32_t getVolumeCopyProgress(uint32_t ld);
    uint32_t getVolumeCopyProgress(const std::string& name);
    uint32_t getVolumeCopyStatus(uint32_t ld);
    uint32_t getVolumeCopyStatus(const std::string& name);
    uint32_t getAllVolumeCopyStatus();
    uint32_t setVolumeCopyPriority(uint32_t ld, uint32_t priority);
    uint32_t setVolumeCopyPriority(const std::string& name, uint32_t priority);
    uint32_t pauseVolumeCopy(uint32_t ld);
    uint32_t pauseVolumeCopy(const std::string& name);
    uint32_t resumeVolumeCopy(uint32_t ld);
    uint32_t resumeVolumeCopy(const std::string& name);
    uint32_t abortVolumeCopy(uint32_t ld);
    uint32_t abortVolumeCopy(const std::string& name);

    // Events: both controllers' logs merged into the system's event store,
    // then listed, counted or cleared (configuration_events.cpp).
    uint32_t GetEventsFromEnclosure();
    uint32_t ReadEv();
    uint32_t getNumberOfRecords();
    uint32_t getNumberOfInitialEventRecordsFromController();
    uint32_t getNumberOfLatestEventRecordsFromController();
    uint32_t ReadSpecificEvent(uint32_t eventId);
    uint32_t ClearEvents();

    // Persistent reservations of the path (ignored byte, channel, target, LUN).
    uint32_t prReadKeys(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun);
    uint32_t prReadReservation(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun);
    uint32_t prReportCapabilities(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun);
    uint32_t prReadFullStatus(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun);
    uint32_t prClear(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun, uint64_t key);
    uint32_t prRelease(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun, uint32_t type, uint64_t key);
    uint32_t prReserve(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun, uint32_t type, uint64_t key);
    uint32_t prRegister(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun, uint64_t key,
                        uint64_t serviceActionKey);

protected:
    // Product type and WWN of the system, set into the event tables.
    uint32_t setEventSystem();
    // The fetch that starts every event command; 1004 and 1005 count as success.
    uint32_t fetchEvents();
    uint32_t fetchIntoStore();
    // Fetches the events, then prints `label` and the count that `read` gives:
    // whatever its status with `always`, else only when it succeeded.
    uint32_t eventCount(uint32_t (*read)(int, uint32_t*), const char* label, bool always);
    // Reads the configuration image into the working buffer: the read's status,
    // or 2023 when it holds no array.
    uint32_t readConfiguration();
    // The cache values of an array, in the order they are checked; enforce
    // write-back becomes 0 where the controller does not offer it.
    uint32_t checkCacheValues(uint32_t readAhead, uint32_t writeBack, uint32_t mirror, uint32_t battery,
                              uint32_t faultTolerance, uint32_t& enforceWriteBack);
    // Reads the region map (after the configuration): 2023, or the read's status.
    uint32_t readConfigurationAndRegionMap();
    // Refreshes the information set.
    uint32_t readInformationSet();
    // The configuration activity record, after checking the handshake feature.
    uint32_t readConfigActivity(wire::CONFIG_UPDATE_STRUCT& activity);
    ALL_INFORMATION_SET informationSet();
    // Reads the controller information and tells the snapshot firmware generation.
    uint32_t readGeneration(bool& r2_2);
    // The configuration read, the logical drive range check and the firmware
    // generation that the snapshot commands on one drive start with.
    uint32_t readDriveGeneration(uint32_t ld, bool& r2_2);
    // The snapshot and overwrite-data-area buffers.
    enum SnapshotBuffer { kOda, kOdaR2_2, kOdaStats, kSnapshots, kSnapshotsR2_2, kInternalLds };
    uint8_t* snapshotBuffer(SnapshotBuffer which) { return m_snapshot[which].get(); }
    // Snapshot and volume-copy helpers.
    uint32_t totalLogicalDrives() const;
    uint32_t readFreshConfiguration();
    uint32_t checkOdaRequest(uint32_t ld, uint32_t size);
    uint32_t readOdaCount(bool r2_2, uint32_t& count);
    uint32_t findOdaByDriveName(const std::string& name, uint32_t& oda);
    void snapBackLines(uint32_t ld, bool inProgress, uint32_t percent);
    uint32_t checkVolumeCopyDrives(uint32_t first, uint32_t second);
    uint32_t driveNumbers(const std::string& first, const std::string* second, uint32_t& a, uint32_t& b);
    uint32_t hideLogicalDrive(uint32_t ld);
    uint32_t readVolumeCopyTask(uint32_t ld, wire::LD_DUPLICATION_TASK_STATUS_STRUCT& task);
    uint32_t controlVolumeCopy(uint32_t ld, uint32_t (*operation)(int, uint16_t));

    struct BufferSet {
        commands::Buffer config, controllerInfo, hostTable, initTable, driveInfo, regionMap;
        bool allocate();
    };
    BufferSet m_infoSet;   // refreshed together by the information-set read
    BufferSet m_work;      // the separate working buffers of single queries
    commands::Buffer m_snapshot[8];
    uint32_t m_lastValue = 0;
    uint64_t m_lastWwn = 0;
    uint32_t m_recordCount = 0;   // records counted by the last event fetch
};
