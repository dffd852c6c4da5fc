// Persistent reservations of one path: the requests go to the library as
// given, and the library prints what the logical unit answered.
#include "commands/configuration.h"
#include "commands/global.h"
#include "lapi/reservations.h"
#include "wire/byteorder.h"

namespace {

PR_IN_PATH pathOf(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun) {
    return {static_cast<uint8_t>(ignored), static_cast<uint8_t>(channel), static_cast<uint8_t>(target),
            static_cast<uint8_t>(lun)};
}

PR_OUT_REQUEST outRequest(const PR_IN_PATH& path, uint32_t type, uint64_t key, uint64_t serviceActionKey) {
    PR_OUT_REQUEST q{};
    q.path = path;
    q.type = static_cast<uint8_t>(type);
    wire::putBe64(q.key, key);
    wire::putBe64(q.serviceActionKey, serviceActionKey);
    return q;
}

}  // namespace

uint32_t commandConfiguration::prReadKeys(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun) {
    PR_IN_PATH path = pathOf(ignored, channel, target, lun);
    return Global::report(LAPIPersistentReservationInReadKeys(&path));
}

uint32_t commandConfiguration::prReadReservation(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun) {
    PR_IN_PATH path = pathOf(ignored, channel, target, lun);
    return Global::report(LAPIPersistentReservationInReadReservation(&path));
}

uint32_t commandConfiguration::prReportCapabilities(uint32_t ignored, uint32_t channel, uint32_t target,
                                                    uint32_t lun) {
    PR_IN_PATH path = pathOf(ignored, channel, target, lun);
    return Global::report(LAPIPersistentReservationInReportCapabilities(&path));
}

uint32_t commandConfiguration::prReadFullStatus(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun) {
    PR_IN_PATH path = pathOf(ignored, channel, target, lun);
    return Global::report(LAPIPersistentReservationInReadFullStatus(&path));
}

uint32_t commandConfiguration::prClear(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun,
                                       uint64_t key) {
    PR_OUT_REQUEST q = outRequest(pathOf(ignored, channel, target, lun), 0, key, 0);
    return LAPIPersistentReservationOutClear(&q);
}

uint32_t commandConfiguration::prRelease(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun,
                                         uint32_t type, uint64_t key) {
    PR_OUT_REQUEST q = outRequest(pathOf(ignored, channel, target, lun), type, key, 0);
    return LAPIPersistentReservationOutRelease(&q);
}

uint32_t commandConfiguration::prReserve(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun,
                                         uint32_t type, uint64_t key) {
    PR_OUT_REQUEST q = outRequest(pathOf(ignored, channel, target, lun), type, key, 0);
    return LAPIPersistentReservationOutReserve(&q);
}

uint32_t commandConfiguration::prRegister(uint32_t ignored, uint32_t channel, uint32_t target, uint32_t lun,
                                          uint64_t key, uint64_t serviceActionKey) {
    PR_OUT_REQUEST q = outRequest(pathOf(ignored, channel, target, lun), 0, key, serviceActionKey);
    return Global::report(LAPIPersistentReservationOutRegister(&q));
}
