#include "events/store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "scsi/tolvo.h"

uint64_t raidSystemToWWNMap[EVENT_SYSTEM_SLOTS];
uint32_t raidSystemToProductTypeMap[EVENT_SYSTEM_SLOTS];
uint8_t RAIDSystemStartLatest[EVENT_SYSTEM_SLOTS];
int64_t previouscontrollertime[EVENT_SYSTEM_SLOTS];
CONFIG_EVENT_PATCH configEventPatch;

namespace {

constexpr uint8_t kPatchArmed = 0xF1;
constexpr uint8_t kPatchUsed = 0xF0;
constexpr uint8_t kConfigurationChanged = 0x2F;
constexpr size_t kMaxCompared = 3;
constexpr size_t kBackwardBlock = 2048;   // records read at a time: the backward walk, a listing

std::string g_directory;
bool g_directoryKnown = false;

// Descriptor that closes itself.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

bool writeAll(int fd, const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool readAt(int fd, void* data, size_t n, off_t offset) {
    auto* p = static_cast<uint8_t*>(data);
    while (n > 0) {
        ssize_t r = ::pread(fd, p, n, offset);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
        offset += r;
    }
    return true;
}

void notRegular(const std::string& path) {
    std::fprintf(stderr, "Error: the event store %s is not a regular file.\n", path.c_str());
}

// Opens an existing store for reading; -1 when it is missing or unusable
// (`unusable` is set when it is there but not a regular file).
int openForReading(const std::string& path, bool* unusable = nullptr) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ELOOP) {
            notRegular(path);
            if (unusable != nullptr) *unusable = true;
        }
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        notRegular(path);
        if (unusable != nullptr) *unusable = true;
        return -1;
    }
    return fd;
}

bool pathPresent(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool presentButNotRegular(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

void syncDirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    Fd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.ok()) ::fsync(d.get());
}

// The read descriptor kept across the reads of one listing, with the block
// of records last read through it; dropped whenever this process changes a
// store.
struct Reader {
    std::string path;
    Fd fd;
    size_t first = 0;                          // record number of block[0]
    std::vector<wire::EVENT_LOG_ENTRY> block;
} g_reader;

void dropReader() {
    g_reader.fd.reset();
    g_reader.path.clear();
    g_reader.block.clear();
}

// The last resolved store name: once resolved, the name of a system stays the
// same for the process (a migration moves it to the newer name for good).
struct Resolved {
    int index = -1;
    uint64_t wwn = 0;
    uint32_t productType = 0;
    std::string path;
} g_resolved;

// Nested locks of this process.
int g_lockDepth[EVENT_SYSTEM_SLOTS];
int g_lockFd[EVENT_SYSTEM_SLOTS];

std::string lockName(int index) {
    const std::string& dir = LAPIEventDirectory();
    if (dir.empty()) return {};
    char name[64];
    std::snprintf(name, sizeof name, "/LAPIEvents_%llx.lock",
                  static_cast<unsigned long long>(raidSystemToWWNMap[index]));
    return dir + name;
}

uint32_t appendTo(const std::string& path, const wire::EVENT_LOG_ENTRY* records, size_t n) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644));
    if (!fd.ok()) {
        if (errno == ELOOP) notRegular(path);
        return events::kFileError;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        notRegular(path);
        return events::kFileError;
    }
    if (n == 0) return events::kOk;
    if (writeAll(fd.get(), records, n * EVENT_RECORD_SIZE) && ::fdatasync(fd.get()) == 0) return events::kOk;
    // Take back whatever part of the records reached the file.
    if (::ftruncate(fd.get(), st.st_size) == 0) ::fdatasync(fd.get());
    return events::kFileError;
}


// The tail index, "<store>.last": what the overlap search needs from the end
// of the store (the newest three records of each controller), with the
// identity of the store it was taken from (inode, size, modification time and
// last record) and a checksum. It lets a merge read a few records whatever the
// store's size, even when one controller's newest records lie far back (a
// controller that logged nothing for long, or a system with one controller).
// It is only a shortcut: when it is missing, torn or not of the store as it
// is now, the search walks the store backwards, and the next change of the
// store (under its lock) writes the index again.
struct TailIndex {
    char magic[8];
    uint64_t inode;
    uint64_t size;
    int64_t mtimeSec;
    int64_t mtimeNsec;
    wire::EVENT_LOG_ENTRY last;
    uint32_t count[2];
    wire::EVENT_LOG_ENTRY newest[2][kMaxCompared];   // per controller, newest first
    uint64_t checksum;
};
static_assert(sizeof(TailIndex) == 224);
constexpr char kTailMagic[8] = {'L', 'Q', 'E', 'V', 'T', 'A', 'I', 'L'};

