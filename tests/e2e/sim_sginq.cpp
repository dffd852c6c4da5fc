// The emulator's INQUIRY data and device identification page, captured from a
// simulated node as hex, decoded by sg_inq of sg3-utils: an independent decoder
// must read them cleanly with the identity and identifiers we put in.
#include <fcntl.h>

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "support/simulator.h"

namespace {

using testsupport::run;
using testsupport::SgNode;
using testsupport::Simulator;
using testsupport::TempDir;
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

// The hex form of sg_inq --inhex: a comment line, then 16 bytes a line.
std::string toInhex(const Bytes& data, const std::string& comment) {
    std::string s = "# " + comment + "\n";
    char buf[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        s += buf;
        s += (i % 16 == 15 || i + 1 == data.size()) ? "\n" : " ";
    }
    return s;
}

Bytes capture(const std::string& node, const Bytes& cdb) {
    SgNode n(node);
    if (n.open(O_RDWR | O_EXCL) != 0) return {};
    Bytes reply = n.command(cdb, 255);
    if (reply.size() < 36) return {};
    return Bytes(reply.begin() + 36, reply.end());
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

class SimSgInq : public ::testing::Test {
protected:
    void SetUp() override {
        sgInq = sgInqPath();
        if (sgInq.empty()) GTEST_SKIP() << "sg_inq (sg3-utils) is not installed";
    }
    std::string decode(const Bytes& data, const std::string& comment) {
        std::string file = files.path() + "/reply.hex";
        std::ofstream(file) << toInhex(data, comment);
        auto r = run({sgInq, "--inhex=" + file});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        return r.out;
    }
    // Every expected line appears in the decoding, in this order.
    static void expectLinesInOrder(const std::string& out, const std::vector<std::string>& expected) {
        auto got = lines(out);
        size_t at = 0;
        for (const auto& e : expected) {
            while (at < got.size() && got[at] != e) ++at;
            EXPECT_LT(at, got.size()) << "missing line \"" << e << "\" in:\n" << out;
            if (at == got.size()) return;
            ++at;
        }
    }
    std::string sgInq;
    TempDir files;
    Simulator sim{kScenario};
};

TEST_F(SimSgInq, StandardInquiryOfAControllerPath) {
    Bytes data = capture(sim.dir() + "/sg0", {0x12, 0, 0, 0, 0xFF, 0});
    ASSERT_EQ(data.size(), 96u);
    std::string out = decode(data, "standard INQUIRY of a simulated controller path");
    expectLinesInOrder(out, {
                                "standard INQUIRY:",
                                "  PQual=0  PDT=0  RMB=0  LU_CONG=0  hot_pluggable=0  version=0x06  [SPC-4]",
                                "  [AERC=0]  [TrmTsk=0]  NormACA=0  HiSUP=1  Resp_data_format=2",
                                "  SCCS=0  ACC=0  TPGS=0  3PC=0  Protect=0  [BQue=0]",
                                "    length=96 (0x60)   Peripheral device type: disk",
                                " Vendor identification: TOLVO   ",
                                " Product identification: TOLVO RAID 8000 ",
                                " Product revision level: 0601",
                            });
    EXPECT_NE(out.find("MultiP=1"), std::string::npos) << out;
    EXPECT_NE(out.find("CmdQue=1"), std::string::npos) << out;
}

TEST_F(SimSgInq, StandardInquiryOfAnotherDevice) {
    Bytes data = capture(sim.dir() + "/sg2", {0x12, 0, 0, 0, 0xFF, 0});
    ASSERT_EQ(data.size(), 96u);
    std::string out = decode(data, "standard INQUIRY of an enclosure");
    expectLinesInOrder(out, {
                                "standard INQUIRY:",
                                "  PQual=0  PDT=13  RMB=0  LU_CONG=0  hot_pluggable=0  version=0x06  [SPC-4]",
                                "    length=96 (0x60)   Peripheral device type: enclosure services device",
                                " Vendor identification: ACME    ",
                                " Product identification: ENCLOSURE       ",
                                " Product revision level: 2.10",
                            });
    EXPECT_NE(out.find("MultiP=0"), std::string::npos) << out;
}

TEST_F(SimSgInq, DeviceIdentificationPageWithEveryDescriptor) {
    Bytes data = capture(sim.dir() + "/sg1", {0x12, 0x01, 0x83, 0, 0xFF, 0});
    ASSERT_FALSE(data.empty());
    std::string out = decode(data, "VPD page 0x83 of a simulated controller path");
    expectLinesInOrder(out, {
                                "VPD INQUIRY: Device Identification page",
                                "  Designation descriptor number 1, descriptor length: 25",
                                "    designator_type: T10 vendor identification,  code_set: ASCII",
                                "    associated with the Addressed logical unit",
                                "      vendor id: TOLVO   ",
                                "      vendor specific: RAID8000-SN42",
                                "  Designation descriptor number 2, descriptor length: 12",
                                "    designator_type: EUI-64 based,  code_set: Binary",
                                "    associated with the Addressed logical unit",
                                "      EUI-64 based 8 byte identifier",
                                "      IEEE Company_id: 0x1122",
                                "      [0x0011223344556677]",
                                "  Designation descriptor number 3, descriptor length: 12",
                                "    transport: Fibre Channel Protocol for SCSI (FCP-5)",
                                "    designator_type: NAA,  code_set: Binary",
                                "    associated with the Target port",
                                "      NAA 2, vendor specific identifier A: 0x100",
                                "      IEEE Company_id: 0x1122",
                                "      vendor specific identifier B: 0x334402",
                                "      [0x2100001122334402]",
                            });
}

TEST_F(SimSgInq, DeviceIdentificationOfAnotherDevice) {
    Bytes data = capture(sim.dir() + "/sg2", {0x12, 0x01, 0x83, 0, 0xFF, 0});
    std::string out = decode(data, "VPD page 0x83 of an enclosure");
    expectLinesInOrder(out, {
                                "VPD INQUIRY: Device Identification page",
                                "  Designation descriptor number 1, descriptor length: 12",
                                "    designator_type: NAA,  code_set: Binary",
                                "      NAA 5, IEEE Company_id: 0xc50",
                                "      Vendor Specific Identifier: 0xdeadbeef",
                                "      [0x5000c500deadbeef]",
                            });
}

}  // namespace
