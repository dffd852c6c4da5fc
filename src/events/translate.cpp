#include "events/translate.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "scsi/tolvo.h"

namespace {

// A piece of text built with printf formats, with C string semantics: a
// formatted piece ends at its first NUL (a "%c" of byte 0 ends it there).
class Text {
public:
    void add(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        char piece[1024];
        va_list ap;
        va_start(ap, fmt);
        std::vsnprintf(piece, sizeof piece, fmt, ap);
        va_end(ap);
        s_.append(piece, std::strlen(piece));
    }
    void addText(const char* t) { s_.append(t); }
    // Four bytes as characters, up to the first NUL.
    void addChars(const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n && p[i] != 0; ++i) s_.push_back(static_cast<char>(p[i]));
    }
    bool empty() const { return s_.empty(); }
    const std::string& str() const { return s_; }

private:
    std::string s_;
};

// The payload bytes by their offset in the entry (10 to 23).
class Bytes {
public:
    explicit Bytes(const wire::EVENT_LOG_ENTRY& e) : e_(e) {}
    uint8_t operator[](unsigned offset) const {
        return offset >= 10 && offset < 24 ? e_.payload[offset - 10] : 0;
    }
    uint16_t le16(unsigned o) const { return static_cast<uint16_t>((*this)[o] | ((*this)[o + 1] << 8)); }
    uint16_t be16(unsigned o) const { return static_cast<uint16_t>(((*this)[o] << 8) | (*this)[o + 1]); }
    uint32_t le24(unsigned o) const { return (*this)[o] | ((*this)[o + 1] << 8) | (static_cast<uint32_t>((*this)[o + 2]) << 16); }
    uint32_t le32(unsigned o) const { return le16(o) | (static_cast<uint32_t>(le16(o + 2)) << 16); }
    uint32_t be32(unsigned o) const { return (static_cast<uint32_t>(be16(o)) << 16) | be16(o + 2); }
    uint64_t le64(unsigned o) const { return le32(o) | (static_cast<uint64_t>(le32(o + 4)) << 32); }
    uint64_t wwn(unsigned o) const {
        uint64_t v = 0;
        for (unsigned i = 0; i < 8; ++i) v = (v << 8) | (*this)[o + i];
        return v;
    }

private:
    const wire::EVENT_LOG_ENTRY& e_;
};

// "<label> XXXXXXXXXXXXXXXX": a label and the WWN of the 8 bytes at `o`.
void addLabelledWwn(Text& t, const char* label, const Bytes& b, unsigned o) {
    t.add("%s %02X%02X%02X%02X%02X%02X%02X%02X", label, b[o], b[o + 1], b[o + 2], b[o + 3], b[o + 4], b[o + 5],
          b[o + 6], b[o + 7]);
}

bool hardIdNaming(uint32_t productType) { return (productType & PRODUCT_HARD_ID_NAMING) != 0; }

// Enclosure and slot of a drive hard ID (0 and 0 for 0xFF).
void enclosureSlot(uint8_t hardId, uint32_t productType, int& enclosure, int& slot) {
    if (hardId == 0xFF) {
        enclosure = slot = 0;
        return;
    }
    const bool sixBits = (productType & PRODUCT_SLOT_6_BITS) != 0;
    enclosure = ((hardId >> (sixBits ? 6 : 5)) & (sixBits ? 3 : 7)) + 1;
    slot = (hardId & (sixBits ? 0x3F : 0x1F)) + 1;
}

// The drive WWN of bytes 10 to 17 and its hard ID, named by enclosure and slot
// or by the hard ID itself.
void addDriveText(Text& t, const Bytes& b, uint8_t hardId, uint32_t productType, TRANSLATED_EVENT_OBJECT& obj) {
    obj.valid = 1;
    obj.wwn = b.wwn(10);
    if (hardIdNaming(productType)) {
        t.add("Drive WWN=%02X%02X%02X%02X%02X%02X%02X%02X HardID (ADISC) %d ", b[10], b[11], b[12], b[13], b[14],
              b[15], b[16], b[17], hardId);
        obj.slot = hardId;
    } else {
        int enclosure, slot;
        enclosureSlot(hardId, productType, enclosure, slot);
        t.add("Drive WWN=%02X%02X%02X%02X%02X%02X%02X%02X HardID Enclosure=%d SlotNum=%d ", b[10], b[11], b[12],
              b[13], b[14], b[15], b[16], b[17], enclosure, slot);
        obj.enclosure = static_cast<uint64_t>(enclosure);
        obj.slot = static_cast<uint32_t>(slot);
    }
}

// Drive text with the hard ID in byte 20, the drive number and its pool.
void addDriveTextA(Text& t, const Bytes& b, uint32_t productType, TRANSLATED_EVENT_OBJECT& obj) {
    addDriveText(t, b, b[20], productType, obj);
    t.add("in DriveNum=%d (Pool/Array %d)", b[19], b[18]);
    obj.pool = b[18];
    obj.drive = b[19];
}

void addPool(Text& t, const Bytes& b, TRANSLATED_EVENT_OBJECT& obj) {
    t.add("Pool/Array Number %d", b[10]);
    obj.valid = 1;
    obj.pool = b[10];
}

void addHostPort(Text& t, const Bytes& b) { t.add("Host (FC Loop / SAS Port) %d", b[10] - 1); }

void addController(Text& t, const Bytes& b, TRANSLATED_EVENT_OBJECT& obj) {
    t.add("Controller %d", b[10] - 1);
    obj.valid = 1;
    obj.number = 3;
    obj.controllerIndex = static_cast<uint64_t>(b[10] - 1);
}

