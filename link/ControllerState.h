// What the state field of the status bar shows about the controller link:
// its colour and its tooltip follow these values.
#pragma once

#include <cstdint>

enum ControllerStateValue : int32_t {
    ControllerNotAvailable = 0,  // no worker has reported yet
    ControllerOffline = 1,       // no link, or a controller that does not answer
    ControllerOnline = 2,        // device open, the controller answered, idle
    ControllerActive = 3,        // a recording is being fetched (Debug or a preview poll)
};
