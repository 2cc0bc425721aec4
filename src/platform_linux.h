// The Linux platform's own interface, beyond the platform operations: where
// it looks for power supplies. What a supply's uevent text means is the
// logic's (uevent.h), which the tests reach through here too.
#ifndef AMBREL_PLATFORM_LINUX_H
#define AMBREL_PLATFORM_LINUX_H

#include "platform.h"
#include "uevent.h"

// The folder that holds one folder per power supply; the library reads
// /sys/class/power_supply unless a test points it elsewhere.
void linux_platform_set_root(const char *path);

#endif