void addDriveLoop(Text& t, const Bytes& b, TRANSLATED_EVENT_OBJECT& obj) {
    t.add("Drive Loop %d", b[10] - 1);
    obj.valid = 1;
    obj.number = static_cast<uint64_t>(b[10] - 1);
}

const char* loopIdText(uint8_t v) { return v == 1 ? "0" : v == 2 ? "1" : "both"; }

// The volume line of the snapshot events, appended to the text so far.
void addVolumeLine(Text& t, const Bytes& b, TRANSLATED_EVENT_OBJECT& obj) {
    Text whole;
    whole.add("%s Volume %d ODA No %d Internal Volume %d", t.str().c_str(), b.le16(14), b.le16(10), b.le16(12));
    t = whole;
    obj.valid = 1;
    obj.volume = b.le16(14);
    obj.slot = b.le16(10);
    obj.drive = b.le16(12);
}

const char* sesStatusName(uint8_t status) {
    static const char* const names[] = {"Unsupported",   "OK",      "Critical",      "Non Critical",
                                        "Unrecoverable", "Not Installed", "Unknown", "Not Available"};
    return status < 8 ? names[status] : "Reserved";
}

void addSesEnclosure(Text& t, const Bytes& b) {
    t.add(" Enclosure Number=%d Encosure WWN=%02X%02X%02X%02X%02X%02X%02X%02X", b[15], b[16], b[17], b[18], b[19],
          b[20], b[21], b[22], b[23]);
}

const char* unknownHex(char* buf, size_t n, uint8_t v) {
    std::snprintf(buf, n, "unknown %02X", v);
    return buf;
}

void addReportStatusUnknown(Text& t, const Bytes& b, const char* lead) {
    t.add("%sBoot ROM CRC %02X%02X%02X%02X Init String CRC  %02X%02X%02X%02X Firmware %02X%02X%02X%02X", lead,
          b[12], b[13], b[14], b[15], b[16], b[17], b[18], b[19], b[20], b[21], b[22], b[23]);
}

// Battery failure (0x07) of the 7104 and 8112 model families.
void batteryFailure(Text& t, const Bytes& b, uint8_t id, uint32_t productType) {
    static const char* const s1 = "The onboard cache protection battery backup unit has";
    static const char* const s2 = "or has been disconnected";
    auto appendReason = [&](const char* reason) {
        Text w;
        if (reason != nullptr)
            w.add("%s %s", t.str().c_str(), reason);
        else
            w.add("%s %s.", t.str().c_str(), s2);
        t = w;
    };
    if (productType == 9) {
        if (b[11] == 0xFA) {
            t.add("TolvoEvent_%.2X_00_%.2X_7104 | %s failed", id, b[10], s1);
            const char* reason = nullptr;
            switch (b[10]) {
            case 0x00: reason = ", due to charger disabled, charge current not zero."; break;
            case 0x10: reason = ", due to voltage out of range."; break;
            case 0x20: reason = ", due to fast charge under current."; break;
            case 0x30: reason = ", due to trickle charge under current."; break;
            case 0x40: reason = ", due to fast charge over current."; break;
            case 0x50: reason = ", due to trickle charge over current."; break;
            case 0x60: reason = ", due to failure in detecting full charge within the allotted time."; break;
            case 0x70: reason = ", due to battery not present."; break;
            default: break;
            }
            appendReason(reason);
        } else if (b[10] == 0xFA) {
            t.add("TolvoEvent_%.2X_01_%.2X_7104 | %s failed %s", id, b[10], s1, s2);
            const char* reason = nullptr;
            switch (b[11]) {
            case 0x01: reason = "."; break;
            case 0x02: reason = ", due to communication problem."; break;
            case 0x03: reason = ". The battery charger circuit is disabled."; break;
            case 0x04: reason = ". The battery charger circuit is enabled."; break;
            case 0x30:
                reason = ". The battery charger circuit is disabled because the temperature is less than 5 degrees "
                         "Celsius.";
                break;
            case 0x50:
                reason = ". The battery charger circuit is disabled because the temperature is greater than 70 "
                         "degrees Celsius.";
                break;
            default: break;
            }
            appendReason(reason);
        } else {
            t.add("TolvoEvent_%.2X_7104 | %s failed %s.", id, s1, s2);
        }
    } else if (productType == 0x11) {
        switch (b[11]) {
        case 0x00:
            t.add("TolvoEvent_%.2X_%.2X_8112 | %s failed %s. Hardware fault: 0x%.2X%.2X.", id, b[11], s1, s2, b[12],
                  b[13]);
            break;
        case 0x03: t.add("TolvoEvent_%.2X_%.2X_8112 | %s failed %s. The battery charger is disabled.", id, b[11], s1, s2); break;
        case 0x62: t.add("TolvoEvent_%.2X_%.2X_8112 | %s started charging unexpectedly.", id, b[11], s1); break;
        case 0x90: t.add("TolvoEvent_%.2X_%.2X_8112 | %s been removed.", id, b[11], s1); break;
        case 0x91: t.add("TolvoEvent_%.2X_%.2X_8112 | %s been inserted.", id, b[11], s1); break;
        default: t.add("TolvoEvent_%.2X__8112 | %s failed due to unknown reason.", id, s1); break;
        }
    }
}

void batteryCharging(Text& t, const Bytes& b, uint8_t id, uint32_t productType) {
    const long minutes = b.be16(11);
    if (productType == 9) {
        if (b[10] == 0x10)
            t.add("TolvoEvent_%.2X_7104 | The battery backup unit is charging in forced trickle mode. This is due to a "
                  "missing or failed power supply.",
                  id);
        else
            t.add("TolvoEvent_%.2X_7104 | The controller battery backup unit has been charging for %ld minutes.", id,
                  minutes);
    } else if (productType == 0x11 || productType == 0x13) {
        if (b[10] == 0)
            t.add("TolvoEvent_%.2X_%.2X_8112_8200 | The controller battery backup unit has been charging for %ld "
                  "minutes.",
                  id, b[10], minutes);
        else
            t.add("TolvoEvent_%.2X_8112_8200 | The battery backup unit top-off cycle has begun.", id);
    }
}

