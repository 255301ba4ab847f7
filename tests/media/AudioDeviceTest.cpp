#include "media/NullAudioDevice.h"
#include "media/StuckAudioDevice.h"

#include "AudioTestSupport.h"

#include <gtest/gtest.h>

using media_test::prepareBuffers;
using media_test::RecordingListener;
using namespace std::chrono;

namespace {

const char* nameOf(AudioDirection direction) {
    return direction == AudioDirection::Capture ? "capture" : "playback";
}

}  // namespace

// Buffers come back one play time apart, measured against a running deadline, so the mean
// interval stays on 100 ms however late one callback runs; capture records µ-law silence. Both
// directions run at once, over two seconds.
TEST(NullAudioDeviceTest, PacesHundredMillisecondBuffersInBothDirections) {
    constexpr int intervals = 20;
    NullAudioDevice capture(AudioDirection::Capture);
    NullAudioDevice playback(AudioDirection::Playback);
    RecordingListener listeners[2];
    std::vector<std::unique_ptr<AudioBuffer>> buffers[2];
    const auto started = steady_clock::now();
    int i = 0;
    for (NullAudioDevice* device : {&capture, &playback}) {
        listeners[i].device = device;
        listeners[i].readd = true;
        device->open(listeners[i]);
        buffers[i] = prepareBuffers(*device, 4, 800, 0x11);
        for (auto& buffer : buffers[i]) device->add(*buffer);
        device->start();
        ++i;
    }
    for (RecordingListener& listener : listeners) ASSERT_TRUE(listener.waitForCount(intervals + 1));
    capture.close();
    playback.close();

    for (int d = 0; d < 2; ++d) {
        SCOPED_TRACE(nameOf(d == 0 ? AudioDirection::Capture : AudioDirection::Playback));
        std::lock_guard<std::mutex> guard(listeners[d].monitor.mutex());
        const auto& r = listeners[d].returned;
        const double first = duration<double, std::milli>(r[0].when - started).count();
        const double mean = duration<double, std::milli>(r[intervals].when - r[0].when).count() / intervals;
        EXPECT_GE(first, 95.0);  // a buffer takes its play time
        EXPECT_NEAR(mean, 100.0, 5.0);
        EXPECT_EQ(r[0].bytes, d == 0 ? std::string(800, '\xff') : media_test::bytesOf(*buffers[d][0]));
    }
}

// Reset interrupts the buffer in progress and hands back every queued one, exactly once,
// before it returns; close does the same with buffers left queued.
TEST(NullAudioDeviceTest, ResetAndCloseReturnEveryBufferExactlyOnce) {
    for (AudioDirection direction : {AudioDirection::Capture, AudioDirection::Playback}) {
        for (bool byClose : {false, true}) {
            SCOPED_TRACE(std::string(nameOf(direction)) + (byClose ? " close" : " reset"));
            NullAudioDevice device(direction);
            RecordingListener listener;
            device.open(listener);
            auto buffers = prepareBuffers(device, 8, 8000);  // one second each: none finishes
            for (auto& buffer : buffers) device.add(*buffer);
            device.start();
            if (byClose) {
                device.close();
            } else {
                device.reset();
            }
            const auto times = listener.timesReturned();
            EXPECT_EQ(times.size(), buffers.size());
            for (auto& buffer : buffers) {
                EXPECT_EQ(times.count(buffer.get()) ? times.at(buffer.get()) : 0, 1);
                EXPECT_TRUE(buffer->isDone());
                EXPECT_FALSE(buffer->isQueued());
                if (direction == AudioDirection::Capture) {
                    EXPECT_EQ(buffer->length(), 0u);
                }
                if (!byClose) {
                    EXPECT_NO_THROW(device.unprepare(*buffer));
                }
            }
            if (byClose) continue;
            // The device goes on after a reset: capture records again once started.
            AudioBuffer again(80);
            again.setLength(80);
            device.prepare(again);
            device.add(again);
            device.start();
            EXPECT_TRUE(listener.waitForCount(buffers.size() + 1));
            device.close();  // the callback may still run: the listener must outlive it
        }
    }
}

TEST(AudioDeviceTest, RefusesMisuse) {
    NullAudioDevice device(AudioDirection::Playback);
    RecordingListener listener;
    AudioBuffer buffer(160);
    EXPECT_THROW(device.prepare(buffer), WaveException);  // not open
    device.open(listener);
    EXPECT_THROW(device.open(listener), WaveException);
    EXPECT_THROW(device.add(buffer), WaveException);  // not prepared
    AudioBuffer empty(0);
    EXPECT_THROW(device.prepare(empty), WaveException);
    device.prepare(buffer);
    buffer.setLength(161);
    EXPECT_THROW(device.add(buffer), WaveException);  // longer than the buffer
    buffer.setLength(160);
    device.add(buffer);
    EXPECT_THROW(device.add(buffer), WaveException);  // queued already
    EXPECT_THROW(device.unprepare(buffer), WaveException);
    device.close();
    EXPECT_EQ(listener.count(), 1u);
}

// A device that hangs keeps its buffers through reset and close, as the engine's stop time-out
// expects: a normal device has returned them by the time reset returns.
TEST(StuckAudioDeviceTest, NeverReturnsABuffer) {
    StuckAudioDevice device(AudioDirection::Capture);
    RecordingListener listener;
    device.open(listener);
    auto buffers = prepareBuffers(device, 2, 160);
    for (auto& buffer : buffers) device.add(*buffer);
    device.start();
    device.reset();
    EXPECT_EQ(listener.count(), 0u);
    EXPECT_FALSE(buffers[0]->isDone());
    EXPECT_THROW(device.unprepare(*buffers[0]), WaveException);
    device.close();
    EXPECT_EQ(listener.count(), 0u);
}
