#include "tests/fileio/test_file.h"

#include <algorithm>
#include <stdexcept>
#include <string>

uint64_t TestFile::tell() {
    ++tells;
    return position;
}

bool TestFile::seek(uint64_t offset) {
    ++seeks;
    if ((failSeek && failSeek(seeks)) || offset > static_cast<uint64_t>(INT64_MAX)) {
        return false;
    }
    position = offset;
    return true;
}

size_t TestFile::read(void* buffer, size_t count) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, end - std::min(end, position)));
    const std::vector<uint8_t> bytes = bytesAt(position, n);
    std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(buffer));
    position += n;
    return n;
}

size_t TestFile::write(const void* buffer, size_t count) {
    ++writes;
    size_t n = count;
    if (limitWrite) {
        n = std::min(n, limitWrite(writes, count).value_or(count));
    }
    if (n <= keepLimit) {
        store(position, static_cast<const uint8_t*>(buffer), n);
    } else if (position < keptEnd) {
        forget(position, n);
    }
    position += n;
    end = std::max(end, position);
    return n;
}

size_t TestFile::writeAt(const void* buffer, size_t count, int64_t offset) {
    ++writeAts;
    if (failWriteAt && failWriteAt(writeAts, offset)) {
        return 0;
    }
    return File::writeAt(buffer, count, offset);
}

void TestFile::store(uint64_t offset, const uint8_t* bytes, size_t count) {
    keptEnd = std::max(keptEnd, offset + count);
    for (size_t i = 0; i < count; ++i) {
        Page& page = pages[(offset + i) / kPage];
        page.data[(offset + i) % kPage] = bytes[i];
        page.known.set((offset + i) % kPage);
    }
}

void TestFile::forget(uint64_t offset, size_t count) {
    for (uint64_t p = offset / kPage; p * kPage < offset + count; ++p) {
        auto it = pages.find(p);
        if (it == pages.end()) {
            continue;
        }
        for (size_t b = 0; b < kPage; ++b) {
            const uint64_t at = p * kPage + b;
            if (at >= offset && at < offset + count) {
                it->second.known.reset(b);
            }
        }
    }
}

std::vector<uint8_t> TestFile::bytesAt(uint64_t offset, size_t count) const {
    std::vector<uint8_t> out(count);
    for (size_t i = 0; i < count; ++i) {
        const auto it = pages.find((offset + i) / kPage);
        if (it == pages.end() || !it->second.known.test((offset + i) % kPage)) {
            throw std::runtime_error("byte " + std::to_string(offset + i) + " was not kept");
        }
        out[i] = it->second.data[(offset + i) % kPage];
    }
    return out;
}
