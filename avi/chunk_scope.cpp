#include "avi/chunk_scope.h"

ChunkScope::~ChunkScope() {
    if (!closed) {
        try {
            (void)riff.closeChunk();
        } catch (...) {
            // Unwinding already; the first failure is the one the caller sees.
        }
    }
}

ChunkInfo ChunkScope::close() {
    closed = true;
    return riff.closeChunk();
}
