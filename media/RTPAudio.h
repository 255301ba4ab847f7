// One call leg's media engine: one UDP socket shared by an RTP sender and receiver, a
// recorder whose audio the sender sends, a player for what the receiver assembles, looping
// WAV files or DTMF tones sent in place of the recorder, DTMF tones played locally, and the
// media report of both streams. Device events are served by the engine's own event handler.
//
//   init(4, 8, 100, 2, 90, 60) -> open(port, address) -> start.../stop... many times -> close()
//
// Threads: the operations from one caller at a time (the phone's logic thread); getMediaReport
// from any thread at any moment. Lock order: recorder, sender-ext, sender data; the player's
// lock is taken alone.
#pragma once

#include <mutex>
#include <string>

#include "kel_util/EventHandler.h"
#include "kel_util/Socket.h"
#include "media/AudioDeviceFactory.h"
#include "media/DTMFToneTable.h"
#include "media/DeviceEventPoster.h"
#include "media/MediaReport.h"
#include "media/RTPReceiver.h"
#include "media/RTPSender.h"
#include "media/WavePlayEx.h"
#include "media/WaveRecordExt.h"

class RTPAudio : public kel_util::EventHandler, private DeviceEventPoster {
public:
    // devices must outlive the engine.
    explicit RTPAudio(const AudioDeviceFactory& devices);
    ~RTPAudio() override;

    bool init(int recordBufferNum, int playBufferNum, int playUnitMs, int workerNum, int sendDTMFAmpPercent,
              int playDTMFAmpPercent);
    // Binds the socket to localAddress and port (0: any free port).
    bool open(int port, const char* localAddress);
    // Stops everything, frees the tones, stops the event handler and closes the socket.
    void close();

    // Nothing but a log line when already sending so; otherwise (re)starts the sender.
    bool startSend(int payloadType, int packetMs, const char* destHost, int destPort);
    void stopSend();
    bool startReceive(int payloadType, int jitterMs);
    void stopReceive();
    bool startRecording(int codec, int bufferMs);
    void stopRecording();
    bool startPlay(int codec);
    void stopPlay();

    // Sends a µ-law WAV file, looping, in place of the recorder. Nothing when the same file is
    // being sent and restart is false. false, the previous source kept, for any other format.
    bool startWaveFile(const std::string& fileName, bool restart);
    // Sends the key's tone, looping, in place of the recorder.
    bool sendDTMF(char key);
    // Plays the key's tone locally in place of received audio.
    bool playDTMF(char key);
    void stopDataPlay();
    // The recorder feeds the sender again; what a file or tone left in the sender is cleared,
    // so that nothing loops to the peer when no recorder runs.
    void stopDataSend();

    MediaReport getMediaReport() const;
    // The bound port, 0 before open.
    int getLocalPort() const noexcept { return localPort_; }

protected:
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;

private:
    bool postDeviceEvent(int type, int bufferIndex, std::uint32_t generation) override;
    // Recorded audio, on an event worker: to the sender while it runs and nothing replaces it.
    void onRecordedData(const std::uint8_t* data, std::size_t length);
    // Data in place of the recorder; holding sendExtMutex_.
    void sendDataLocked(const std::uint8_t* data, std::size_t length);
    // The one report line, once the last running stream has stopped.
    void logReportIfIdle(bool wasActive);

    kel_util::DatagramSocket socket_;
    int localPort_ = 0;
    RTPSender sender_;
    RTPReceiver receiver_;
    WaveRecordExt recorder_;
    WavePlayEx player_;

    std::mutex sendExtMutex_;  // guards the three below
    std::string waveFileName_;
    bool sendingData_ = false;
    DTMFToneTable sendTones_;

    DTMFToneTable playTones_;
    int recordBufferNum_ = 4;
    int playBufferNum_ = 8;
    int playUnitMs_ = 100;
};
