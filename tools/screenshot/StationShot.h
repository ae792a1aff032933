#pragma once

#include <QString>

// Runs one station-mode batch against eight simulated units, two of them faulty, and saves the
// window with its passed and failed rows, the batch's summary box and the Station dialog with
// the tallies as PNGs in the folder. 0 when all three were saved.
int ShootStation(const QString& folder);
