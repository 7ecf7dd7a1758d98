// The run-time's abnormal end of the program: one box, then exit status 3.
#pragma once

// Shows "Abnormal program termination" in a message box captioned with the
// program's file name (no directory), then ends the process at once with
// status 3: no window is shut down, nothing is written. Never returns.
[[noreturn]] void EndAbnormally();
