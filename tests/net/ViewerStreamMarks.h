#pragma once

#include "FaultRelay.h"

#include <cstddef>
#include <string>
#include <vector>

// Where the units of the section transfer lie in what a server sent to a
// viewer on its first connection: the greeting, the verdict, the line after
// it, one game list, then the sections as a "REQUEST" brings them.
enum class TViewerMark { SectionHeader, DataBlock, StreamEnd, KeepAlive };

struct TViewerMarkAt {
    TViewerMark Kind;
    std::size_t Begin; // the unit's first byte
};

// Every unit whose kind the bytes already tell, in order (the last one may be
// incomplete).
std::vector<TViewerMarkAt> ViewerMarks(const std::string& downstream);

// A fault `offset` bytes into the `occurrence`-th unit (from 1) of that kind.
TFault::TLocator AtViewerMark(TViewerMark kind, int occurrence, std::size_t offset);
