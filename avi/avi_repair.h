// Finishes a file that AviWriter left unfinished because its host died before closing it. The
// scan proves the file is the writer's and finds its complete chunks; a writer resumed from the
// scan finalises into a WriteRecorder; what it recorded is the repair: the closing structures after
// the last complete chunk (standard indexes, "idx1" when that is in the first segment) and patches
// behind it (the last segment's sizes, the stream headers, the super indexes, the extended and the
// main header). So the repaired file is, byte for byte, the one the writer leaves when it is closed
// after the same chunks, and no byte of a complete data chunk is written (checked).
#pragma once

#include <cstdint>
#include <vector>

#include "avi/avi_scan.h"
#include "avi/write_recorder.h"
#include "fileio/file.h"
#include "fileio/platform_file.h"

struct AviRepairPlan {
    AviScan scan;
    // Both empty unless the scan's verdict is Ours.
    std::vector<WriteRecorder::Write> tail;     // from scan.dataEnd on, in file order
    std::vector<WriteRecorder::Write> patches;  // behind it, from the end of the file to its start
    uint64_t finalSize = 0;
    // False for a file that already holds every byte of the repair: a finished file.
    bool needed = false;
};

// Reads the file (chunk headers, the header list, and the bytes the repair would overwrite); never
// writes to it.
[[nodiscard]] AviRepairPlan planAviRepair(fileio::File& file);

// Applies a needed plan to the scanned file opened for update, or to a copy of its first
// scan.dataEnd bytes: cuts the file after the last complete chunk (dropping the torn tail), writes
// the tail, then the patches, the main header last. Each step leaves a file that a new plan
// finishes the same way. Throws fileio::Error, or fileio::WriteAtError for a short write. A
// platform file, since cutting is no operation of fileio::File.
void applyAviRepair(fileio::PlatformFile& file, const AviRepairPlan& plan);
