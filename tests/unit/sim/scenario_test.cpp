// Scenario files: defaults of the device-side keys and the messages that name
// what is wrong in a malformed scenario.
#include <gtest/gtest.h>

#include "sim_test_util.h"

namespace {

TEST(Scenario, DefaultsOfSystemsAndPaths) {
    auto sc = sim::parseScenarioText(R"({"systems":[{"paths":[{"sg":4},{"sg":2,"target":7}]}]})");
    ASSERT_EQ(sc.systems.size(), 1u);
    const auto& s = sc.systems[0];
    EXPECT_EQ(s.unit.vendor, "TOLVO");
    EXPECT_EQ(s.unit.product, "TOLVO RAID 8200");
    EXPECT_EQ(s.unit.revision, "0513");
    EXPECT_EQ(s.unit.capacityBlocks, 2097152u);
    EXPECT_EQ(s.unit.blockSize, 512u);
    EXPECT_TRUE(s.unit.multiPort);
    ASSERT_EQ(s.paths.size(), 2u);
    EXPECT_EQ(s.paths[0].sg, 4);
    EXPECT_EQ(s.paths[0].target, 0);  // the path index
    EXPECT_EQ(s.paths[1].target, 7);
    EXPECT_EQ(s.paths[0].portWwn, 0x2100001B32000004ull);
    EXPECT_EQ(s.paths[1].initiatorWwn, 0x10000000C9000002ull);
}

TEST(Scenario, ModelKeysTravelUntouchedAndEmptyOrEmbeddedScenariosParse) {
    auto sc = sim::parseScenarioText(R"({"systems":[{"paths":[{"sg":0}],"wwn":"20000011AABBCCDD","drives":[1,2]}]})");
    EXPECT_EQ(sc.systems[0].object["wwn"], "20000011AABBCCDD");
    EXPECT_EQ(sc.systems[0].object["drives"].size(), 2u);
    auto empty = sim::parseScenarioText("{}");
    EXPECT_TRUE(empty.systems.empty());
    EXPECT_TRUE(empty.devices.empty());
    auto embedded = sim::parseScenarioText(sim::embeddedDefaultScenario());
    ASSERT_EQ(embedded.systems.size(), 1u);
    EXPECT_EQ(embedded.systems[0].paths.size(), 2u);
    EXPECT_EQ(embedded.systems[0].unit.product.rfind("TOLVO RAID", 0), 0u);
}

TEST(Scenario, MalformedScenariosNameTheirFault) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "not valid JSON"},
        {"{\"systems\": [", "not valid JSON"},
        {"[]", "the scenario must be a JSON object"},
        {R"({"sytems":[]})", "sytems: unknown key"},
        {R"({"systems":{}})", "systems: expected an array"},
        {R"({"systems":[3]})", "systems[0]: expected an object"},
        {R"({"systems":[{}]})", "systems[0].paths: missing"},
        {R"({"systems":[{"paths":[]}]})", "systems[0].paths: expected a non-empty array"},
        {R"({"systems":[{"paths":[{}]}]})", "systems[0].paths[0].sg: missing"},
        {R"({"systems":[{"paths":[{"sg":-1}]}]})", "systems[0].paths[0].sg: expected an integer from 0 to 65535, got -1"},
        {R"({"systems":[{"paths":[{"sg":"0"}]}]})", "systems[0].paths[0].sg: expected an integer from 0 to 65535"},
        {R"({"systems":[{"paths":[{"sg":1.5}]}]})", "systems[0].paths[0].sg: expected an integer from 0 to 65535"},
        {R"({"systems":[{"paths":[{"sg":0,"lun":-2}]}]})", "systems[0].paths[0].lun: expected an integer"},
        {R"({"systems":[{"paths":[{"sg":0,"portWwn":"21000011223344"}]}]})",
         "systems[0].paths[0].portWwn: expected 16 hexadecimal digits"},
        {R"({"systems":[{"paths":[{"sg":0,"portWwn":"21000011223344GG"}]}]})",
         "systems[0].paths[0].portWwn: expected 16 hexadecimal digits"},
        {R"({"systems":[{"paths":[{"sg":0,"colour":1}]}]})", "systems[0].paths[0].colour: unknown key"},
        {R"({"systems":[{"paths":[{"sg":0},{"sg":0}]}]})", "systems[0].paths[1].sg: sg0 is used twice"},
        {R"({"systems":[{"paths":[{"sg":3}]}],"devices":[{"sg":3,"vendor":"A","product":"B"}]})",
         "devices[0].sg: sg3 is used twice"},
        {R"({"systems":[{"paths":[{"sg":0}],"vendor":"TOLVO RAID"}]})",
         "systems[0].vendor: longer than 8 characters"},
        {R"({"systems":[{"paths":[{"sg":0}],"product":"TOLVO RAID 7000 PLUS"}]})",
         "systems[0].product: longer than 16 characters"},
        {R"({"systems":[{"paths":[{"sg":0}],"revision":"05130"}]})",
         "systems[0].revision: longer than 4 characters"},
        {R"({"systems":[{"paths":[{"sg":0}],"product":"TOLVO\u00e9"}]})",
         "systems[0].product: only printable ASCII characters are allowed"},
        {R"({"systems":[{"paths":[{"sg":0}],"capacityBlocks":0}]})", "systems[0].capacityBlocks: expected an integer"},
        {R"({"systems":[{"paths":[{"sg":0}],"blockSize":4294967296}]})", "systems[0].blockSize: expected an integer"},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":{}}]})", "systems[0].identifiers: expected an array"},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":[{"hex":"00"}]}]})",
         "systems[0].identifiers[0].type: missing"},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":[{"type":3}]}]})",
         "systems[0].identifiers[0]: give exactly one of \"hex\" and \"text\""},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":[{"type":3,"hex":"123"}]}]})",
         "systems[0].identifiers[0].hex: expected an even number of hexadecimal digits"},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":[{"type":3,"hex":"12","association":4}]}]})",
         "systems[0].identifiers[0].association: expected an integer from 0 to 3"},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":[{"raw":"zz"}]}]})",
         "systems[0].identifiers[0].raw: expected an even number of hexadecimal digits"},
        {R"({"devices":[{"sg":0,"product":"X"}]})", "devices[0].vendor: missing"},
        {R"({"devices":[{"sg":0,"vendor":"A","product":"X","type":32}]})",
         "devices[0].type: expected an integer from 0 to 31, got 32"},
        {R"({"devices":[{"sg":0,"vendor":"A","product":"X","paths":[]}]})", "devices[0].paths: unknown key"},
        {R"({"description":5})", "description: expected a string"},
    };
    for (const auto& c : cases) {
        try {
            sim::parseScenarioText(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const sim::ScenarioError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << c.text << "\n  gave: " << e.what();
        }
    }
}

TEST(Scenario, TooManyDevices) {
    nlohmann::json doc;
    for (int i = 0; i <= static_cast<int>(sim::kMaxDevices); ++i)
        doc["devices"].push_back({{"sg", i}, {"vendor", "A"}, {"product", "B"}});
    EXPECT_THROW(sim::parseScenario(doc), sim::ScenarioError);
    doc["devices"].erase(doc["devices"].size() - 1);
    EXPECT_EQ(sim::parseScenario(doc).devices.size(), sim::kMaxDevices);
}

TEST(Scenario, HexHelpers) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(sim::fromHex("00aBFf", out));
    EXPECT_EQ(out, (std::vector<uint8_t>{0x00, 0xAB, 0xFF}));
    EXPECT_FALSE(sim::fromHex("0g", out));
    EXPECT_FALSE(sim::fromHex("abc", out));
    EXPECT_EQ(sim::toHex(out.data(), 0), "");
    EXPECT_EQ(sim::wwnHex(0x2100001122334401ull), "2100001122334401");
}

}  // namespace
