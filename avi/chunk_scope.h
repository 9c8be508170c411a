// Closes the innermost chunk of a RiffWriter when it goes out of scope, so a chunk opened just
// before it is closed on every path. close() reports failures; the destructor swallows them (it
// runs while another exception is already on its way). It closes whichever chunk is innermost, so
// it relies on strict nesting of opens and closes.
#pragma once

#include "avi/riff_writer.h"

class ChunkScope {
public:
    explicit ChunkScope(RiffWriter& riff) : riff(riff) {}
    ChunkScope(const ChunkScope&) = delete;
    ChunkScope& operator=(const ChunkScope&) = delete;
    ~ChunkScope();

    ChunkInfo close();

private:
    RiffWriter& riff;
    bool closed = false;
};
