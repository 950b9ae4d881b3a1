#pragma once

#include <QString>

// The machine-wide program-data folder, from the variable "ProgramData" on every system. Where it
// is unset, other systems use /var/lib; Windows keeps the empty text, so that paths built on it
// start at the root of the current drive.
QString programDataFolder();

// The settings folder, which the settings store opens to every user of the machine: the
// company's folder in the program-data folder.
QString settingsFolder();