std::string tailName(const std::string& path) { return path + ".last"; }

uint64_t tailChecksum(const TailIndex& t) {
    uint64_t h = 0xcbf29ce484222325ull;   // FNV-1a
    const auto* p = reinterpret_cast<const uint8_t*>(&t);
    for (size_t i = 0; i < offsetof(TailIndex, checksum); ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

// Takes `records` (oldest first) in as the newest of their controllers.
void takeNewest(TailIndex& t, const wire::EVENT_LOG_ENTRY* records, size_t n) {
    for (size_t k = 0; k < n; ++k) {
        const uint8_t c = records[k].controller;
        if (c != 1 && c != 2) continue;
        auto& list = t.newest[c - 1];
        std::memmove(&list[1], &list[0], sizeof list[0] * (kMaxCompared - 1));
        list[0] = records[k];
        t.count[c - 1] = std::min<uint32_t>(t.count[c - 1] + 1, kMaxCompared);
    }
    if (n > 0) t.last = records[n - 1];
}

void identify(TailIndex& t, const struct stat& st) {
    std::memcpy(t.magic, kTailMagic, sizeof t.magic);
    t.inode = static_cast<uint64_t>(st.st_ino);
    t.size = static_cast<uint64_t>(st.st_size);
    t.mtimeSec = st.st_mtim.tv_sec;
    t.mtimeNsec = st.st_mtim.tv_nsec;
}

// The index of the store open at `fd` (`st` its status); false when there is
// none that is of this store as it is now.
bool loadTail(const std::string& path, int fd, const struct stat& st, TailIndex* out) {
    Fd in(::open(tailName(path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    TailIndex t;
    if (!in.ok() || !readAt(in.get(), &t, sizeof t, 0)) return false;
    TailIndex now{};
    identify(now, st);
    if (std::memcmp(t.magic, kTailMagic, sizeof t.magic) != 0 || t.checksum != tailChecksum(t) ||
        t.inode != now.inode || t.size != now.size || t.mtimeSec != now.mtimeSec || t.mtimeNsec != now.mtimeNsec ||
        t.size % EVENT_RECORD_SIZE != 0 || t.count[0] > kMaxCompared || t.count[1] > kMaxCompared)
        return false;
    if (t.size > 0) {
        wire::EVENT_LOG_ENTRY last;
        if (!readAt(fd, &last, sizeof last, static_cast<off_t>(t.size - EVENT_RECORD_SIZE)) ||
            std::memcmp(&last, &t.last, sizeof last) != 0)
            return false;
    }
    *out = t;
    return true;
}

// Walks the store backwards from its last record, a block at a time, until
// `want` records of `controller` (0: of both controllers) are collected or
// the start is reached. False when the store cannot be read.
bool walkBack(int fd, size_t records, uint8_t controller, size_t want, TailIndex* t) {
    std::unique_ptr<wire::EVENT_LOG_ENTRY[]> block;
    auto done = [&] {
        if (controller != 0) return t->count[controller - 1] >= want;
        return t->count[0] >= want && t->count[1] >= want;
    };
    size_t end = records;
    while (end > 0 && !done()) {
        const size_t begin = end > kBackwardBlock ? end - kBackwardBlock : 0;
        const size_t n = end - begin;
        if (!block) block = std::make_unique<wire::EVENT_LOG_ENTRY[]>(kBackwardBlock);
        if (!readAt(fd, block.get(), n * EVENT_RECORD_SIZE, static_cast<off_t>(begin * EVENT_RECORD_SIZE)))
            return false;
        if (end == records) t->last = block[n - 1];
        for (size_t k = n; k > 0 && !done(); --k) {
            const uint8_t c = block[k - 1].controller;
            if ((c == 1 || c == 2) && (controller == 0 || c == controller) && t->count[c - 1] < want)
                t->newest[c - 1][t->count[c - 1]++] = block[k - 1];
        }
        end = begin;
    }
    return true;
}

// Writes the index of the store at `path` as it is now (`t` holds its records).
void saveTail(const std::string& path, TailIndex t) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    identify(t, st);
    t.checksum = tailChecksum(t);
    Fd out(::open(tailName(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644));
    if (out.ok()) writeAll(out.get(), &t, sizeof t);
}

// Copies the whole records of the older store `older` into a new store at
// `target` (the first use of a system whose product type is known).
bool migrate(const std::string& older, const std::string& target) {
    Fd in(openForReading(older));
    if (!in.ok()) return false;
    struct stat st;
    if (::fstat(in.get(), &st) != 0) return false;
    const size_t whole = static_cast<size_t>(st.st_size) / EVENT_RECORD_SIZE * EVENT_RECORD_SIZE;
    std::vector<uint8_t> bytes(whole);
    if (whole > 0 && !readAt(in.get(), bytes.data(), whole, 0)) return false;
    return appendTo(target, reinterpret_cast<const wire::EVENT_LOG_ENTRY*>(bytes.data()), whole / EVENT_RECORD_SIZE) ==
           events::kOk;
}

}  // namespace

bool eventSystemIndexValid(int index) { return index >= 0 && index < EVENT_SYSTEM_SLOTS; }

const std::string& LAPIEventDirectory() {
    if (!g_directoryKnown) {
        g_directoryKnown = true;
        const char* home = std::getenv("PEGASUS_HOME");
        std::string dir = ".";
        if (home != nullptr && home[0] != '\0') {
            dir = home;
            const char last = dir.back();
            dir += (last == '/' || last == '\\') ? "bin" : "/bin";
        }
        if (dir.size() > EVENT_DIRECTORY_MAX) {
            std::fprintf(stderr,
                         "Error: PEGASUS_HOME is too long: the event store directory may have at most %zu "
                         "characters.\n",
                         EVENT_DIRECTORY_MAX);
            dir.clear();
        }
        g_directory = dir;
    }
    return g_directory;
}

void LAPIResetEventDirectory() {
    g_resolved = Resolved{};
    g_directoryKnown = false;
    g_directory.clear();
    dropReader();
}

uint32_t LAPIPatchEventData(uint8_t kind, uint8_t operation, uint16_t number, uint16_t secondNumber,
                            uint32_t valueLow, uint32_t valueHigh) {
    configEventPatch = {kPatchArmed, kind, operation, number, secondNumber, valueLow, valueHigh};
    return valueLow;
}

void LAPIPatchEvent(wire::EVENT_LOG_ENTRY* entry) {
    if (entry == nullptr || configEventPatch.state != kPatchArmed || entry->eventId != kConfigurationChanged) return;
    uint8_t* p = entry->payload;
    p[0] = configEventPatch.kind;
    p[1] = configEventPatch.operation;
    p[2] = static_cast<uint8_t>(configEventPatch.number);
    p[3] = static_cast<uint8_t>(configEventPatch.number >> 8);
    p[4] = static_cast<uint8_t>(configEventPatch.secondNumber);
    p[5] = static_cast<uint8_t>(configEventPatch.secondNumber >> 8);
    for (int i = 0; i < 4; ++i) {
        p[6 + i] = static_cast<uint8_t>(configEventPatch.valueLow >> (8 * i));
        p[10 + i] = static_cast<uint8_t>(configEventPatch.valueHigh >> (8 * i));
    }
    configEventPatch.state = kPatchUsed;
}

namespace events {

std::string resolveName(int index);

std::string storeName(int index) {
    const std::string& dir = LAPIEventDirectory();
    if (dir.empty() || !eventSystemIndexValid(index)) return {};
    char name[96];
    std::snprintf(name, sizeof name, "/%s_%llx_%8.8lX.bin", "LAPIEvents",
                  static_cast<unsigned long long>(raidSystemToWWNMap[index]),
                  static_cast<unsigned long>(raidSystemToProductTypeMap[index]));
    return dir + name;
}

std::string olderStoreName(int index) {
    const std::string& dir = LAPIEventDirectory();
    if (dir.empty() || !eventSystemIndexValid(index)) return {};
    char name[96];
    std::snprintf(name, sizeof name, "/%s_%u_%llx.bin", "LAPIEvents", static_cast<unsigned>(index) & 0xFFFF,
                  static_cast<unsigned long long>(raidSystemToWWNMap[index]));
    return dir + name;
}

StoreLock::StoreLock(int index) : index_(index) {
    if (!eventSystemIndexValid(index)) return;
    if (g_lockDepth[index] > 0) {
        ++g_lockDepth[index];
        held_ = true;
        return;
    }
    const std::string name = lockName(index);
    if (name.empty()) return;
    int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return;
    struct stat st;
    int rc;
    do rc = ::flock(fd, LOCK_EX);
    while (rc != 0 && errno == EINTR);
    if (rc != 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    g_lockFd[index] = fd;
    g_lockDepth[index] = 1;
    held_ = true;
}

StoreLock::~StoreLock() {
    if (!held_) return;
    if (--g_lockDepth[index_] == 0) {
        ::close(g_lockFd[index_]);   // releases the lock
        g_lockFd[index_] = -1;
    }
}

std::string resolveStore(int index) {
    if (!eventSystemIndexValid(index)) return {};
    if (g_resolved.index == index && g_resolved.wwn == raidSystemToWWNMap[index] &&
        g_resolved.productType == raidSystemToProductTypeMap[index])
        return g_resolved.path;
    std::string path = resolveName(index);
    if (!path.empty() && pathPresent(path))
        g_resolved = {index, raidSystemToWWNMap[index], raidSystemToProductTypeMap[index], path};
    return path;
}

std::string resolveName(int index) {
    const bool typed = raidSystemToProductTypeMap[index] != 0;
    const std::string newer = storeName(index);
    const std::string older = olderStoreName(index);
    if (newer.empty() || older.empty()) return {};
    if (typed && pathPresent(newer)) return newer;
    if (!pathPresent(older)) return typed ? newer : older;
    if (!typed) return older;
    // The first use of the system with its product type known: its records
    // go from the older index name into the newer name; the older file stays.
    StoreLock lock(index);
    if (!lock.held()) return newer;
    if (!pathPresent(newer)) migrate(older, newer);
    return newer;
}

namespace {

// Moves the partial record at the end of the store aside (under the lock),
// keeping its whole records. Returns the store size afterwards in records.
size_t repairTornTail(int index, const std::string& path, size_t size) {
    StoreLock lock(index);
    Fd fd(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!lock.held() || !fd.ok() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return size / EVENT_RECORD_SIZE;
    const size_t now = static_cast<size_t>(st.st_size);
    const size_t whole = now / EVENT_RECORD_SIZE * EVENT_RECORD_SIZE;
    const size_t tail = now - whole;
    if (tail == 0) return whole / EVENT_RECORD_SIZE;   // another process repaired it
    uint8_t bytes[EVENT_RECORD_SIZE];
    const std::string aside = path + ".torn";
    bool moved = readAt(fd.get(), bytes, tail, static_cast<off_t>(whole));
    if (moved) {
        Fd out(::open(aside.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644));
        moved = out.ok() && writeAll(out.get(), bytes, tail) && ::fsync(out.get()) == 0;
    }
    if (moved) moved = ::ftruncate(fd.get(), static_cast<off_t>(whole)) == 0 && ::fsync(fd.get()) == 0;
    dropReader();
    if (moved)
        std::fprintf(stderr,
                     "Warning: the event store %s ended in a partial record; its last %zu bytes were moved to %s.\n",
                     path.c_str(), tail, aside.c_str());
    else
        std::fprintf(stderr,
                     "Warning: the event store %s ends in a partial record of %zu bytes; only its whole records are "
                     "used.\n",
                     path.c_str(), tail);
    return whole / EVENT_RECORD_SIZE;
}

// The whole records of the store open at `fd`, a torn tail repaired first
// (`repaired` tells when that happened); false when its size cannot be read.
bool wholeRecords(int index, const std::string& path, int fd, size_t* records, bool* repaired) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    const auto size = static_cast<size_t>(st.st_size);
    *repaired = size % EVENT_RECORD_SIZE != 0;
    *records = *repaired ? repairTornTail(index, path, size) : size / EVENT_RECORD_SIZE;
    return true;
}

}  // namespace

uint32_t countRecords(int index, uint32_t* count) {
    *count = 0;
    const std::string path = resolveStore(index);
    if (path.empty()) return kOk;
    bool unusable = false;
    Fd fd(openForReading(path, &unusable));
    if (!fd.ok()) return unusable ? kFileError : kOk;
    size_t records = 0;
    bool repaired = false;
    if (!wholeRecords(index, path, fd.get(), &records, &repaired)) return kOk;
    *count = static_cast<uint32_t>(std::min<size_t>(records, UINT32_MAX));
    return kOk;
}

uint32_t readRecord(int index, uint32_t n, wire::EVENT_LOG_ENTRY* out) {
    const std::string path = resolveStore(index);
    if (path.empty()) return kFileError;
    // The reader stays open between calls; a repair of the tail closes it.
    auto reader = [&] {
        if (g_reader.fd.ok() && g_reader.path == path) return true;
        dropReader();
        g_reader.fd.reset(openForReading(path));
        g_reader.path = path;
        return g_reader.fd.ok();
    };
    // A listing reads the records in order: they come a block at a time.
    if (g_reader.fd.ok() && g_reader.path == path && n >= g_reader.first && n - g_reader.first < g_reader.block.size()) {
        *out = g_reader.block[n - g_reader.first];
        return kOk;
    }
    if (!reader()) return kFileError;
    size_t records = 0;
    bool repaired = false;
    if (!wholeRecords(index, path, g_reader.fd.get(), &records, &repaired)) return kReadFailed;
    if (repaired && !reader()) return kFileError;
    if (n >= records) return kEndOfData;
    g_reader.block.resize(std::min<size_t>(kBackwardBlock, records - n));
    if (!readAt(g_reader.fd.get(), g_reader.block.data(), g_reader.block.size() * EVENT_RECORD_SIZE,
                static_cast<off_t>(n) * static_cast<off_t>(EVENT_RECORD_SIZE))) {
        g_reader.block.clear();
        return kReadFailed;
    }
    g_reader.first = n;
    *out = g_reader.block[0];
    return kOk;
}

uint32_t replaceStore(int index, const wire::EVENT_LOG_ENTRY* records, size_t n) {
    const std::string path = resolveStore(index);
    if (path.empty()) return kFileError;
    StoreLock lock(index);
    if (!lock.held()) return kFileError;
    if (presentButNotRegular(path)) {
        notRegular(path);
        return kFileError;
    }
    dropReader();
    const std::string fresh = path + ".new";
    ::unlink(fresh.c_str());   // left by a process that died while rebuilding
    Fd fd(::open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    bool ok = fd.ok() && writeAll(fd.get(), records, n * EVENT_RECORD_SIZE) && ::fsync(fd.get()) == 0;
    fd.reset();
    if (ok) ok = ::rename(fresh.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(fresh.c_str());
        return kFileError;
    }
    syncDirectoryOf(path);
    TailIndex tail{};
    takeNewest(tail, records, n);
    saveTail(path, tail);
    return kOk;
}


uint32_t appendRecords(int index, const wire::EVENT_LOG_ENTRY* records, size_t n) {
    const std::string path = resolveStore(index);
    if (path.empty()) return kFileError;
    StoreLock lock(index);
    if (!lock.held()) return kFileError;
    dropReader();
    // The index as it stands before the append (walked for when there is none).
    TailIndex tail{};
    bool known = false;
    {
        Fd fd(openForReading(path));
        struct stat st;
        if (fd.ok() && ::fstat(fd.get(), &st) == 0 && st.st_size % EVENT_RECORD_SIZE == 0)
            known = loadTail(path, fd.get(), st, &tail) ||
                    walkBack(fd.get(), static_cast<size_t>(st.st_size) / EVENT_RECORD_SIZE, 0, kMaxCompared, &tail);
    }
    const uint32_t status = appendTo(path, records, n);
    if (status == kOk && known) {
        takeNewest(tail, records, n);
        saveTail(path, tail);
    }
    return status;
}

namespace {

bool sameEvent(const wire::EVENT_LOG_ENTRY& a, const wire::EVENT_LOG_ENTRY& b) {
    if (std::memcmp(&a.time, &b.time, sizeof a.time) != 0 || a.eventId != b.eventId) return false;
    if (a.eventId == kConfigurationChanged) return true;   // the stored copy may carry a patch
    return std::memcmp(a.payload, b.payload, 8) == 0;
}

// The search over collected records S[0] (newest) .. S[m-1].
uint32_t search(const wire::EVENT_LOG_ENTRY* s, size_t m, const wire::EVENT_LOG_ENTRY* log, uint32_t entries,
                uint32_t* found) {
    while (m > 0) {
        bool anyEqual = false;
        size_t j = 0;
        for (int64_t i = static_cast<int64_t>(entries) - 1; i >= 0; --i) {
            if (sameEvent(log[i], s[j])) {
                anyEqual = true;
                if (j == m - 1) {
                    *found = static_cast<uint32_t>(i + static_cast<int64_t>(j));
                    return kOk;
                }
                ++j;
            } else {
                i += static_cast<int64_t>(j);
                j = 0;
            }
        }
        if (!anyEqual) return kEndOfData;
        --m;
    }
    return kEndOfData;
}

}  // namespace

uint32_t findOverlapIn(const wire::EVENT_LOG_ENTRY* stored, size_t storedCount, const wire::EVENT_LOG_ENTRY* log,
                       uint32_t entries, uint8_t controller, uint32_t* found) {
    if (entries == 0) return kEndOfData;
    const size_t m = std::min<size_t>({kMaxCompared, entries, storedCount});
    wire::EVENT_LOG_ENTRY s[kMaxCompared];
    size_t collected = 0;
    for (size_t k = storedCount; k > 0 && collected < m; --k)
        if (stored[k - 1].controller == controller) s[collected++] = stored[k - 1];
    return search(s, collected, log, entries, found);
}

uint32_t findOverlap(const std::string& path, const wire::EVENT_LOG_ENTRY* log, uint32_t entries, uint8_t controller,
                     uint32_t* found) {
    if (entries == 0) return kEndOfData;
    Fd fd(openForReading(path));
    if (!fd.ok()) return kFileError;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return kFileError;
    const size_t storedCount = static_cast<size_t>(st.st_size) / EVENT_RECORD_SIZE;
    const size_t m = std::min<size_t>({kMaxCompared, entries, storedCount});
    if (controller != 1 && controller != 2) return search(nullptr, 0, log, entries, found);
    TailIndex tail{};
    if (!loadTail(path, fd.get(), st, &tail) && !walkBack(fd.get(), storedCount, controller, m, &tail))
        return kFileError;
    const size_t collected = std::min<size_t>(m, tail.count[controller - 1]);
    return search(tail.newest[controller - 1], collected, log, entries, found);
}

int64_t hostTime(const wire::CLOCK_STRUCT& clock) {
    time_t t = 0;
    LAPIControllerTimeToSysTime(&clock, &t);
    return static_cast<int64_t>(t);
}

namespace {

wire::EVENT_LOG_ENTRY stamped(const wire::EVENT_LOG_ENTRY& e, uint8_t controller) {
    wire::EVENT_LOG_ENTRY out = e;
    out.controller = controller;
    return out;
}

}  // namespace

std::vector<wire::EVENT_LOG_ENTRY> mergeInitial(const wire::EVENT_LOG_ENTRY* a, uint32_t na,
                                                const wire::EVENT_LOG_ENTRY* b, uint32_t nb) {
    std::vector<wire::EVENT_LOG_ENTRY> out;
    out.reserve(static_cast<size_t>(na) + nb);
    uint32_t i = 0, j = 0;
    while (i < na && j < nb) {
        if (hostTime(a[i].time) <= hostTime(b[j].time))
            out.push_back(stamped(a[i++], 1));
        else
            out.push_back(stamped(b[j++], 2));
    }
    while (i < na) out.push_back(stamped(a[i++], 1));
    while (j < nb) out.push_back(stamped(b[j++], 2));
    return out;
}

std::vector<wire::EVENT_LOG_ENTRY> mergeLatest(const wire::EVENT_LOG_ENTRY* a, uint32_t na,
                                               const wire::EVENT_LOG_ENTRY* b, uint32_t nb, int64_t skew) {
    std::vector<wire::EVENT_LOG_ENTRY> out;
    out.reserve(static_cast<size_t>(na) + nb);
    auto put = [&](const wire::EVENT_LOG_ENTRY& e, uint8_t controller) {
        out.push_back(stamped(e, controller));
        LAPIPatchEvent(&out.back());
    };
    uint32_t i = 0, j = 0;
    while (i < na && j < nb) {
        if (hostTime(b[j].time) + skew >= hostTime(a[i].time))
            put(a[i++], 1);
        else
            put(b[j++], 2);
    }
    while (i < na) put(a[i++], 1);
    while (j < nb) put(b[j++], 2);
    return out;
}

}  // namespace events
