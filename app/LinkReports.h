// How the controller link's news reach the main window: its texts go into
// status parts 0 and 1, the state field is drawn, the library box shown, and
// the two sends the window answers (link ready, recording decoded) made.
// Whatever comes from the worker's thread is handed over as a UI task.
#pragma once

#include "link/LinkReporter.h"

LinkReporter& WindowLinkReports();
