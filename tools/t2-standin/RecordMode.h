#pragma once

#include "StandinArguments.h"

#include <ostream>

// What the game does while a filmer plays and records: one recording after
// another in the recordings directory, each written in pieces over its own
// length of wall time and held open until it ends, its info file written once
// it is closed. The full path of each finished recording goes to `finished`,
// one line each.
void RunRecordMode(const TRecordOptions& options, std::ostream& finished);
