// One dispatch function per library: (operation, command index) -> one method call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Operation codes.
enum Operation : int { OP_GET = 0, OP_CREATE = 1, OP_DELETE = 2, OP_COMMIT = 3, OP_ADD = 4, OP_SET = 5, OP_NUMBER = 6 };

using StringList = std::vector<std::string>;

// `strings` holds the -z values (element 0 the command name); `admin` holds the
// -m values padded with empty texts to 20 elements; u64 and u32 have 20 elements.
void operateController(int op, int index, int strCount, const StringList& strings, const uint64_t* u64,
                       const uint32_t* u32, const StringList& admin, const std::string& url);
void operateDevice(int op, int index, int strCount, const StringList& strings, const uint64_t* u64,
                   int u32Count, const uint32_t* u32, const std::string& url);
void operateHostPort(int op, int index, int strCount, const StringList& strings, const uint64_t* u64,
                     const uint32_t* u32, const std::string& url);
void operateConfiguration(int op, int index, int strCount, const StringList& strings, const uint64_t* u64,
                          int u32Count, const uint32_t* u32, int adminCount, const StringList& admin,
                          const std::string& url);
void operateEnclosure(int op, int index, int u32Count, int strCount, const StringList& strings,
                      const uint64_t* u64, const uint32_t* u32, const std::string& url);
void operateDevicePort(int op, int index, int strCount, const StringList& strings, const uint64_t* u64,
                       const uint32_t* u32, const std::string& url);
void operateSystemManager(int op, int index, int strCount, const StringList& strings, const uint64_t* u64,
                          const uint32_t* u32, int adminCount, const StringList& admin, const std::string& url);
