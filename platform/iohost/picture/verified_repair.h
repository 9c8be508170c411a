// A repair that keeps only frames that decode. On a short write the AVI writer patches the chunk's
// size to the bytes that reached the disk, so an export stopped by a full disk can end with a
// chunk that is whole by its size yet holds part of a frame. The file's structure cannot tell; the
// codec library can: the last chunk of each video stream is decoded, and one that does not decode
// goes, with everything after it, before the writer's finalisation is replayed (avi_repair.h).
//
// Contract, for `iohost repair` and `inspect`, and for `encode` after a failed write:
// - `file` is open for reading (PlanVerifiedRepair) or reading and writing (RepairInPlace), and
//   no writer has it open any more: the plug-in has closed it and the caller holds it alone.
// - PlanVerifiedRepair never writes. It answers planAviRepair's plan of the file as though it
//   ended where the first chunk that does not decode begins, with scan.fileSize the file's real
//   size. `note` names that frame, where it lies and the library's reason; it is empty when every
//   last frame decodes. A video stream the library cannot open throws InputError: its frames
//   cannot be vouched for.
// - A verdict other than Ours is a refusal (scan.reason says why, nothing to apply); a plan that
//   is not needed is a finished file whose frames all decode.
// - RepairInPlace plans and applies a needed plan, so the file becomes, byte for byte, the one
//   the writer closes after the frames kept; it answers whether it wrote anything. A refused file
//   is left as it was and answers false with the reason in `note`. Throws fileio::Error for a read
//   or write failure (the file is then as a stop at that point leaves it, and a new repair
//   finishes it).
#pragma once

#include <string>

#include "avi/avi_repair.h"
#include "fileio/file.h"
#include "fileio/platform_file.h"

namespace iohost {

[[nodiscard]] AviRepairPlan PlanVerifiedRepair(fileio::File& file, std::string& note);

[[nodiscard]] bool RepairInPlace(fileio::PlatformFile& file, std::string& note);

}  // namespace iohost