// Configuration change (0x2F): object kind, operation, numbers and value.
void LAPIReadPatchEvent(const Bytes& b, Text& t, TRANSLATED_EVENT_OBJECT& obj) {
    const uint8_t kind = b[10];
    if (kind == 0) return;
    const uint8_t op = b[11];
    const unsigned number = b.le16(12);
    const unsigned second = b.le16(14);
    const uint64_t value = b.le64(16);
    char hex[24], dec[24];
    std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(value));
    std::snprintf(dec, sizeof dec, "%lld", static_cast<long long>(value));
    static const char* const ops[] = {"Creation", "Expansion", "Deletion", "Snapback"};
    const char* opText = op >= 1 && op <= 4 ? ops[op - 1] : "Configuration";
    obj.valid = 1;
    obj.kind = kind;
    obj.operation = op;
    switch (kind) {
    case 1:
        t.add("%s of %s %u", opText, "Pool/Array", number);
        if (op == 1) t.add(" of raid %s ", hex);
        if (op == 1 || op == 2) t.add(" with %u drives", second);
        if (op == 3) t.add(" ID %s", dec);
        obj.pool = op == 3 ? value : number;
        break;
    case 2:
        t.add("%s of %s %u", opText, "Volume", number);
        obj.volume = number;
        if (op == 2) {
            t.add(" with %s blocks", dec);
            obj.wwn = value;
        }
        if (op == 3) {
            t.add(" ID %s", hex);
            obj.volume = value;
        }
        break;
    case 3:
        t.add("%s of %s %u for host %s with volume %u", opText, "LUN", number, hex, second);
        obj.slot = number;
        obj.number = value;
        obj.volume = second;
        break;
    case 4:
        t.add("%s of %s %s", opText, "Host", hex);
        obj.number = value;
        break;
    case 5:
        t.add("%s of %s %u for volume %u", opText, "Snap", number, second);
        obj.volume = second;
        break;
    default:
        t.add("%s of %s %u", opText, "Element", number);
        break;
    }
}

// Parity check retry (0x46).
void Msg_ParityCheckRetryEvent(Text& t, const Bytes& b) {
    t.add("A RAID parity check retry conducted on array with ID %d has completed with error on drive %d. Drive Chunk "
          "Address = 0x%.2X%.2X%.2X%.2X",
          b[10], b[16], b[20], b[19], b[18], b[17]);
    if (b[11] == 2) t.add(" , Error Count = %d", static_cast<int>(b.le32(12)));
}

void persistentReservation(Text& t, const Bytes& b) {
    static const char* const texts[] = {
        "Incorrect Reservation Key. This indicates that an invalid reservation key was passed to an I_T nexus to "
        "change a reservation.",
        "Incorrect Reservation Type. This indicates that an invalid scope or type was passed to an I_T nexus to "
        "change a reservation.",
        "I_T Nexus is not Reserved. This indicates that a request was made to change or release a reservation on an "
        "I_T nexus that was not reserved.",
        "I_T Nexus is not Registered. This indicates that an attempt was made to make a reservation on an I_T nexus "
        "that was not registered.",
        "Reservation Conflict Detected. A reservation conflict is anything from a bad key to trying to make a "
        "reservation on an I_T nexus when a reservation to the requested lun already exists on another I_T nexus. It "
        "is probably best to just leave the description as a Reservation Conflict Detected without trying to provide "
        "details.",
        "Persistent Reservation Check Condition Detected. This covers all other error types, from invalid parameters "
        "to not enough resources to complete the command. It is probably best to just leave the description as a "
        "Reservation Check Condition Detected without trying to provide details.",
        "Invalid Service Action Reservation Key. This indicates that a service action reservation key could not be "
        "assigned to an I_T nexus.",
    };
    Text reason;
    if (b[10] >= 1 && b[10] <= 7)
        reason.addText(texts[b[10] - 1]);
    else
        reason.add("Reservation Key Error %d.", b[10]);
    t.add("%s (Controller: %d, Port %d, Volume %d)", reason.str().c_str(), b[11], b[12], b.be16(13));
}

const char* upDown(uint8_t v) { return v == 0 ? "Up" : "Down"; }

