#pragma once

#include <QString>

// The demo server program of this build, found from the suite's own folder, so that the path
// holds under Wine as well.
QString demoServerProgram();
