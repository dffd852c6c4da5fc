// The classic SCSI generic interface as it travels over a simulated device
// socket: the 36-byte `struct sg_header` that a write to /dev/sg<N> carries in
// front of the CDB and the outgoing data, and that a read returns in front of
// the incoming data; and the 32-byte `struct sg_scsi_id`.
//
// Both are encoded field by field (little-endian, the bit fields of the header
// packed from the least significant bit as the kernel's x86 ABI lays them out),
// so the emulator never reinterprets received bytes as a structure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim::sg {

inline constexpr size_t kHeaderSize = 36;
inline constexpr size_t kSenseSize = 16;
inline constexpr size_t kScsiIdSize = 32;
inline constexpr size_t kMinCdbSize = 6;

// Masked SCSI status values as the classic header reports them (status >> 1).
inline constexpr uint8_t kMaskedGood = 0x00;
inline constexpr uint8_t kMaskedCheckCondition = 0x01;
inline constexpr uint8_t kMaskedBusy = 0x04;
inline constexpr uint8_t kMaskedReservationConflict = 0x0C;

// Host (DID_*) and driver status values used by the emulator.
inline constexpr uint8_t kDidOk = 0x00;
inline constexpr uint8_t kDidNoConnect = 0x01;
inline constexpr uint8_t kDidBusBusy = 0x02;
inline constexpr uint8_t kDidTimeOut = 0x03;
inline constexpr uint8_t kDidBadTarget = 0x04;
inline constexpr uint8_t kDidError = 0x07;
inline constexpr uint8_t kDriverSense = 0x08;

struct Header {
    int32_t packLen = 0;
    int32_t replyLen = 0;
    int32_t packId = 0;
    int32_t result = 0;
    bool twelveByte = false;
    uint8_t targetStatus = 0;  // 5 bits
    uint8_t hostStatus = 0;
    uint8_t driverStatus = 0;
    uint16_t otherFlags = 0;  // 10 bits
    uint8_t sense[kSenseSize] = {};
};

// Decodes the first 36 bytes; nullopt when fewer are present.
std::optional<Header> decodeHeader(std::span<const uint8_t> bytes);
void encodeHeader(const Header& h, uint8_t* out);  // writes kHeaderSize bytes

// CDB length the sg driver derives from the operation code group; opcodes of
// groups 6 and 7 (0xC0 and above) take 12 bytes when `twelveByte` is set.
size_t cdbLengthFor(uint8_t opcode, bool twelveByte);

// One command message split as the driver splits a write.
struct Request {
    Header header;
    std::span<const uint8_t> cdb;
    std::span<const uint8_t> dataOut;
    uint32_t dataInLength = 0;  // room for incoming data: reply_len - 36, at least 0
};

// Splits a command message. On a malformed message returns nullopt and sets
// `why`; `header` is filled when at least the header was present.
std::optional<Request> parseRequest(std::span<const uint8_t> msg, std::string& why,
                                    std::optional<Header>& header);

// errno-like `result` of the classic read for a host status, as the driver sets it.
int32_t resultForHostStatus(uint8_t hostStatus);

struct ScsiId {
    int32_t hostNo = 0;
    int32_t channel = 0;
    int32_t scsiId = 0;
    int32_t lun = 0;
    int32_t scsiType = 0;
    int16_t cmdPerLun = 0;
    int16_t queueDepth = 0;
};
std::vector<uint8_t> encodeScsiId(const ScsiId& id);

}  // namespace sim::sg