void specificText(uint8_t id, const Bytes& b, Text& t, TRANSLATED_EVENT_STRUCT& rec, uint32_t flag,
                  uint32_t productType) {
    TRANSLATED_EVENT_OBJECT& obj = rec.object;
    const bool sas = (productType & PRODUCT_SAS_HOST) != 0;
    char u1[16], u2[16];
    switch (id) {
    case 0x01:
        switch (b[10]) {
        case 1: t.addText("Watchdog Error"); break;
        case 2: t.addText("ECC Error"); break;
        case 3: t.addText("Coprocessor Error"); break;
        case 4:
            if (sas)
                t.add("Host SAS Error on 1068 doorbell register %02X%02X%02X%02X", b[11], b[12], b[13], b[14]);
            else
                t.add("Host FC Interface Error on Loop %d", b[11]);
            break;
        case 5: t.add("Drive FC Interface Error on Loop %d", b[11]); break;
        case 6: {
            static const char* const causes[] = {"Data Abort", "Prefetch abort", "Software interrupt",
                                                 "Bad instruction", "IRQ Interrupt", "ATU Error",
                                                 "PBI Error", "AAU Error"};
            t.addText("Internal Error");
            if (b[11] >= 1 && b[11] <= 8) t.addText(causes[b[11] - 1]);
            else if (b[11] == 0xFF) t.addText("Continuation of previous internal log error");
            break;
        }
        case 7: {
            static const char* const causes[] = {"Link training failure", "Link width bad", "Link training error"};
            t.addText("Failed PCIe interface error: ");
            if (b[11] >= 1 && b[11] <= 3) t.addText(causes[b[11] - 1]);
            break;
        }
        default: break;
        }
        break;
    case 0x03: case 0x04:
        t.add("Temperature is %d degrees Celsius (%d degrees Fahrenheit)", b[10], b[10] * 9 / 5 + 32);
        break;
    case 0x07: batteryFailure(t, b, id, productType); break;
    case 0x08: case 0x09: case 0x29: case 0x2A: case 0x5E: case 0x5F: addController(t, b, obj); break;
    case 0x0A: {
        addDriveTextA(t, b, productType, obj);
        Text whole;
        whole.add("%s SCSI Sense Key=0x%02X ASC=0x%02X ASCQ=0x%02x", t.str().c_str(), b[21], b[22], b[23]);
        t = whole;
        break;
    }
    case 0x0B: case 0x0C: case 0x0D: case 0x0E: case 0x30: case 0x32: addDriveTextA(t, b, productType, obj); break;
    case 0x13: t.addText("FC loop 0 has exceeded allowable error count, loop will not be used for 2 hours"); break;
    case 0x14: t.addText("FC loop 1 has exceeded allowable error count, loop will not be used for 2 hours"); break;
    case 0x15: t.addText(sas ? "SAS host port 0 will not initialize " : "FC loop 0 will not initialize "); break;
    case 0x17: case 0x18: t.add("Hard Address Acquired %d (Requested %d)", b[10], b[11]); break;
    case 0x19: {
        static const char* const rails[] = {
            "+12V Input", "+5V Input", "+5V Protected", "+3.3V", "+3.3V SDRAM", "+2.5V Core", "+1.5V Core",
            "+3.3V Coprocessor SDRAM", "+2.5V Coprocessor Gigabit Ethernet", "+1.8V Coprocessor Gigabit Ethernet",
            "+1.5V Coprocessor Gigabit Ethernet", "+1.5V Coprocessor Core"};
        if (b[10] >= 1 && b[10] <= 12) t.add("%s Voltage Error, measured %d mV", rails[b[10] - 1], b.be16(11));
        break;
    }
    case 0x1B: case 0x33: case 0x34: case 0x68: case 0x69: case 0x6A: case 0x70: addPool(t, b, obj); break;
    case 0x21:
        if (b[10] != 0) addDriveLoop(t, b, obj);
        t.add(" LIP Type 0=%d, LIP Type 1=%d, LIP Repeat Count %lu", b[11], b[12], static_cast<unsigned long>(b.le32(18)));
        break;
    case 0x22: case 0x23:
        if (b[10] != 0) addDriveLoop(t, b, obj);
        break;
    case 0x24:
        if (sas) {
            Text type;
            switch (b[11]) {
            case 0x01: type.addText("TMR Abort Task"); break;
            case 0x02: type.addText("TMR Abort Task Set"); break;
            case 0x04: type.addText("TMR Clear Task Set"); break;
            case 0x08: type.addText("TMR LUN reset"); break;
            case 0x20: type.addText("TMR Target reset"); break;
            case 0x40: type.addText("TMR Clear ACA"); break;
            case 0x80: type.addText("TMR Query Task"); break;
            case 0xFE: type.addText("BUS reset"); break;
            case 0xF8: type.add("BUS reset Command aborted Process status %02X SCSI CDB %02X", b[16], b[17]); break;
            case 0xF7: type.add("BUS reset Command reset Process status %02X SCSI CDB %02X", b[16], b[17]); break;
            case 0xF6: type.add("BUS resetCommand timeeout Process status %02X SCSI CDB %02X", b[16], b[17]); break;
            case 0xF5:
                type.add("BUS reset Command aborted - port down Process status %02X SCSI CDB %02X", b[16], b[17]);
                break;
            default: type.add("unknown type %02X status %02X SCSI CDB %02X", b[11], b[16], b[17]); break;
            }
            t.add("SAS Port Number=%d, Type %s LUN=%d Tag = 0x%02X%02X, Repeat Count=%lu", b[10] - 1,
                  type.str().c_str(), b.be16(12), b[14], b[15], static_cast<unsigned long>(b.le32(18)));
        } else {
            t.add("Host Loop=%d, Lip Type 0=%d, LIP Type 1=,%d, Repeat Count=%lu", b[10] - 1, b[11], b[12],
                  static_cast<unsigned long>(b.le32(18)));
        }
        break;
    case 0x25: case 0x26: case 0x3D: addHostPort(t, b); break;
    case 0x27: {
        const bool predictive = b[22] == 0x5D;
        const char* tail = predictive ? " returned a bad status while completing a command" : "";
        addLabelledWwn(t, predictive ? "Predictive failure on drive w/ " : "The drive w/ ", b, 10);
        obj.valid = 1;
        obj.wwn = b.wwn(10);
        if (hardIdNaming(productType)) {
            t.add(" (Drive Hard ID(ADISC)=%d, Loop ID=%d)%s. SCSI Info: Operation = 0x%.2X, Status = 0x%.2X",
                  b[18] & 0x7F, b[18] & 0x80, tail, b[20], b[19]);
        } else {
            int enclosure, slot;
            enclosureSlot(b[18], productType, enclosure, slot);
            t.add(" (Slot=%d Enclosure=%d)%s. SCSI Info: Operation = 0x%.2X, Status = 0x%.2X", slot, enclosure, tail,
                  b[20], b[19]);
        }
        t.add(" (%.2X/%.2X/%.2X).", b[21], b[22], b[23]);
        break;
    }
    case 0x28: case 0x3B:
        addLabelledWwn(t, "Drive WWN/Serial No", b, 10);
        t.add(" Loop ID=%s", loopIdText(b[18]));
        if (hardIdNaming(productType)) {
            t.add(" Drive Hard ID(ADISC)=%d SCSI command=0x%02X", b[20], b[19]);
        } else {
            int enclosure, slot;
            enclosureSlot(b[20], productType, enclosure, slot);
            t.add(" Enclosure=%d Drive Slot=%d SCSI command=0x%02X", enclosure, slot, b[19]);
        }
        break;
    case 0x2E:
        addHostPort(t, b);
        t.add(" Host Loop ID=%d LUN Requested=%lu, SCSI Command=%d Controller Number=%d", b[11],
              static_cast<unsigned long>(b.le16(12)), b[14], b[15] - 1);
        break;
    case 0x2F: LAPIReadPatchEvent(b, t, obj); break;
    case 0x31: case 0x73:
        addPool(t, b, obj);
        t.add(" Drive Number %d", b[11]);
        break;
    case 0x35: case 0x63: case 0x65:
        t.add("Number of Cache Entries=%lu. Number of 512-byte block to flush=%lu", static_cast<unsigned long>(b.le16(10)),
              static_cast<unsigned long>(b.le32(12)));
        break;
    case 0x37:
        addHostPort(t, b);
        if (sas)
            t.add(" Status=%d Error Repeat Count=%lu Bytes2-8 %02X%02X %02X%02X%02X%02X Tag %02X%02X ", b[11],
                  static_cast<unsigned long>(b.le32(18)), b[12], b[13], b[14], b[15], b[16], b[17], b[22], b[23]);
        else
            t.add(" Status=%d Error Repeat Count=%lu", b[11], static_cast<unsigned long>(b.le32(18)));
        break;
    case 0x38:
        addHostPort(t, b);
        t.add(" Status=%lu", static_cast<unsigned long>(b.le16(11)));
        break;
    case 0x39: {
        Text drive;
        addLabelledWwn(drive, "Drive", b, 11);
        int enclosure, slot;
        enclosureSlot(b[19], productType, enclosure, slot);
        t.add(" WWN %s slot %d enclosure %d OpCode %X", drive.str().c_str(), slot, enclosure, b[20]);
        break;
    }
    case 0x3A:
        if (b[10] != 0) {
            addDriveLoop(t, b, obj);
            t.add(" Status=%lu", static_cast<unsigned long>(b.le16(11)));
        }
        break;
    case 0x3C: addDriveLoop(t, b, obj); break;
    case 0x3E:
        addLabelledWwn(t, "Drive", b, 10);
        t.add(" Loop ID=%s Block Size=%lu", loopIdText(b[18]), static_cast<unsigned long>(b.le16(19)));
        break;
    case 0x3F:
        addLabelledWwn(t, "Host", b, 10);
        t.add(" Host Loop=%d Host Loop ID=%d", b[18] - 1, b[19]);
        break;
    case 0x40:
        addHostPort(t, b);
        t.add(" Host Loop ID=%d Host Lun Requested=%lu SCSI Command=0x%02X Sense Key=0x%02X ASC=0x%02X ASCQ=0x%02x",
              b[11], static_cast<unsigned long>(b.le16(12)), b[14], b[15], b[16], b[17]);
        break;
    case 0x42:
        switch (b[10]) {
        case 0: t.addText("The battery backup unit attached to this controller is now functioning correctly."); break;
        case 1: t.addText("Line Power Mode is now active, the battery is not required."); break;
        case 2: t.addText("Line Power Mode is now active, with the battery installed."); break;
        case 3: t.addText("The battery backup unit top-off cycle has ended."); break;
        default: t.add("Battery event message no %d", b[10]); break;
        }
        break;
    case 0x43: case 0x44: case 0x45:
        addPool(t, b, obj);
        t.add(" Parity Check Mode=%s", b[11] == 1   ? "Parity Check Only"
                                       : b[12] == 2 ? "Parity Rewrite Only"
                                                    : "Parity Check and Rewrite");
        if (id != 0x43) t.add(" Error Count=%lu", static_cast<unsigned long>(b.le16(12)));
        obj.operation = b[11];
        break;
    case 0x46: Msg_ParityCheckRetryEvent(t, b); break;
    case 0x50: case 0x51: case 0x57: case 0x58:
        switch (b[11]) {
        case 1: t.addText("Controller A"); break;
        case 2: t.addText("Controller B"); break;
        case 3: t.addText("Controller A & B"); break;
        default: t.add("Invalid controller flag retrieved: %d", b[11]); break;
        }
        break;
    case 0x60: t.add("Firmware Version=%c%c%c%c", b[10], b[11], b[12], b[13]); break;
    case 0x61:
        addDriveText(t, b, b[18], productType, obj);
        t.add(" Loop 0 ID=0x%02X Loop 1 ID=0x%02X ", b[19], b[20]);
        if (flag) addLabelledWwn(t, "#", b, 10);
        break;
    case 0x62: batteryCharging(t, b, id, productType); break;
    case 0x66:
        addDriveText(t, b, b[18], productType, obj);
        t.add(" Firmware Version=%c%c%c%c ", b[19], b[20], b[21], b[22]);
        break;
    case 0x67: case 0x7B: addDriveText(t, b, b[18], productType, obj); break;
    case 0x6B:
        t.add("PSU: %d Status: %s", b[10], sesStatusName(b[11]));
        addSesEnclosure(t, b);
        break;
    case 0x6C:
        t.add("PSU: %d Element Status: %02x%02x%02x%02x %s", b[10], b[11], b[12], b[13], b[14], sesStatusName(b[11]));
        addSesEnclosure(t, b);
        break;
    case 0x6D:
        t.add("Element: %d Status: %s", b[10], sesStatusName(b[11]));
        addSesEnclosure(t, b);
        break;
    case 0x6E: {
        t.add("Element: %d Status: ", b[10]);
        static const char* const tones[] = {"Tone = Unrecoverable  ", "Tone = Critical  ", "Tone = Non Critical  ",
                                            "Tone = Information  ",   "Tone = Remind  ",   "Tone = Unrecoverable  ",
                                            "Muted  ",                "Request Mute  "};
        if (b[14] == 0) t.addText("No Alarm");
        for (unsigned bit = 0; bit < 8; ++bit)
            if (b[14] & (1u << bit)) t.addText(tones[bit]);
        addSesEnclosure(t, b);
        break;
    }
    case 0x6F: {
        addPool(t, b, obj);
        t.addText(" Disabled Reason : ");
        static const char* const reasons[] = {"Partner Controller Failure ", "Battery not present or charged ",
                                              "Pool/Array became critical ", "UPS Failure ",
                                              "Received prepare for shutdown command "};
        for (unsigned bit = 0; bit < 5; ++bit)
            if (b[11] & (1u << bit)) t.addText(reasons[bit]);
        break;
    }
    case 0x71:
        addDriveText(t, b, b[18], productType, obj);
        t.add(" LBA of Error=%lu (0x%04lX)", static_cast<unsigned long>(b.be32(19)), static_cast<unsigned long>(b.be32(19)));
        break;
    case 0x72: t.add("Error Bit=%d Address=0x%04lX", b[10], static_cast<unsigned long>(b.le32(11))); break;
    case 0x75:
        t.addText("Error Bytes");
        for (unsigned o = 10; o < 24; ++o) t.add(" %02X", b[o]);
        break;
    case 0x76:
        addDriveText(t, b, b[18], productType, obj);
        if (flag) addLabelledWwn(t, "#", b, 10);
        break;
    case 0x77:
        addLabelledWwn(t, "Drive", b, 10);
        t.add(" Drive ID: %d", b[18]);
        break;
    case 0x78:
        t.add("Pool/Array %d, Drive No. %d, LBA 0x%02X%02X%02X%02X, Block Count 0x%02X%02X", b[10], b[11], b[12], b[13],
              b[14], b[15], b[16], b[17]);
        break;
    case 0x79:
        addLabelledWwn(t, "STP Target", b, 10);
        t.add(" SCSI Command Op Code %d (0x%02X), Enclosure No. %d", b[19], b[19], b[20]);
        break;
    case 0x7A: t.add("I2C Port %d, Reason Bytes 0x%02X 0x%02X 0x%02X", b[10], b[11], b[12], b[13]); break;
    case 0x7C: case 0x7D:
        addLabelledWwn(t, "SAS Port", b, 10);
        t.add(" Port %d, Internal SAS Id=%d", b[18] - 1, b[19]);
        break;
    case 0x7E: case 0x7F: {
        uint8_t oldVer[4] = {b[12], b[13], b[14], b[15]}, newVer[4] = {b[16], b[17], b[18], b[19]};
        t.add("Enclosure No %d Total updating %d , old ver ", b[10], b[11]);
        t.addChars(oldVer, 4);
        t.addText(" new ver ");
        t.addChars(newVer, 4);
        break;
    }
    case 0x81:
        if (b[16] == 0xFF || b[16] == 0xFE) {
            t.addText(b[16] == 0xFF ? "Snapshot storage area is invalid" : "Snapshot storage area has been overrun");
            rec.severity = EVENT_SEVERITY_CRITICAL;
        } else {
            t.add("Snapshot capacity is at %d%%", b[16]);
        }
        addVolumeLine(t, b, obj);
        break;
    case 0x82:
        if (b[16] == 2) t.addText("Snapshot storage area unassigned");
        else if (b[16] == 3) t.addText("Snapshot storage area assigned");
        else t.add("Snapshot assignment change type %d", b[16]);
        addVolumeLine(t, b, obj);
        break;
    case 0x84:
        switch (b[17]) {
        case 0: t.add("Snapshot %d has been created", b[16]); break;
        case 1: t.add("Snapshot %d has been deleted", b[16]); break;
        case 2: t.add("Snapback from snapshot %d has been started on", b[16]); break;
        case 3: t.add("Snapback from snapshot %d has been completed on", b[16]); break;
        case 9: t.add("Snapshot %d has stated to be deleted", b[16]); break;
        default: t.add("Snapshot configuration change type %d", b[17]); break;
        }
        addVolumeLine(t, b, obj);
        break;
    case 0x85:
        t.add("Snapshot %d had an error =0x%.2X", b[16], b[17]);
        addVolumeLine(t, b, obj);
        break;
    case 0x87: persistentReservation(t, b); break;
    case 0x88:
        switch (b[10]) {
        case 0: t.addText("Snapshot Meta Data cache recovery started"); break;
        case 1: t.addText("Snapshot Meta Data cache recovery completed"); break;
        case 2: t.addText("Snapshot Controller Meta Data is invalid"); break;
        case 3: t.addText("Snapshot Meta Data cache is invalid. Fatal loss of snapshots will be the result"); break;
        case 4: t.addText("Snapshot Controller Meta Data is corrupt"); break;
        case 6: t.addText("Snapshot Controller Versions mismatch"); break;
        default: t.add("Snapshot Meda Data error type %d", b[10]); break;
        }
        break;
    case 0x89:
        if (b[10] == 0) {
            t.add("Report Version, Status %02X  Release No 0x%02X  Build Number 0x%02X ControllerType %02X%02X", b[11],
                  b[12], b[13], b[17], b[18]);
        } else if (b[10] == 1 || b[10] == 2) {
            const char* status;
            if (b[10] == 1)
                status = b[11] == 0x10 ? "being upgraded"
                         : b[11] == 0x00 ? "updated successfully"
                         : b[11] == 0xFF ? "update failed"
                                         : unknownHex(u1, sizeof u1, b[11]);
            else
                status = b[11] == 0xFF ? "no response" : unknownHex(u1, sizeof u1, b[11]);
            if (b[10] == 1) {
                const char* type = b[16] == 0 ? "automatically" : b[16] == 1 ? "manually" : unknownHex(u2, sizeof u2, b[16]);
                t.add("F/W upgrade image status, %s upgrade type %s ", status, type);
            } else {
                t.add("F/W report error status, %s", status);
            }
            t.add(" NEW Rel No 0x%02X  Build Number 0x%02X OLD Rel No 0x%02X  Build Number 0x%02X NEW Ctlr %02X%02X "
                  "OLD Ctlr %02X%02X",
                  b[12], b[13], b[14], b[15], b[17], b[18], b[19], b[20]);
        } else {
            addReportStatusUnknown(t, b, "Report status unknown,");
        }
        break;
    case 0x8A:
        if (b[10] == 1)
            t.add("Reset request status %s",
                  b[11] == 0 ? "OK" : b[11] == 0xFF ? "failed" : unknownHex(u1, sizeof u1, b[11]));
        else
            t.add("Unknown request %02X status %02X", b[10], b[11]);
        break;
    case 0x8B:
        if (b[10] == 0xAC) {
            addReportStatusUnknown(t, b, "Report all current, ");
        } else if (b[10] == 0xB0) {
            const char* status = b[11] == 0xA0   ? "up to date"
                                 : b[11] == 0xA1 ? "updated successfully"
                                 : b[11] == 0xF1 ? "update failed"
                                                 : unknownHex(u1, sizeof u1, b[11]);
            const char* type = b[12] == 0   ? "Bootrom"
                               : b[12] == 1 ? "InitString"
                               : b[12] == 3 ? "Application firmware"
                                            : unknownHex(u2, sizeof u2, b[12]);
            t.add("Report image status, %s Image Type %s  Old Image %02X%02X%02X%02X New Image %02X%02X%02X%02X", status,
                  type, b[16], b[17], b[18], b[19], b[20], b[21], b[22], b[23]);
        } else {
            addReportStatusUnknown(t, b, "Report status unknown,");
        }
        break;
    case 0x93:
        t.add("Drive spin %s. Failed drive WWN %02X%02X%02X%02X%02X%02X%02X%02X. Enclosure No: %d, Slot no: %d",
              upDown(b[10]), b[11], b[12], b[13], b[14], b[15], b[16], b[17], b[18], b[19], b[20]);
        break;
    case 0x94:
        t.add("Drive group spin %s. Number of hotspares: %d, Number of unused drives: %d, Number of failed drives: %d",
              upDown(b[10]), b[11], b[12], b[13]);
        break;
    case 0x95: t.add("Array spin %s. Number of drives: %d, Array Number: %d", upDown(b[10]), b[11], b[12]); break;
    case 0x96: case 0x97: {
        const char* level = b[10] == 0 ? "1" : "2";
        if (id == 0x96)
            t.add("APM level %s. Number of drives under test: %d, Array Number: %d", level, b[11], b[12]);
        else
            t.add("APM level %s. Number of drives finished test: %d, Array Number: %d", level, b[11], b[12]);
        if (b[10] == 1) {
            Text whole;
            whole.add(id == 0x96 ? "%s Array number: %d" : "%sArray number: %d", t.str().c_str(), b[12]);
            t = whole;
        }
        break;
    }
    case 0x99: {
        static const char* const texts[] = {"Expander SPIMEM Unknown event qualifier (byte 0)",
                                            "NA",
                                            "Expander SPIMEM Update Successful",
                                            "Expander SPIMEM Image header invalid",
                                            "Expander SPIMEM Download Image match ID doesnt match",
                                            "Expander SPIMEM Image CRC doesnt match",
                                            "Expander SPIMEM Read failed",
                                            "Expander SPIMEM Erase failed",
                                            "Expander SPIMEM Page Program Failed",
                                            "Expander SPIMEM Image verification failed",
                                            "Expander SPIMEM Image trailer verification failed"};
        t.addText(texts[b[10] <= 10 ? b[10] : 0]);
        break;
    }
    case 0x9A:
        switch (b[10]) {
        case 1: t.addText("NA"); break;
        case 2: t.addText("Expander BOOTROM flash programmed successful"); break;
        case 7: t.addText("Expander BOOTROM Erasing flash failed"); break;
        case 8: t.addText("Expander BOOTROM flash programming failed"); break;
        case 9: t.addText("Expander BOOTROM flash verification failed"); break;
        default: t.addText("Expander BOOTROM Unknown event qualifier (byte 0)"); break;
        }
        break;
    case 0x9B:
        switch (b[10]) {
        case 1: t.addText("NA"); break;
        case 2: t.addText("Expander EEPROM update successful"); break;
        case 3: t.addText("Expander EEPROM I2C read failed"); break;
        case 4: t.addText("Expander EEPROM I2C write failed"); break;
        case 5: t.addText("Expander EEPROM image verification failed"); break;
        default: t.addText("Expander EEPROM Unknown event qualifier (byte 0)"); break;
        }
        break;
    case 0x9D: {
        static const char* const texts[] = {"Unable to synchronize reset process before reset",
                                            "Unable to synchronize reset process after reset",
                                            "Other controller lost drive before reset",
                                            "The controller lost drive before reset",
                                            "Drive list was not exchanged before concluding reset process"};
        if (b[10] <= 4) t.addText(texts[b[10]]);
        break;
    }
    case 0xAA:
        t.add("TolvoEvent_%.2X | Extended Sense: Information = 0x%.2X%.2X%.2X%.2X, Command Specific = "
              "0x%.2X%.2X%.2X%.2X, FRU Code = 0x%.2X, Sense Key Specific = %.2X/%.2X/%.2X.",
              id, b[10], b[11], b[12], b[13], b[14], b[15], b[16], b[17], b[18], b[19], b[20], b[21]);
        break;
    case 0xAB:
        t.add("TolvoEvent_%.2X | RAID firmware assert: pString = 0x%.2X%.2X%.2X%.2X, pFile = 0x%.2X%.2X%.2X%.2X, "
              "Line Number = %ld.",
              id, b[13], b[12], b[11], b[10], b[17], b[16], b[15], b[14], static_cast<long>(b.le24(18)));
        break;
    default: break;
    }
}

