// A WAV whose data chunk claims more than the file holds: refused unless the caller asks for what
// is there (encode does, for the file a stopped writer leaves).
#include <gtest/gtest.h>

#include "platform/iohost/files/input_error.h"
#include "platform/iohost/media/wav_reader.h"
#include "platform/iohost/media/wav_writer.h"
#include "tests/support/temp_dir.h"

TEST(WavReaderTest, AShortDataChunkIsRefusedOrReadToItsEnd) {
    TempDir dir;
    const std::string path = dir.file(u8"short.wav");
    iohost::WriteWav(path, iohost::AudioFormat{}, std::vector<uint8_t>(400, 7));
    std::filesystem::resize_file(path, std::filesystem::file_size(path) - 101);
    EXPECT_THROW(iohost::WavReader{path}, iohost::InputError);
    iohost::WavReader reader(path, iohost::WavReader::ShortData::ReadToEnd);
    std::vector<uint8_t> samples(400);
    EXPECT_EQ(reader.read(samples.data(), 100), 74u);  // 299 bytes: whole sample frames only
}
