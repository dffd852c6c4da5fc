#include "net/update.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <regex.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "net/http.h"
#include "support/sleep.h"

namespace {

constexpr size_t kStaticAt = 4;
constexpr size_t kMacAt = 107;
constexpr size_t kMarkerAt = 125;
constexpr size_t kDhcpAt = 126;
constexpr size_t kSourceAt = 144;
constexpr uint8_t kMarker = 0xAA;

std::array<std::array<uint8_t, 6>, NB_KNOWN_MACS> g_knownMacs{};
std::string g_interfaces;
int g_useNBPort = 0;
int g_supressDisplay = 0;

// The two default credentials of the about page: "user:password" in Base64.
constexpr const char* kDefaultCredentials[2] = {"YWRtaW46bmV0YnVybmVy", "YWRtaW46dG9sdm8x"};

uint32_t at(const uint8_t* r, size_t offset) {
    uint32_t v;
    std::memcpy(&v, r + offset, 4);
    return v;
}

const char* requestMagic(int kind) { return kind == NB_KIND_NETBURNER ? "BURN" : "EQMA"; }
const char* replyMagic(int kind) { return kind == NB_KIND_NETBURNER ? "NETB" : "EQMB"; }
uint16_t portOf(int kind) { return kind == NB_KIND_NETBURNER ? UDP_NETBURNERID_PORT : UDP_SERVICE_PORT; }

std::string dotted(uint32_t address) {
    const auto* b = reinterpret_cast<const uint8_t*>(&address);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
    return text;
}

struct Socket {
    int fd;
    explicit Socket(int f) : fd(f) {}
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

bool nbParseReply(const uint8_t* datagram, size_t length, int kind, uint32_t sourceAddress, NbRecord* record) {
    if (length < 4 || std::memcmp(datagram, replyMagic(kind), 4) != 0) return false;
    record->fill(0);
    if (length > 5) std::memcpy(record->data(), datagram + 5, std::min(length - 5, NB_RECORD_SIZE));
    std::memcpy(record->data() + kSourceAt, &sourceAddress, 4);
    return true;
}

bool ConnectedDirectly(const uint8_t* r) {
    const uint32_t source = at(r, kSourceAt);
    if (at(r, kStaticAt) == source) return true;
    return at(r, kDhcpAt) == source || r[kMarkerAt] != kMarker;
}

bool DHCPValid(const uint8_t* r) {
    if (ConnectedDirectly(r) && at(r, kSourceAt) > 1) return true;
    return r[kDhcpAt] != 0 || r[kDhcpAt + 1] != 0 || r[kDhcpAt + 2] != 0 || r[kDhcpAt + 3] != 0;
}

bool DetermineValidIP(const uint8_t* r, uint32_t* address) {
    if (address == nullptr) {
        std::fprintf(stderr, "Error: null pIP\n");
        return false;
    }
    if (ConnectedDirectly(r)) {
        *address = at(r, kSourceAt);
        return true;
    }
    if (at(r, kStaticAt) == 0) {
        if (!DHCPValid(r)) return false;
        *address = at(r, kDhcpAt);
        return true;
    }
    *address = at(r, kStaticAt);
    return true;
}

std::string nbListing(const std::vector<NbRecord>& arrivals, int kind, int* count) {
    // The newest reply comes first; an older one with the same MAC replaces it.
    std::map<std::string, std::string> byMac;
    for (auto it = arrivals.rbegin(); it != arrivals.rend(); ++it) {
        uint32_t address = 0;
        if (!DetermineValidIP(it->data(), &address)) continue;
        byMac[IP2Mac(it->data() + kMacAt)] = dotted(address);
    }
    std::string out;
    int n = 0;
    for (const auto& [mac, address] : byMac) {
        char line[128];
        std::snprintf(line, sizeof line, "[%2d]  %-16s%21s%s\n\n", ++n, address.c_str(), ("[" + mac + "]").c_str(),
                      kind == NB_KIND_NETBURNER ? "- eQM Not Loaded" : "");
        out += line;
    }
    *count = n;
    return out;
}

int findDevice(int timeoutMs, const char* target, std::vector<NbRecord>* records, int kind, int broadcast) {
    Socket s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (s.fd < 0) {
        std::perror("Error: socket failed\n");
        return 0;
    }
    int on = 1;
    if (setsockopt(s.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        std::perror("Error: set socket option failed\n");
        std::exit(1);
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(portOf(kind));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(s.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::perror("Error: bind failed\n");
        return 0;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(portOf(kind));
    if (target != nullptr) {
        to.sin_addr.s_addr = inet_addr(target);
    } else if (broadcast) {
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    } else {
        return 0;
    }
    uint8_t request[NB_DATAGRAM_SIZE] = {};
    std::memcpy(request, requestMagic(kind), 4);
    request[4] = 'R';
    if (::sendto(s.fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) {
        std::perror("Error: send failed\n");
        std::exit(1);
    }
    // Each datagram renews the wait; the whole search stays bounded all the same.
    const int64_t end = lqcl::monotonicMilliseconds() + NB_SEARCH_LIMIT_MS;
    int errors = 0;
    while (records->size() < NB_MAX_REPLIES) {
        const int64_t left = end - lqcl::monotonicMilliseconds();
        if (left <= 0) break;
        pollfd p{s.fd, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(timeoutMs, left)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        uint8_t datagram[NB_DATAGRAM_SIZE];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        ssize_t n = ::recvfrom(s.fd, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0) {
            std::perror("\nError: Receive failed\n");
            if (++errors > 100) break;
            continue;
        }
        NbRecord record;
        if (!nbParseReply(datagram, static_cast<size_t>(n), kind, from.sin_addr.s_addr, &record)) continue;
        records->push_back(record);
    }
    return static_cast<int>(records->size());
}

int DiscoverNB(int /*start*/, int broadcast, int kind) {
    std::vector<NbRecord> records;
    findDevice(NB_DISCOVERY_TIMEOUT_MS, nullptr, &records, kind, broadcast);
    int count = 0;
    const std::string listing = nbListing(records, kind, &count);
    std::fputs(listing.c_str(), stdout);
    return count;
}

int DiscoverUninitializedNB(int broadcast) {
    g_useNBPort = 1;
    return DiscoverNB(0, broadcast, NB_KIND_NETBURNER);
}

int DiscoverInitializedNB(int start, int broadcast) {
    g_useNBPort = 0;
    return DiscoverNB(start, broadcast, NB_KIND_SERVICE);
}

int Discovery(int broadcast, int suppress) {
    g_supressDisplay = suppress;
    ResetDiscoveredMAC();
    DiscoverUninitializedNB(broadcast);
    const int found = DiscoverInitializedNB(0, broadcast);
    if (found <= 0) std::printf("No NetBurners found in the network\n");
    return found;
}

int DiscoveredMACCount() {
    int n = 0;
    for (const auto& mac : g_knownMacs) {
        bool zero = true;
        for (uint8_t b : mac) zero = zero && b == 0;
        if (zero) break;
        ++n;
    }
    return n;
}

void ResetDiscoveredMAC() {
    for (auto& mac : g_knownMacs) mac.fill(0);
}

void BuildMACAddress(const char* formatted) {
    if (formatted == nullptr) {
        std::fprintf(stderr, "Error: null FormattedMACAddress\n");
        return;
    }
    ResetDiscoveredMAC();
    const size_t length = std::strlen(formatted);
    for (size_t i = 0; i < 6 && 2 * i + 1 < length; ++i) {
        const char pair[3] = {formatted[2 * i], formatted[2 * i + 1], '\0'};
        g_knownMacs[0][i] = static_cast<uint8_t>(std::strtol(pair, nullptr, 16));
    }
}

const std::array<std::array<uint8_t, 6>, NB_KNOWN_MACS>& discoveredMACTable() { return g_knownMacs; }

std::string IP2Mac(const uint8_t* mac) {
    if (mac == nullptr) {
        std::fprintf(stderr, "Error: null MAC address\n");
        return "Error: null MAC address\n";
    }
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::string ShowMac(const uint8_t* mac) {
    std::string text = IP2Mac(mac);
    if (mac != nullptr) std::fputs(text.c_str(), stdout);
    return text;
}

const std::string& GetAllEthernetInterfaces() {
    Socket s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (s.fd < 0) {
        std::fprintf(stderr, "Opening socket:");
        std::fprintf(stderr, "got error %d (%s)\n", errno, std::strerror(errno));
        std::exit(1);
    }
    std::vector<ifreq> records;
    for (size_t room = 10;; room += 10) {
        records.assign(room, ifreq{});
        ifconf conf{};
        conf.ifc_len = static_cast<int>(room * sizeof(ifreq));
        conf.ifc_req = records.data();
        if (ioctl(s.fd, SIOCGIFCONF, &conf) != 0) {
            std::perror("SIOCGIFCONF");
            std::fprintf(stderr, "ioctl:");
            std::fprintf(stderr, "got error %d (%s)\n", errno, std::strerror(errno));
            std::exit(1);
        }
        const size_t got = static_cast<size_t>(conf.ifc_len) / sizeof(ifreq);
        if (got < room || room >= 1000) {
            records.resize(got);
            break;
        }
    }
    g_interfaces.clear();
    for (ifreq& r : records) {
        ifreq flags{};
        std::memcpy(flags.ifr_name, r.ifr_name, IFNAMSIZ);
        flags.ifr_name[IFNAMSIZ - 1] = '\0';
        if (ioctl(s.fd, SIOCGIFFLAGS, &flags) == 0 && (flags.ifr_flags & IFF_UP)) {
            if (g_interfaces.size() + std::strlen(flags.ifr_name) + 1 > 1023) break;
            g_interfaces += flags.ifr_name;
            g_interfaces += ',';
        }
    }
    return g_interfaces;
}

int getEthernetCount() {
    const std::string& list = GetAllEthernetInterfaces();
    int n = 0;
    size_t start = 0;
    for (size_t comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1) {
        const std::string name = list.substr(start, comma - start);
        if (!name.empty() && name != "lo") ++n;
    }
    return n;
}

std::string nbVersionFromPage(const char* page, bool requestFailed) {
    if (requestFailed) return "Lost Communication With Target";
    std::string version = "PW Protected";
    regex_t re;
    if (regcomp(&re, "v[0-9]\\.[0-9][0-9]*\\.T*[0-9][0-9]*", 0) != 0) return version;
    regmatch_t m{};
    if (regexec(&re, page, 1, &m, 0) == 0 && m.rm_so >= 0) {
        size_t length = static_cast<size_t>(m.rm_eo - m.rm_so);
        version.assign(page + m.rm_so, std::min<size_t>(length, 255));
    }
    regfree(&re);
    return version;
}

int getNBVersion(const char* address, int credential, std::string* version) {
    const std::string request = std::string("GET /cgi-bin/cgiloader.cgi?module=server&method=GetAboutPage HTTP/1.1\r\n"
                                            "Authorization: Basic ") +
                                kDefaultCredentials[credential & 1] + "\r\n\r\n";
    std::unique_ptr<char[]> page(new char[8192 + 1]());
    int length = 8192;
    const int r = httpUrlGet(address, HTTP_PORT, request, page.get(), &length);
    *version = nbVersionFromPage(page.get(), r != 0);
    return r;
}