// Writes `s` into the caller's text buffer at `at`, within its capacity.
void putText(TRANSLATED_EVENT_STRUCT* record, size_t at, const std::string& s) {
    if (record->text == nullptr || record->textLength == 0) return;
    const size_t cap = record->textLength;
    if (at >= cap) return;
    const size_t n = std::min(s.size(), cap - 1 - at);
    std::memcpy(record->text + at, s.data(), n);
    record->text[at + n] = '\0';
}

}  // namespace

const char* eventSeverityName(uint32_t severity) {
    switch (severity) {
    case EVENT_SEVERITY_CRITICAL: return "Critical";
    case EVENT_SEVERITY_WARNING: return "Warning";
    case EVENT_SEVERITY_INFORMATION: return "Information";
    default: return "Unknown";
    }
}

const char* eventSourceName(uint32_t source) {
    switch (source) {
    case EVENT_SOURCE_DRIVE: return "Drive";
    case EVENT_SOURCE_VOLUME: return "Volume";
    case EVENT_SOURCE_CONFIGURATION: return "Configuration";
    case EVENT_SOURCE_CONTROLLER: return "Controller";
    case EVENT_SOURCE_PORT: return "Port";
    case EVENT_SOURCE_PATH: return "Path";
    case EVENT_SOURCE_PROCESS: return "Process";
    case EVENT_SOURCE_GENERAL: return "General";
    default: return "Unknown";
    }
}

