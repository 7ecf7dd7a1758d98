// The command-line switches the time service acts on, as one record.
#pragma once

#include <cstdint>

// Each flag is 1 when its switch was given. The command-line scan fills the
// record, the main dialog keeps it and hands it to the service as it is.
struct ServiceSwitches {
    int32_t closeAfterSet = 0;    // s: close the main dialog after an accepted reply
    int32_t ignoreLimit = 0;      // i: set the clock whatever the offset
    int32_t acceptUnsynced = 0;   // u: accept replies with leap indicator 3
    int32_t acceptAnySource = 0;  // b: accept replies from any sender, and broadcasts
};
