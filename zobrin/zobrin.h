// zobrin, the disk dump program: reports a drive's geometry and the file
// system data of its boot sector, and dumps a sector range as hex dump
// lines, raw to a file or raw to the console.
#pragma once
#include <cstdint>

#include "rangekit/tool_frame.h"

namespace zobrin {

// A sector range as given by /S, /E and /C; one sector when only the start
// is given.
struct SectorRange : rangekit::Range {
    SectorRange() : Range{-1, -1, 1} {}
};

// Completes the range from the values given: start, end and count then
// agree, the count never reaching past the end. A count below 1 selects
// nothing. An end given beyond the last of the sectors the drive holds
// (when it tells: sectors_held >= 0) means its last sector.
void resolve_range(SectorRange& range, std::int64_t sectors_held = -1);

// The whole program; returns its error level.
int zobrin_main(int argc, char** argv);

}  // namespace zobrin
