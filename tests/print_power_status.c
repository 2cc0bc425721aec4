/* Prints what the system's GetSystemPowerStatus says, for the Wine test. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(void)
{
    SYSTEM_POWER_STATUS status;
    memset(&status, 0, sizeof status);
    BOOL ok = GetSystemPowerStatus(&status);
    printf("power status: %s flag %u percent %u\n", ok ? "ok" : "failed", (unsigned)status.BatteryFlag,
           (unsigned)status.BatteryLifePercent);
    return 0;
}
