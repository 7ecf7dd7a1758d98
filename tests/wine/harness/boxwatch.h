// Message boxes in automated runs: each box this thread opens is reported
// (caption and text) and then dismissed with OK, so nothing waits for a person.
#pragma once

using BoxSink = void (*)(const char* caption, const char* text);

// From now on every message box of the calling thread is passed to sink and
// closed. Returns false when the hook cannot be installed.
bool WatchMessageBoxes(BoxSink sink);
