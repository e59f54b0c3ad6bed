// Identification strings, found in the binary by what(1)-style scanners.
#include "velkconf/velkconf.h"

const char* s___name = "@(#)!ZEVNAME!libvelkconf.so!ZEVNAME!";
const char* s___version = "@(#)!ZEVVER!!ZEVVER!";
const char* s___special = "@(#)!ZEVSPECIAL!!ZEVSPECIAL!";
