// The emulator's INQUIRY data and device identification page, captured from a
// simulated node as hex, decoded by sg_inq of sg3-utils: an independent decoder
// must read them cleanly with the identity and identifiers we put in.
#include <fcntl.h>

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "support/simulator.h"

namespace {

using namespace testsupport;
using Bytes = std::vector<uint8_t>;

const char* kScenario = R"({
  "systems": [ { "wwn": "2000001122334400", "vendor": "TOLVO", "product": "TOLVO RAID 8000", "revision": "0601",
                 "paths": [ { "sg": 0, "portWwn": "2100001122334401" }, { "sg": 1, "portWwn": "2100001122334402" } ],
                 "identifiers": [ { "codeSet": 2, "type": 1, "text": "TOLVO   RAID8000-SN42" },
                                  { "codeSet": 1, "type": 2, "hex": "0011223344556677" } ] } ],
  "devices": [ { "sg": 2, "vendor": "ACME", "product": "ENCLOSURE", "revision": "2.10", "type": 13,
                 "portWwn": "5000C500DEADBEEF" } ]
})";

// Full path of sg_inq, or empty when sg3-utils is not installed.
std::string sgInqPath() {
    auto r = run({"/bin/sh", "-c", "command -v sg_inq"});
    if (r.status != 0 || r.out.empty()) return "";
    return r.out.substr(0, r.out.find('\n'));
}

// The data of a GOOD reply to `cdb` on `node`, empty on failure.
Bytes capture(const std::string& node, const Bytes& cdb) {
    SgNode n(node);
    if (n.open(O_RDWR | O_EXCL) != 0) return {};
    Bytes reply = n.command(cdb, 255);
    if (reply.size() < 36) return {};
    return Bytes(reply.begin() + 36, reply.end());
}

TEST(SimSgInq, InquiryDataAndIdentificationPagesDecodeCleanly) {
    const std::string sgInq = sgInqPath();
    if (sgInq.empty()) GTEST_SKIP() << "sg_inq (sg3-utils) is not installed";
    Simulator sim{kScenario};
    TempDir files;
    const Bytes standard = {0x12, 0, 0, 0, 0xFF, 0}, identification = {0x12, 0x01, 0x83, 0, 0xFF, 0};
    const struct {
        const char* node;
        Bytes cdb;
        size_t size;  // 0: any
        std::vector<std::string> lines;  // each a whole line of the decoding, in this order
    } cases[] = {
        {"sg0", standard, 96,
         {"standard INQUIRY:", "  PQual=0  PDT=0  RMB=0  LU_CONG=0  hot_pluggable=0  version=0x06  [SPC-4]",
          "  [AERC=0]  [TrmTsk=0]  NormACA=0  HiSUP=1  Resp_data_format=2",
          "  SCCS=0  ACC=0  TPGS=0  3PC=0  Protect=0  [BQue=0]",
          "  EncServ=0  MultiP=1 (VS=0)  [MChngr=0]  [ACKREQQ=0]  Addr16=0",
          "  [RelAdr=0]  WBus16=0  Sync=0  [Linked=0]  [TranDis=0]  CmdQue=1",
          "    length=96 (0x60)   Peripheral device type: disk", " Vendor identification: TOLVO   ",
          " Product identification: TOLVO RAID 8000 ", " Product revision level: 0601"}},
        {"sg2", standard, 96,
         {"standard INQUIRY:", "  PQual=0  PDT=13  RMB=0  LU_CONG=0  hot_pluggable=0  version=0x06  [SPC-4]",
          "  EncServ=0  MultiP=0  [MChngr=0]  [ACKREQQ=0]  Addr16=0",
          "    length=96 (0x60)   Peripheral device type: enclosure services device",
          " Vendor identification: ACME    ", " Product identification: ENCLOSURE       ",
          " Product revision level: 2.10"}},
        {"sg1", identification, 0,
         {"VPD INQUIRY: Device Identification page", "  Designation descriptor number 1, descriptor length: 25",
          "    designator_type: T10 vendor identification,  code_set: ASCII",
          "    associated with the Addressed logical unit", "      vendor id: TOLVO   ",
          "      vendor specific: RAID8000-SN42", "  Designation descriptor number 2, descriptor length: 12",
          "    designator_type: EUI-64 based,  code_set: Binary", "    associated with the Addressed logical unit",
          "      EUI-64 based 8 byte identifier", "      IEEE Company_id: 0x1122", "      [0x0011223344556677]",
          "  Designation descriptor number 3, descriptor length: 12",
          "    transport: Fibre Channel Protocol for SCSI (FCP-5)", "    designator_type: NAA,  code_set: Binary",
          "    associated with the Target port", "      NAA 2, vendor specific identifier A: 0x100",
          "      IEEE Company_id: 0x1122", "      vendor specific identifier B: 0x334402",
          "      [0x2100001122334402]"}},
        {"sg2", identification, 0,
         {"VPD INQUIRY: Device Identification page", "  Designation descriptor number 1, descriptor length: 12",
          "    designator_type: NAA,  code_set: Binary", "      NAA 5, IEEE Company_id: 0xc50",
          "      Vendor Specific Identifier: 0xdeadbeef", "      [0x5000c500deadbeef]"}},
    };
    for (const auto& c : cases) {
        const Bytes data = capture(sim.dir() + "/" + c.node, c.cdb);
        SCOPED_TRACE(std::string(c.node) + " page " + std::to_string(c.cdb[2]));
        ASSERT_FALSE(data.empty());
        if (c.size) {
            EXPECT_EQ(data.size(), c.size);
        }
        // The hex form of sg_inq --inhex: 16 bytes a line.
        std::ofstream file(files.path() + "/reply.hex");
        char hex[4];
        for (size_t i = 0; i < data.size(); ++i) {
            std::snprintf(hex, sizeof hex, "%02x", data[i]);
            file << hex << ((i % 16 == 15 || i + 1 == data.size()) ? "\n" : " ");
        }
        file.close();
        auto r = run({sgInq, "--inhex=" + files.path() + "/reply.hex"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::string out = "\n" + r.out;
        size_t at = 0;
        for (const auto& line : c.lines) {
            at = out.find("\n" + line + "\n", at);
            ASSERT_NE(at, std::string::npos) << "missing line \"" << line << "\" in:\n" << r.out;
            ++at;
        }
    }
}

}  // namespace
