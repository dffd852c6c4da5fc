// The enclosure services of a RAID system's enclosures: SES-2 configuration,
// enclosure status, threshold in and element descriptor pages generated from
// the enclosure's state and its drives, served through both routes of the
// controllers:
//   - RECEIVE DIAGNOSTIC RESULTS (0x1C) to the controller, product type 0x13
//     and later, for the controller's own (first) enclosure;
//   - READ BUFFER buffer 0xF0 (and WRITE BUFFER 0xF2 for a control page) with
//     an embedded diagnostic CDB addressed to an enclosure through a drive
//     loop: loop flag in bit 7 and SES target in bits 0-6 of CDB byte 3.
// It also takes the enclosure locate command (WRITE BUFFER 0xC2 with byte 3 = 128).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/model_api.h"

namespace sim::model {

struct Drive;

class SesEnclosures {
public:
    // Element kinds an enclosure holds (the control interface names them).
    enum class Kind : uint8_t {
        Slot, PowerSupply, Fan, Temperature, DoorLock, Alarm, Controller, Enclosure, SasExpander,
        Midplane, ChannelCard, ElectronicsPower, Settings,
    };
    struct Element {
        uint8_t status = 1;          // SES element status code, 0-15
        int celsius = 25;            // temperature sensors
        int raw = -1;                // temperature byte as sent, when set (0 = no reading)
        bool statusGiven = false;    // status set explicitly rather than from the temperature
        std::string text;            // descriptor text
    };
    struct Enclosure {
        uint8_t number = 1;
        bool legacy = false;         // older enclosure: Device elements, no controller elements
        std::string vendor = "TOLVO", product, revision = "0102", serial, panelId;
        uint64_t logicalId = 0;
        int target = -1;             // SES target ID reported in the drive records, -1 none (0xFF)
        int altTarget = -1;
        uint8_t loops = 3;           // bit 0 loop 0 answers, bit 1 loop 1 answers
        uint32_t generation = 1;
        uint64_t locateUntilMs = 0;
        unsigned locates = 0;
        std::vector<Element> elements[13];  // by Kind (slots follow the drives)
    };

    // From the scenario's system object ("ses", strict) and the enclosure
    // numbers of the system; throws std::invalid_argument with the key's path.
    void load(const nlohmann::json& system, const std::vector<uint8_t>& enclosureNumbers, uint8_t productType);
    nlohmann::json save() const;

    // Takes the SES commands (and the enclosure locate); nullopt for any other command.
    std::optional<Outcome> execute(const CommandContext& cmd, std::vector<uint8_t>& dataIn,
                                   const std::vector<Drive>& drives, uint8_t productType, uint64_t nowMs);

    // The SES target IDs the drive records of an enclosure report (0xFF none).
    void driveTargets(uint8_t enclosure, uint8_t& ses0Loop1, uint8_t& ses1Loop2) const;

    // Control verbs "ses-set", "ses-state" and "ses-page"; nullopt for other verbs.
    struct VerbKeys {
        const char* name;
        std::vector<const char*> args;
    };
    static const std::vector<VerbKeys>& verbs();
    std::optional<nlohmann::json> control(const std::string& verb, const nlohmann::json& args,
                                          const std::vector<Drive>& drives, uint64_t nowMs);

    // A page of an enclosure as served (empty for an unknown page code).
    std::vector<uint8_t> page(const Enclosure& e, uint8_t code, const std::vector<Drive>& drives) const;
    const std::vector<Enclosure>& enclosures() const { return enclosures_; }

private:
    Enclosure* find(uint8_t number);
    const Enclosure* resolve(uint8_t loop, uint8_t target, const std::vector<Drive>& drives) const;
    void setElement(Enclosure& e, const nlohmann::json& args, const std::string& path);

    std::vector<Enclosure> enclosures_;
};

}  // namespace sim::model
