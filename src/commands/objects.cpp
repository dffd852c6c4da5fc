// Defined together in one translation unit so that they are constructed in this
// order before main and destroyed in the reverse order at exit.
#include "commands/objects.h"

Global glbl;
commandController ctrl;
commandHostPort hstprt;
commandDevice dvce;
commandConfiguration cfg;
commandEnclosure encl;
commandDevicePort dport;
commandSystemManager sysman;
DConfigController dCfgCtrl;
DSES dEnc;
