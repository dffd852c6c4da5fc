// Configuration changes made inside a start/save bracket (the common change
// pattern): up to 20 attempts, each announced when the controller refuses the
// start or the save; after the save the caller's information set is read again.
#pragma once

#include <cstdint>

#include "lapi/reads.h"

struct SET_VOLUME_NAME_REQUEST {
    uint16_t logicalDrive;       // logical drive index
    char name[65];               // NUL-terminated; empty means "default"
    ALL_INFORMATION_SET info;    // refreshed after the change
};

struct SET_HOST_LUN_AVAILABILITY_REQUEST {
    uint32_t logicalDrive;       // logical drive index
    uint8_t portMask;            // controller ports the drive is available on
    ALL_INFORMATION_SET info;
};

uint32_t LAPISetVolumeName(int index, SET_VOLUME_NAME_REQUEST* request);
uint32_t LAPISetHostLUNAvailability(int index, SET_HOST_LUN_AVAILABILITY_REQUEST* request);