uint32_t LAPITranslateSpecificEventFields(const wire::EVENT_LOG_ENTRY* entry, TRANSLATED_EVENT_STRUCT* record,
                                          uint32_t flag, uint32_t productType) {
    record->rawId = entry->eventId;
    std::memcpy(record->rawPayload, entry->payload, sizeof record->rawPayload);
    record->object.valid = 0;
    Text work;
    specificText(entry->eventId, Bytes(*entry), work, *record, flag, productType);
    if (!work.empty()) {
        if (record->text == nullptr) {
            std::printf("WARNING : NULL pointer for.Message Buffer!\n");
        } else {
            const size_t at = std::strlen(record->text);
            putText(record, at, ". " + work.str());
            record->textLength = static_cast<uint32_t>(std::strlen(record->text));
        }
    }
    return 0;
}

uint32_t LAPITranslateEvent(const wire::EVENT_LOG_ENTRY* entry, TRANSLATED_EVENT_STRUCT* record, uint32_t flag,
                            uint32_t productType) {
    time_t t = 0;
    LAPIControllerTimeToSysTime(&entry->time, &t);
    record->recordKind = 2;
    record->time = static_cast<int32_t>(t);
    record->source = EVENT_SOURCE_GENERAL;
    record->severity = EVENT_SEVERITY_INFORMATION;
    record->eventId = entry->eventId;
    if (record->text == nullptr)
        std::printf("WARNING : NULL pointer for Message Buffer!\n");
    else
        putText(record, 0, "");

    const uint8_t id = entry->eventId;
    Text head;
    if (id >= EVENT_ID_FIRST && id <= EVENT_ID_LAST) {
        const EVENT_TYPE_DECODE& row = gc_lapiEventDecode[id - 1];
        head.add("0x%02X^%s", id, row.name);
        putText(record, 0, head.str());
        record->source = row.source;
        record->severity = row.severity;
        record->controllerNumber = entry->controller;
        if (entry->controller != 0) record->object.controllerIndex = static_cast<uint64_t>(entry->controller - 1);
        LAPITranslateSpecificEventFields(entry, record, flag, productType);
    } else {
        head.add("Unknown Message ID 0x%x Payload: ", id);
        for (uint8_t byte : entry->payload) head.add("0x%02X ", byte);
        putText(record, 0, head.str());
    }
    if (record->text != nullptr) record->textLength = static_cast<uint32_t>(std::strlen(record->text));
    return 0;
}

uint32_t LAPIHexToInt(const char* text) {
    if (text == nullptr) return 0;
    const char* p = text;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
    uint32_t v = 0;
    for (;; ++p) {
        const char c = *p;
        uint32_t d;
        if (c >= '0' && c <= '9') d = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f') d = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') d = static_cast<uint32_t>(c - 'A' + 10);
        else break;
        v = (v << 4) | d;
    }
    return v;
}
