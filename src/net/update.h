// Discovery of the network modules of RAID enclosures on the local network by
// UDP broadcast (both module kinds), their listing, the table of known MAC
// addresses, the host's network interfaces and the module's firmware version.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr size_t NB_DATAGRAM_SIZE = 185;
inline constexpr size_t NB_RECORD_SIZE = 180;
inline constexpr int NB_KIND_NETBURNER = 1;
inline constexpr int NB_KIND_SERVICE = 0;
inline constexpr uint16_t UDP_NETBURNERID_PORT = 20034;
inline constexpr uint16_t UDP_SERVICE_PORT = 21334;
inline constexpr int NB_DISCOVERY_TIMEOUT_MS = 1000;
// Bounds of one search: replies kept, and its whole length whatever arrives.
inline constexpr size_t NB_MAX_REPLIES = 256;
inline constexpr int NB_SEARCH_LIMIT_MS = 15000;
inline constexpr size_t NB_KNOWN_MACS = 100;

// The 180-byte configuration record of one reply; offset 144 holds the
// source address of the datagram once received.
using NbRecord = std::array<uint8_t, NB_RECORD_SIZE>;

// Takes one received datagram: false when it is too short or its magic is not
// the reply magic of the kind; else fills the record (missing bytes zero) and
// writes the source address (network order) at offset 144.
bool nbParseReply(const uint8_t* datagram, size_t length, int kind, uint32_t sourceAddress, NbRecord* record);

bool ConnectedDirectly(const uint8_t* record);
bool DHCPValid(const uint8_t* record);
// The address to list (network order); false when the record yields none.
bool DetermineValidIP(const uint8_t* record, uint32_t* address);

// The listing of one search (records in order of arrival): one line per
// distinct MAC, in MAC order; returns the text and the number of lines.
std::string nbListing(const std::vector<NbRecord>& arrivals, int kind, int* count);

// One search: broadcast (or send to `target`) the request of the kind and
// collect replies until `timeoutMs` pass without one.
int findDevice(int timeoutMs, const char* target, std::vector<NbRecord>* records, int kind, int broadcast);
int DiscoverNB(int start, int broadcast, int kind);
int DiscoverUninitializedNB(int broadcast);
int DiscoverInitializedNB(int start, int broadcast);
// Both searches; the number of service modules found.
int Discovery(int broadcast, int suppress);

// Known MAC table.
int DiscoveredMACCount();
void BuildMACAddress(const char* formatted);
void ResetDiscoveredMAC();
const std::array<std::array<uint8_t, 6>, NB_KNOWN_MACS>& discoveredMACTable();
std::string ShowMac(const uint8_t* mac);
std::string IP2Mac(const uint8_t* mac);

// Host interfaces that are up, each name followed by ','.
const std::string& GetAllEthernetInterfaces();
int getEthernetCount();

// The module's firmware version from its about page ("PW Protected" when the
// page shows none, "Lost Communication With Target" when the request failed).
std::string nbVersionFromPage(const char* page, bool requestFailed);
int getNBVersion(const char* address, int credential, std::string* version);
