// The main frame window: wraps the main dialog, fixed size, centred on the screen.
#pragma once

#include "framework/tframe.h"

class CTFrameWindow : public TFrameWindow {
public:
    CTFrameWindow(TWindow* parent, const char* title, TWindow* client, bool shrinkToClient = false,
                  HINSTANCE module = nullptr);

    // The frame's set-up (client window created, frame shrunk to it), then
    // centred on the screen.
    void SetupWindow() override;
};
