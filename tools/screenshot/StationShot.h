#pragma once

#include <QString>

// Runs one station-mode batch against eight simulated units, two of them faulty, and saves the
// window with its passed and failed rows, the batch's summary box and the Station dialog with
// the tallies as PNGs in the folder, then the hands-free station's picture. 0 when all were
// saved.
int ShootStation(const QString& folder);

// Watches eight simulated units' ports hands-free, units coming at different times, one failing
// and two ports empty, and saves the window mid-way as station-hands-free.png. 0 when saved.
int ShootHandsFree(const QString& folder);
