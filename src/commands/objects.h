// The process-wide command objects, one per library.
#pragma once

#include "commands/configuration.h"
#include "commands/controller.h"
#include "commands/derived.h"
#include "commands/device.h"
#include "commands/deviceport.h"
#include "commands/enclosure.h"
#include "commands/global.h"
#include "commands/hostport.h"
#include "commands/systemManager.h"

extern Global glbl;
extern commandController ctrl;
extern commandHostPort hstprt;
extern commandDevice dvce;
extern commandConfiguration cfg;
extern commandEnclosure encl;
extern commandDevicePort dport;
extern commandSystemManager sysman;
extern DConfigController dCfgCtrl;
extern DSES dEnc;
