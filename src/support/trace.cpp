#include "support/trace.h"

#include <cctype>
#include <cstdio>
#include <string>

uint32_t g_ulPrintableTypes = 0xFFFFFFFF;
uint32_t g_ulPrintableDetail = 4;
uint32_t g_ulPrintableLocation = TRACE_TO_SCREEN;
uint32_t g_ulCurrentFile = 0;

const char* const kTraceFileNames[2] = {"DIDEDebug0.txt", "DIDEDebug1.txt"};

void DIDEDebug(uint32_t, uint32_t, const char*, ...) {
    // The sink of this program discards every trace message.
}

void DIDEDebugSetOutputDetail(uint32_t mask, uint32_t on) {
    if (on)
        g_ulPrintableDetail |= mask;
    else
        g_ulPrintableDetail &= ~mask;
    DIDEDebug(TRACE_ALL, DETAIL_SELF, "====== Debug O/P detail set to 0x%x", g_ulPrintableDetail);
}

void DIDEDebugSetOutputTypes(uint32_t mask, uint32_t on) {
    if (on)
        g_ulPrintableTypes |= mask;
    else
        g_ulPrintableTypes &= ~mask;
    DIDEDebug(TRACE_ALL, DETAIL_SELF, "====== Debug O/P types set to 0x%x", g_ulPrintableTypes);
}

void DIDEDebugSetOutputLocation(uint32_t location) {
    g_ulPrintableLocation = location;
    const char* where = location == TRACE_TO_SCREEN ? "Screen"
                        : location == TRACE_TO_FILE ? "File"
                                                    : "Discard";
    DIDEDebug(TRACE_ALL, DETAIL_SELF, "====== Debug Location set to %s", where);
}

void DIDEDebugClearAll() {
    for (const char* name : kTraceFileNames) {
        if (FILE* f = std::fopen(name, "w")) std::fclose(f);
    }
    g_ulCurrentFile = 0;
    DIDEDebug(TRACE_ALL, DETAIL_SELF,
              "====== Debug log cleared. Writing debug to file %s for non screen debug\n",
              kTraceFileNames[0]);
}

int formatBinaryDump(const uint8_t* data, int32_t length, char* out, int size) {
    std::string text = "   Data:\n";
    text += "          00 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 <----Decode---->\n";
    char cell[32];
    for (int32_t row = 0; data != nullptr && row < length; row += 16) {
        std::snprintf(cell, sizeof cell, "   %04d:  ", static_cast<int>(row));
        text += cell;
        char decode[17] = "                ";
        for (int32_t i = 0; i < 16; ++i) {
            if (row + i < length) {
                uint8_t b = data[row + i];
                std::snprintf(cell, sizeof cell, "%02x ", b);
                text += cell;
                decode[i] = std::isprint(b) ? static_cast<char>(b) : '.';
            } else {
                text += "   ";
            }
        }
        text += decode;
        text += '\n';
    }
    if (out != nullptr && size > 0) std::snprintf(out, static_cast<size_t>(size), "%s", text.c_str());
    return static_cast<int>(text.size());
}

void DIDEDebugDumpBinaryDataToScreen(const uint8_t* data, int32_t length) {
    std::string text(static_cast<size_t>(formatBinaryDump(data, length, nullptr, 0)) + 1, '\0');
    formatBinaryDump(data, length, text.data(), static_cast<int>(text.size()));
    DIDEDebug(TRACE_ALL, DETAIL_DATA, "%s", text.c_str());
}
