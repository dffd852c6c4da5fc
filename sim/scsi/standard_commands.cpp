#include "scsi/standard_commands.h"

#include <algorithm>
#include <cstring>

#include "wire/byteorder.h"

namespace sim {
namespace {

constexpr size_t kStandardInquirySize = 96;

void putPadded(uint8_t* dst, const std::string& s, size_t width) {
    std::memset(dst, ' ', width);
    std::memcpy(dst, s.data(), std::min(s.size(), width));
}

// NACA and the obsolete LINK bit of the control byte are not supported.
bool controlByteOk(std::span<const uint8_t> cdb) { return (cdb.back() & 0x05) == 0; }

Outcome inquiry(const UnitIdentity& unit, const PathIdentity& path, std::span<const uint8_t> cdb,
                std::vector<uint8_t>& dataIn) {
    bool evpd = (cdb[1] & 0x01) != 0;
    if ((cdb[1] & 0xFE) != 0) return Outcome::invalidFieldInCdb();
    uint8_t page = cdb[2];
    if (!evpd) {
        if (page != 0) return Outcome::invalidFieldInCdb();
        dataIn = standardInquiryData(unit);
        return Outcome::good();
    }
    switch (page) {
    case 0x00:
        dataIn = {static_cast<uint8_t>(unit.peripheralType & 0x1F), 0x00, 0x00, 0x02, 0x00, 0x83};
        return Outcome::good();
    case 0x83:
        dataIn = deviceIdentificationPage(unit, path);
        return Outcome::good();
    default:
        return Outcome::invalidFieldInCdb();
    }
}

Outcome readCapacity10(const UnitIdentity& unit, std::span<const uint8_t> cdb,
                       std::vector<uint8_t>& dataIn) {
    if (unit.peripheralType != 0x00) return Outcome::invalidOpcode();
    if (cdb[1] != 0 || cdb[6] != 0 || cdb[7] != 0 || (cdb[8] & 0xFE) != 0)
        return Outcome::invalidFieldInCdb();
    bool pmi = (cdb[8] & 0x01) != 0;
    if (!pmi && wire::loadBe32(&cdb[2]) != 0) return Outcome::invalidFieldInCdb();
    uint64_t last = unit.capacityBlocks == 0 ? 0 : unit.capacityBlocks - 1;
    dataIn.assign(8, 0);
    wire::putBe32(&dataIn[0], last > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(last));
    wire::putBe32(&dataIn[4], unit.blockSize);
    return Outcome::good();
}

}  // namespace

std::vector<uint8_t> standardInquiryData(const UnitIdentity& unit) {
    std::vector<uint8_t> d(kStandardInquirySize, 0);
    d[0] = unit.peripheralType & 0x1F;  // peripheral qualifier 0: connected
    d[2] = 0x06;                        // SPC-4
    d[3] = 0x12;                        // HiSup, response data format 2
    d[4] = static_cast<uint8_t>(kStandardInquirySize - 5);
    d[6] = unit.multiPort ? 0x10 : 0x00;  // MultiP
    d[7] = 0x02;                          // CmdQue
    putPadded(&d[8], unit.vendor, 8);
    putPadded(&d[16], unit.product, 16);
    putPadded(&d[32], unit.revision, 4);
    std::memset(&d[36], ' ', 20);  // vendor specific
    // Version descriptors: SAM-5, SPC-4 and, for a direct-access unit, SBC-3.
    wire::putBe16(&d[58], 0x00A0);
    wire::putBe16(&d[60], 0x0460);
    if (unit.peripheralType == 0x00) wire::putBe16(&d[62], 0x04C0);
    return d;
}

std::vector<uint8_t> deviceIdentificationPage(const UnitIdentity& unit, const PathIdentity& path) {
    std::vector<uint8_t> d(4, 0);
    d[0] = unit.peripheralType & 0x1F;
    d[1] = 0x83;
    for (const auto& desc : unit.extraDescriptors) d.insert(d.end(), desc.begin(), desc.end());
    // Binary NAA designator of the target port the command came through (FCP, PIV).
    const uint8_t naa[4] = {0x01, 0x93, 0x00, 0x08};
    d.insert(d.end(), naa, naa + 4);
    size_t off = d.size();
    d.resize(off + 8);
    wire::putBe64(&d[off], path.portWwn);
    size_t pageLength = d.size() - 4;
    wire::putBe16(&d[2], static_cast<uint16_t>(std::min<size_t>(pageLength, 0xFFFF)));
    return d;
}

std::optional<uint32_t> allocationLength(std::span<const uint8_t> cdb) {
    if (cdb.empty()) return std::nullopt;
    switch (cdb[0]) {
    case 0x03:  // REQUEST SENSE
        return cdb.size() >= 6 ? std::optional<uint32_t>(cdb[4]) : std::nullopt;
    case 0x12:  // INQUIRY
    case 0x1C:  // RECEIVE DIAGNOSTIC RESULTS
        return cdb.size() >= 6 ? std::optional<uint32_t>(wire::loadBe16(&cdb[3])) : std::nullopt;
    case 0x25:  // READ CAPACITY(10)
        return 8;
    case 0x3C:  // READ BUFFER(10)
        return cdb.size() >= 10 ? std::optional<uint32_t>(wire::loadBe24(&cdb[6])) : std::nullopt;
    case 0x5E:  // PERSISTENT RESERVE IN
        return cdb.size() >= 10 ? std::optional<uint32_t>(wire::loadBe16(&cdb[7])) : std::nullopt;
    default:
        return std::nullopt;
    }
}

Outcome StandardCommands::execute(const UnitIdentity& unit, const PathIdentity& path,
                                  Reservations& pr, const std::map<unsigned, NexusInfo>& nexuses,
                                  std::span<const uint8_t> cdb, std::span<const uint8_t> dataOut,
                                  std::vector<uint8_t>& dataIn) {
    dataIn.clear();
    if (cdb.empty()) return Outcome::invalidOpcode();
    uint8_t opcode = cdb[0];
    switch (opcode) {
    case 0x00:  // TEST UNIT READY
    case 0x12:  // INQUIRY
    case 0x25:  // READ CAPACITY(10)
    case 0x5E:  // PERSISTENT RESERVE IN
    case 0x5F:  // PERSISTENT RESERVE OUT
        break;
    default:
        return Outcome::invalidOpcode();
    }
    if (!controlByteOk(cdb)) return Outcome::invalidFieldInCdb();
    switch (opcode) {
    case 0x00:
        for (size_t i = 1; i + 1 < cdb.size(); ++i)
            if (cdb[i] != 0) return Outcome::invalidFieldInCdb();
        return Outcome::good();
    case 0x12:
        return inquiry(unit, path, cdb, dataIn);
    case 0x25:
        return readCapacity10(unit, cdb, dataIn);
    case 0x5E:
        return pr.in(path.nexus, cdb, dataIn, nexuses);
    case 0x5F:
        return pr.out(path.nexus, cdb, dataOut);
    }
    return Outcome::invalidOpcode();
}

}  // namespace sim
