// The standard SCSI commands every simulated logical unit answers: INQUIRY (the
// standard data and the vital product data pages 0x00 and 0x83), READ
// CAPACITY(10), TEST UNIT READY and PERSISTENT RESERVE IN/OUT. Anything else is
// ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/model_api.h"
#include "scsi/reservations.h"

namespace sim {

// What the unit says about itself.
struct UnitIdentity {
    std::string vendor;    // at most 8 characters, blank-padded on the wire
    std::string product;   // at most 16
    std::string revision;  // at most 4
    uint8_t peripheralType = 0;
    bool multiPort = false;
    uint64_t capacityBlocks = 0;
    uint32_t blockSize = 512;
    // Whole designation descriptors placed before the path's NAA descriptor in
    // page 0x83, in order.
    std::vector<std::vector<uint8_t>> extraDescriptors;
};

// The path the command arrived on.
struct PathIdentity {
    unsigned nexus = 0;    // index of the path within its unit
    uint64_t portWwn = 0;  // the NAA identifier of page 0x83
};

// Standard INQUIRY data, 96 bytes.
std::vector<uint8_t> standardInquiryData(const UnitIdentity& unit);
// Device identification page 0x83: the extra descriptors, then a binary NAA
// descriptor (association target port, FCP) with the path's WWN.
std::vector<uint8_t> deviceIdentificationPage(const UnitIdentity& unit, const PathIdentity& path);

// Allocation length of a CDB whose reply the emulator truncates, or nullopt for
// commands without one.
std::optional<uint32_t> allocationLength(std::span<const uint8_t> cdb);

class StandardCommands {
public:
    // Runs one standard command; `dataIn` receives the whole reply (the caller
    // truncates it). `nexuses` describes every path of the unit for READ FULL
    // STATUS.
    static Outcome execute(const UnitIdentity& unit, const PathIdentity& path, Reservations& pr,
                           const std::map<unsigned, NexusInfo>& nexuses,
                           std::span<const uint8_t> cdb, std::span<const uint8_t> dataOut,
                           std::vector<uint8_t>& dataIn);
};

}  // namespace sim
