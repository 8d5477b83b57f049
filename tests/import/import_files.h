// Small exports in each CSV format, written by the tests under the build tree.
#pragma once

#include <string>

#include "import/import.h"
#include "support.h"

namespace importtest {

using lxtest::write_temp_file;

// Imports with the file's own format; the session is freed by the caller.
lx::ImportResult import(const std::string& path, const lx::ImportOptions& options = {});

// An AiM export at 10 Hz, 36 km/h, laps cut by beacons at 2.05 s and 5.0 s
// (written as markers) with segment times 2.050, 2.950 and 1.500 s. The GPS
// track runs north at 10 m/s from 45 N 7 E; lateral g is the sample index / 100.
std::string aim_export(const std::string& beacon_row);

// AiM's older layout: Time and Distance (km) restart at each beacon, the
// beacon's instant written twice; laps of 1.050 and 0.950 s.
std::string restart_export();
// RaceChrono at 10 Hz GPS with OBD rows between, crossings at 1.05 and 2.55 s.
std::string racechrono_export();
// MoTeC i2 layout at 2 Hz: two Time columns, beacons at 3.0 and 6.5 s.
std::string motec_export();

} // namespace importtest
