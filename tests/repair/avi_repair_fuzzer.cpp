// Arbitrary bytes through the repair's planning: the scan, a writer resumed from it and its
// finalisation. Whatever the bytes, planning ends without an exception, a sanitizer finding or
// memory beyond the input's size.
#include <algorithm>
#include <vector>

#include "avi/avi_repair.h"

namespace {

class MemoryFile final : public fileio::File {
public:
    MemoryFile(const uint8_t* data, size_t size) : bytes(data, data + size) {}
    bool open(const char*, uint32_t) override { return true; }
    void close() override {}
    int64_t size() override { return static_cast<int64_t>(bytes.size()); }
    uint64_t tell() override { return position; }
    bool seek(uint64_t offset) override {
        position = offset;
        return true;
    }
    size_t read(void* buffer, size_t count) override {
        const size_t from = static_cast<size_t>(std::min<uint64_t>(position, bytes.size()));
        const size_t n = std::min(count, bytes.size() - from);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), n,
                    static_cast<uint8_t*>(buffer));
        position += n;
        return n;
    }
    size_t write(const void*, size_t) override { return 0; }

private:
    std::vector<uint8_t> bytes;
    uint64_t position = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile file(data, size);
    (void)planAviRepair(file);
    return 0;
}
