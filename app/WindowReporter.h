// The main window's side of the controller link's reporter: the texts go
// into status parts 0 and 1, the state field is drawn, the library box shown,
// the window repainted, and the two sends the window answers (link ready,
// recording decoded) made. Whatever comes from another thread than the
// window's is handed over as a UI task.
#pragma once

#include "link/LinkReporter.h"

LinkReporter& TheWindowReporter();
