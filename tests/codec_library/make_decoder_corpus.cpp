// Writes the decoder fuzzer's seed corpus: valid packets of small frames of every stream, in the
// fuzzer's input format. Run once; the output is kept under corpus/.
//   make_decoder_corpus DIR
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "codec/parvolux_library.h"
#include "decoder_fuzz_input.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_decoder_corpus DIR\n");
        return 2;
    }
    if (parvolux_library_init() != 0) return 1;
    const uint32_t sizes[][2] = {{1, 1}, {7, 5}, {33, 20}};
    int files = 0;
    for (unsigned stream = 0; stream < 16; ++stream) {
        for (const auto& size : sizes) {
            uint32_t handle = 0;
            if (parvolux_open(&handle) != 0) return 1;
            const FrameFormat in{
                size[0], size[1], parvoluxFormatExtended, 1, codec_fuzz::kPairs[stream][0], 0, 0,
                1,       0};
            const FrameFormat out{
                0, 0, parvoluxFormatExtended, 1, codec_fuzz::kPairs[stream][1], 0, 0, 0, 0};
            const uint8_t* cookie = nullptr;
            uint64_t cookieSize = 0;
            uint32_t bufferSize = 0;
            FramePlanes planes{};
            // Enough for any raw layout of these sizes; smooth content with a little texture,
            // so that the packets use Huffman chunks with zero blocks as well as literals.
            std::vector<uint8_t> raw(size_t{size[0]} * size[1] * 8);
            for (size_t i = 0; i < raw.size(); ++i)
                raw[i] =
                    static_cast<uint8_t>(100 + 40 * std::sin(static_cast<double>(i / 24) * 0.05) +
                                         (i % 97 == 0 ? 9 : 0));
            if (parvolux_compress_begin(handle, &in, &out, &cookie, &cookieSize, &bufferSize) !=
                    0 ||
                parvolux_init_planes_common(handle, &in, &planes, raw.data()) != 0)
                return 1;
            std::vector<uint8_t> packet(codec_fuzz::kHeaderBytes + bufferSize);
            uint32_t packetSize = 0;
            if (parvolux_compress(handle, &planes, packet.data() + codec_fuzz::kHeaderBytes,
                                  &packetSize) != 0)
                return 1;
            packet.resize(codec_fuzz::kHeaderBytes + packetSize);
            packet[0] = static_cast<uint8_t>(stream);
            packet[1] = static_cast<uint8_t>(size[0] - 1);
            packet[2] = static_cast<uint8_t>(size[1] - 1);
            packet[3] = static_cast<uint8_t>(files % 2);
            (void)parvolux_close(handle);
            const std::string path = std::string(argv[1]) + "/seed_" + std::to_string(stream) +
                                     "_" + std::to_string(size[0]) + "x" + std::to_string(size[1]);
            std::FILE* f = std::fopen(path.c_str(), "wb");
            if (f == nullptr || std::fwrite(packet.data(), 1, packet.size(), f) != packet.size())
                return 1;
            std::fclose(f);
            ++files;
        }
    }
    (void)parvolux_library_close();
    std::printf("%d seed packets written to %s\n", files, argv[1]);
    return 0;
}
