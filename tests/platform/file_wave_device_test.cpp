#include "platform/file_wave_device.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/wav_file.h"
#include "temp_dir.h"

namespace vorpel {
namespace {

using Clock = std::chrono::steady_clock;
using Block = std::array<int16_t, WAVE_BUFFER_SAMPLES>;

// Notes each completion: the buffer, when, on which thread, and whether it
// came marked done.
class CompletionLog : public WaveListener {
public:
    struct Entry {
        uint32_t user;
        Clock::time_point time;
        std::thread::id thread;
        bool done;
    };
    void waveCompleted(WaveHeader& header) override {
        std::lock_guard lock(mutex_);
        entries_.push_back(
            {header.user, Clock::now(), std::this_thread::get_id(), (header.flags & WAVE_HEADER_DONE) != 0});
        changed_.notify_all();
    }
    bool waitFor(size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return entries_.size() >= count; });
    }
    std::vector<Entry> entries() {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    std::vector<uint32_t> users() {
        std::vector<uint32_t> out;
        for (const Entry& e : entries()) out.push_back(e.user);
        return out;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Entry> entries_;
};

// A ring of prepared buffers, as the audio driver keeps them.
template <size_t N>
struct Buffers {
    std::array<Block, N> blocks{};
    std::array<WaveHeader, N> headers{};
    Buffers() {
        for (size_t i = 0; i < N; ++i)
            headers[i] = WaveHeader{blocks[i].data(), WAVE_BUFFER_SAMPLES, static_cast<uint32_t>(i), 0};
    }
};

Block ramp(int16_t first) {
    Block block{};
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<int16_t>(first + static_cast<int16_t>(i) * 37);
    return block;
}

void writeRaw(const std::string& path, const std::vector<int16_t>& samples) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    for (int16_t s : samples) {
        const auto u = static_cast<uint16_t>(s);
        std::fputc(u & 0xFF, file);
        std::fputc(u >> 8, file);
    }
    std::fclose(file);
}

// Played blocks land in a WAV file; capture from it gives them back, one
// buffer per 100 ms at the earliest, on its own thread, then silence.
TEST(FileWaveDevice, PlaybackIntoWavReadsBackThroughCaptureThenSilence) {
    testing::TempDir dir;
    const std::string path = dir.file("played.WAV");
    Buffers<3> played;
    played.blocks = {ramp(-3000), ramp(100), ramp(7)};
    {
        FilePlaybackDevice playback(path);
        CompletionLog log;
        ASSERT_TRUE(playback.open(WaveFormat{}, log)) << playback.lastError();
        for (auto& header : played.headers)
            ASSERT_TRUE(playback.prepareHeader(header) && playback.write(header));
        ASSERT_TRUE(log.waitFor(3));
        EXPECT_EQ(log.users(), (std::vector<uint32_t>{0, 1, 2}));
        EXPECT_TRUE(playback.close());
    }
    FileCaptureDevice capture(path);
    CompletionLog log;
    ASSERT_TRUE(capture.open(WaveFormat{}, log)) << capture.lastError();
    Buffers<4> captured;
    for (auto& block : captured.blocks) block.fill(99);
    for (auto& header : captured.headers)
        ASSERT_TRUE(capture.prepareHeader(header) && capture.addBuffer(header));
    const auto started = Clock::now();
    capture.start();
    ASSERT_TRUE(log.waitFor(4));
    capture.close();
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(captured.blocks[i], played.blocks[i]) << "block " << i;
    EXPECT_EQ(captured.blocks[3], Block{});
    const auto entries = log.entries();
    for (size_t k = 0; k < entries.size(); ++k) {
        EXPECT_GE(entries[k].time - started, std::chrono::milliseconds(100) * static_cast<int>(k + 1)) << k;
        EXPECT_NE(entries[k].thread, std::this_thread::get_id());
        EXPECT_TRUE(entries[k].done);
    }
}

TEST(FileWaveDevice, ResetHandsBackQueuedBuffersWithoutCompletions) {
    testing::TempDir dir;
    FilePlaybackDevice playback(dir.file("out.raw"));
    CompletionLog log;
    ASSERT_TRUE(playback.open(WaveFormat{}, log));
    Buffers<3> buffers;
    for (auto& header : buffers.headers) {
        playback.prepareHeader(header);
        playback.write(header);
    }
    EXPECT_TRUE(playback.reset());
    for (auto& header : buffers.headers) EXPECT_NE(header.flags & WAVE_HEADER_DONE, 0u);
    // Writing again restarts the clock; only that buffer completes.
    ASSERT_TRUE(playback.write(buffers.headers[1]));
    ASSERT_TRUE(log.waitFor(1));
    EXPECT_TRUE(playback.close());
    EXPECT_EQ(log.users(), std::vector<uint32_t>{1});
    EXPECT_EQ(std::filesystem::file_size(dir.file("out.raw")), WAVE_BUFFER_SAMPLES * 2);
}

TEST(FileWaveDevice, OpenRefusesWhatItCannotPlayOrRecord) {
    testing::TempDir dir;
    CompletionLog log;
    FileCaptureDevice missing(dir.file("missing.wav"));
    EXPECT_FALSE(missing.open(WaveFormat{}, log));
    EXPECT_NE(missing.lastError().find("missing.wav"), std::string::npos);

    writeRaw(dir.file("in.raw"), {1, 2, 3});
    FileCaptureDevice wrongFormat(dir.file("in.raw"));
    EXPECT_FALSE(wrongFormat.open(WaveFormat{44100, 1, 16}, log));

    // A stereo WAV file (damaged ones: the WAV reader's tests).
    std::FILE* file = std::fopen(dir.file("stereo.wav").c_str(), "w+b");
    ASSERT_TRUE(writeWavHeader(file, 8000, 0));
    std::fseek(file, 22, SEEK_SET);
    std::fputc(2, file);
    std::fclose(file);
    FileCaptureDevice stereo(dir.file("stereo.wav"));
    EXPECT_FALSE(stereo.open(WaveFormat{}, log));
    EXPECT_NE(stereo.lastError().find("PCM"), std::string::npos);

    FilePlaybackDevice unwritable(dir.file("no/such/folder.raw"));
    EXPECT_FALSE(unwritable.open(WaveFormat{}, log));
    EXPECT_TRUE(log.entries().empty());

    // An unprepared buffer is not taken.
    FileCaptureDevice capture(dir.file("in.raw"));
    ASSERT_TRUE(capture.open(WaveFormat{}, log));
    Buffers<1> buffers;
    EXPECT_FALSE(capture.addBuffer(buffers.headers[0]));
}

}  // namespace
}  // namespace vorpel
