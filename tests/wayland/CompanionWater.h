#pragma once

#include "support/TempDirectory.h"
#include "support/WaylandCompositor.h"

#include <string>

namespace floodmark::fixtures {

// A home whose companion says: water at 0.6, severity 4 (red-orange), so that the water is
// easy to tell from the dark canvas above it. `impulse` (a kind, or empty for none) is stamped
// now.
void writeCompanionState(const TempDirectory& home, const std::string& impulse = "");

// Whether a screenshot of one output shows that water: red-orange in the lower part, the
// dark canvas up top, at the output's size.
bool showsWater(const WaylandCompositor& compositor, const std::string& output,
                const std::string& path, int width, int height);

// The picture `floodmark snapshot` draws of the companion's water at `size` points and `scale`;
// `options` adds to its command line (as the clock's text).
std::string snapshotOfCompanionWater(const TempDirectory& home, const std::string& size,
                                     double scale, const std::string& options = "");

// How many views the saver's status file counts; −1 when there is none to read.
int saverViews(const TempDirectory& home);

// Whether a screenshot is the snapshot's water: the clock and the message are all that differ.
void expectSameWater(const std::string& shot, const std::string& snapshot);

}  // namespace floodmark::fixtures
