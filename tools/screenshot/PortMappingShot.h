#pragma once

#include <QString>

// Draws the Port Mapping dialog with a few example adapters, one row's list of ports open, and
// saves it as a PNG. 0 when it was saved.
int ShootPortMapping(const QString& out);
