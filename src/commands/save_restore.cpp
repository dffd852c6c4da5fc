// Saving the whole configuration image of a RAID system to a file and writing
// a saved image back. The file is the raw image, byte for byte.
//
// A save never leaves a partial file that looks like a save: the image goes to
// a new file beside the target, is flushed to disk and renamed into place.
// Without the overwrite flag an existing file is never replaced, even one that
// appears while the save runs; a symbolic link or anything but a regular file
// at the target is never written through or replaced.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "commands/configuration.h"
#include "commands/global.h"
#include "lapi/reads.h"
#include "lapi/snapshot_writes.h"
#include "support/file_utils.h"
#include "wire/byteorder.h"
#include "wire/vendor.h"

namespace {

constexpr uint32_t kFailed = 0xFFFFFFFFu;   // -1
constexpr const char* kSaveDefault = "raidsystemconfig.bin";
constexpr const char* kRestoreDefault = "raidsystem.cfg";

// One message line of its own.
void say(const std::string& text) { Global::append("\n%s\n", text.c_str()); }

// The directory of the running program, ending in '/', or empty when unknown.
std::string programDirectory() {
    char path[PATH_MAX + 1];
    if (getModuleName(path, sizeof path) == nullptr) return "";
    return getModulePath(path);
}

// No name: the program's directory and the default name. A name without '/':
// in the program's directory. A name with '/': as given, with the default name
// appended when it ends in '/'.
std::string resolvePath(const std::string& name, const char* defaultName) {
    if (name.empty()) return programDirectory() + defaultName;
    if (name.find('/') == std::string::npos) return programDirectory() + name;
    if (name.back() == '/') return name + defaultName;
    return name;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Moves all `size` bytes through `io` (::read or ::write), again after an
// interruption; false on an error or an early end.
template <typename Io, typename Byte>
bool transferAll(Io io, int fd, Byte* data, size_t size) {
    while (size > 0) {
        const ssize_t n = io(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Puts `path` in place from `temp`; without `overwrite` an existing entry is
// never replaced. false with errno on failure (`temp` is then still there).
bool moveIntoPlace(const std::string& temp, const std::string& path, bool overwrite) {
    if (overwrite) return ::rename(temp.c_str(), path.c_str()) == 0;
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the exclusive rename: a hard link fails on an
    // existing name just the same.
    if (::link(temp.c_str(), path.c_str()) != 0) return false;
    ::unlink(temp.c_str());
    return true;
}

void syncDirectoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

// Writes the image to `path` through a new file beside it. false when any step
// failed; nothing of the attempt is then left behind.
bool writeImageFile(const std::string& path, const uint8_t* image, size_t size, bool overwrite) {
    std::string::size_type slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "." + base + ".partial-XXXXXX";
    std::unique_ptr<char[]> pattern(new char[temp.size() + 1]);
    std::memcpy(pattern.get(), temp.c_str(), temp.size() + 1);
    Fd fd(::mkostemp(pattern.get(), O_CLOEXEC));
    if (fd.get() < 0) return false;
    temp = pattern.get();
    bool ok = ::fchmod(fd.get(), 0644) == 0 && transferAll(::write, fd.get(), image, size) && ::fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    ok = ok && moveIntoPlace(temp, path, overwrite);
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    syncDirectoryOf(path);
    return true;
}

}  // namespace

uint32_t commandConfiguration::getSaveConfig(const std::string& name, bool overwrite) {
    uint32_t status = LAPIGetControllerInfoAndDriveFailureInfo(m_index, m_work.controllerInfo.get());
    if (status != 0) return Global::report(status);
    if (isSystemArrayBusy()) {
        say("Error: Save Config failed. System busy.");
        return Global::report(kFailed);
    }
    const std::string path = resolvePath(name, kSaveDefault);
    struct stat st;
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && !overwrite) {
        say("File already exists: [" + path + "]");
        say("Use: LQCL -F -g -z saveconfig -m <ConfigFileName> [-l <ConfigFileOverwrite>]");
        return Global::report(kFailed);
    }
    uint8_t* image = m_work.config.get();
    status = LAPIGetRAIDConfigurationData(m_index, image);
    if (status != 0) {
        say("Error retrieving the configuration from the RAID System");
        return Global::report(status);
    }
    // Only a regular file is ever replaced.
    if ((exists && !S_ISREG(st.st_mode)) || !writeImageFile(path, image, kConfigSize, overwrite)) {
        say("Error writing to a file: [" + path + "]");
        return Global::report(kFailed);
    }
    say("Configuration saved successfully to: [" + path + "]");
    return Global::report(0);
}

uint32_t commandConfiguration::setRestoreConfig(const std::string& name) {
    const std::string path = resolvePath(name, kRestoreDefault);
    if (path.empty()) {
        say("Bad file name");
        return Global::report(kFailed);
    }
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        say("Error opening a file: [" + name + "]");
        return Global::report(kFailed);
    }
    // Only a whole image is sent: its size and its own length field must agree.
    if (st.st_size != static_cast<off_t>(kConfigSize)) {
        say("Error: [" + name + "] is not a saved configuration: it holds " + std::to_string(st.st_size) +
            " bytes, a saved configuration holds " + std::to_string(kConfigSize) + " bytes.");
        return Global::report(kFailed);
    }
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[kConfigSize]);
    if (!image) {
        say("Error allocating memory of: " + std::to_string(kConfigSize) + " bytes");
        return Global::report(kFailed);
    }
    if (!transferAll(::read, fd.get(), image.get(), kConfigSize)) {
        say("Error reading from a file: [" + name + "]");
        return Global::report(kFailed);
    }
    const uint32_t length = wire::loadLe32(image.get());
    if (length != kConfigSize) {
        say("Error: [" + name + "] is not a saved configuration: its length field gives " + std::to_string(length) +
            " bytes, a saved configuration holds " + std::to_string(kConfigSize) + " bytes.");
        return Global::report(kFailed);
    }
    uint32_t status = LAPISetRAIDConfigurationData(m_index, image.get());
    if (status == 0) {
        say("Configuration restored successfully from: [" + name + "]");
    } else {
        say("Error [" + std::to_string(status) + "] restoring RAID System Configuration from a file: [" + name + "]");
    }
    return Global::report(status);
}
