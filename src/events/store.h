// The event store: one append-only file of 24-byte event records per RAID
// system on the host, named by the system's WWN and product type, so that an
// event listing is complete across runs. This module owns the file: where it
// lies, how it is locked, merged into, rebuilt, read, counted and cleared.
// Reading the controllers' logs is the library API's part.
//
// The store is the administrator's only complete history. Every change of it
// (merge, rebuild, clear, repair, migration) runs under an exclusive lock on a
// lock file beside it; a rebuild or a clear writes a new file and renames it
// over the old one; a merge appends its records in one write and takes them
// back when the write fails; a store that ends in a partial record keeps its
// whole records and has the partial tail moved to a file beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wire/event.h"

// Table size of the per-system event tables: the discovered systems (0-124)
// and the out-of-band system (191).
inline constexpr int EVENT_SYSTEM_SLOTS = 192;
inline constexpr size_t EVENT_DIRECTORY_MAX = 511;
inline constexpr size_t EVENT_RECORD_SIZE = sizeof(wire::EVENT_LOG_ENTRY);

// Per-system tables of the event module, indexed by RAID system index.
extern uint64_t raidSystemToWWNMap[EVENT_SYSTEM_SLOTS];
extern uint32_t raidSystemToProductTypeMap[EVENT_SYSTEM_SLOTS];
extern uint8_t RAIDSystemStartLatest[EVENT_SYSTEM_SLOTS];
extern int64_t previouscontrollertime[EVENT_SYSTEM_SLOTS];

// The pending patch of the next "Configuration Changed" entry a merge writes.
struct CONFIG_EVENT_PATCH {
    uint8_t state;          // 0xF1 armed, 0xF0 used, 0 never armed
    uint8_t kind;
    uint8_t operation;
    uint16_t number;
    uint16_t secondNumber;
    uint32_t valueLow;
    uint32_t valueHigh;
};
extern CONFIG_EVENT_PATCH configEventPatch;

// Arms the patch; returns the value's low word.
uint32_t LAPIPatchEventData(uint8_t kind, uint8_t operation, uint16_t number, uint16_t secondNumber,
                            uint32_t valueLow, uint32_t valueHigh);
// Applies an armed patch to a "Configuration Changed" entry (once).
void LAPIPatchEvent(wire::EVENT_LOG_ENTRY* entry);

// True when `index` has a slot in the event tables.
bool eventSystemIndexValid(int index);

// The directory of the store files: $PEGASUS_HOME/bin (one '/' added unless
// the value ends in '/' or '\'), or "." when it is unset or empty. Computed
// once per process; empty (with a message on standard error) when it would be
// longer than 511 characters.
const std::string& LAPIEventDirectory();
// Forgets the computed directory (for tests that change PEGASUS_HOME).
void LAPIResetEventDirectory();

namespace events {

// The two names of a system's store: by WWN and product type, and the older
// one by index. Empty when the directory cannot be formed.
std::string storeName(int index);
std::string olderStoreName(int index);

// Exclusive lock on a system's store for one fetch, merge or clear; nested
// locks of one process on the same system are free. `held()` is false when
// the lock file cannot be opened or locked.
class StoreLock {
public:
    explicit StoreLock(int index);
    ~StoreLock();
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return held_; }

private:
    int index_;
    bool held_ = false;
};

// Status codes of the store (the library API's codes).
inline constexpr uint32_t kOk = 0;
inline constexpr uint32_t kFileError = 1006;
inline constexpr uint32_t kEndOfData = 1008;
inline constexpr uint32_t kReadFailed = 1009;

// The path of the system's store as it must be used now: the name by WWN and
// product type, or the older index name, copying the older file's records
// into the newer name the first time the product type is known. Empty when
// no name can be formed.
std::string resolveStore(int index);

// Number of whole records in the store; 0 when it cannot be read. A store
// that ends in a partial record is repaired first. Returns 0 or 1006 (a file
// that is there but is not a regular file).
uint32_t countRecords(int index, uint32_t* count);
// Reads record `n`: 0, 1006 (cannot open), 1008 (past the end), 1009 (short).
uint32_t readRecord(int index, uint32_t n, wire::EVENT_LOG_ENTRY* out);
// Replaces the whole store with `records` (new file, then rename): 0 or 1006.
uint32_t replaceStore(int index, const wire::EVENT_LOG_ENTRY* records, size_t n);
// Appends `records` in one write; on failure the store is left as it was: 0 or 1006.
uint32_t appendRecords(int index, const wire::EVENT_LOG_ENTRY* records, size_t n);

// The overlap search over the store file `path`: where the newest stored
// records of `controller` (up to three, in order) appear in the log's first
// `entries` entries. 0 with the index of the log entry equal to the newest
// stored record; 1008 when there is nothing to compare or no overlap; 1006
// when the store cannot be read.
uint32_t findOverlap(const std::string& path, const wire::EVENT_LOG_ENTRY* log, uint32_t entries,
                     uint8_t controller, uint32_t* found);
// The same over stored records already in memory (oldest first).
uint32_t findOverlapIn(const wire::EVENT_LOG_ENTRY* stored, size_t storedCount, const wire::EVENT_LOG_ENTRY* log,
                       uint32_t entries, uint8_t controller, uint32_t* found);

// Host time of a controller time.
int64_t hostTime(const wire::CLOCK_STRUCT& clock);

// The merge of a rebuild: raw times, ties to controller 1; byte 8 set.
std::vector<wire::EVENT_LOG_ENTRY> mergeInitial(const wire::EVENT_LOG_ENTRY* a, uint32_t na,
                                                const wire::EVENT_LOG_ENTRY* b, uint32_t nb);
// The merge of a latest fetch: controller 2's times moved by `skew`, ties to
// controller 1; byte 8 set and the patch applied.
std::vector<wire::EVENT_LOG_ENTRY> mergeLatest(const wire::EVENT_LOG_ENTRY* a, uint32_t na,
                                               const wire::EVENT_LOG_ENTRY* b, uint32_t nb, int64_t skew);

}  // namespace events
