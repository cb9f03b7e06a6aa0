#pragma once

#include "answerfaults.h"
#include "bytelog.h"
#include "device.h"
#include "faults.h"
#include "openwatch.h"

#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace upssim {

// One simulated serial port: a pseudo-terminal whose slave is linked as
// DIR/comN, the device at its far end, and the line between them. Output is
// paced like 2400 baud and kept only while a program holds the port open.
class PtyPort : public Line {
public:
    PtyPort(std::string name, DeviceKind kind, std::string dir, Faults faults, const DeviceSettings& settings,
            ByteLog& log, OpenWatch& watch, std::mt19937& random, double now);
    ~PtyPort() override;
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    const std::string& name() const { return name_; }
    DeviceKind kind() const { return kind_; }
    Device& device() { return *device_; }

    // Cable in: a new pseudo-terminal and its link; prints "comN -> PATH (KIND)".
    bool Plug(double now, std::string& error);
    // Cable out: the pseudo-terminal is closed and its link removed.
    void Unplug(double now);
    bool plugged() const { return master_ >= 0; }
    void SetSilent(bool silent) { silent_ = silent; }
    // The answer delay (--delay) from the next command on.
    void SetDelay(double ms) { faults_.delayMs = ms; }
    void Note(const std::string& text) { log_.Note(name_, text); }

    // The main loop's side.
    int heldFd() const { return state_ == State::Held ? master_ : -1; }
    int watchId() const { return watchId_; }
    // The device file was opened and closed: true for a close, in the order they happened.
    void Accessed(const std::vector<bool>& closes, double now);
    void ReadInput(double now);
    // The master reports a hang-up: nobody may hold the port any more.
    void HangUp(double now) { Accessed({}, now); }
    void Service(double now);
    double NextWake() const;

    // Line
    void Answer(std::string bytes) override;
    void Alert(std::string bytes) override;
    void Report(const std::string& text) override;

private:
    enum class State { Unplugged, Unheld, Held };
    struct Chunk {
        std::string bytes;
        double notBefore;
        size_t sent = 0;
    };

    void BecomeHeld();
    void Released(double now, bool reopened);
    void ClearLeftovers(double now, bool newHolder);
    void Receive(unsigned char byte, double now);
    void Enqueue(std::string bytes, double notBefore);
    void DropQueue();
    void CloseMaster();

    std::string name_;
    DeviceKind kind_;
    std::string link_;
    Faults faults_;
    AnswerFaults answerFaults_;
    ByteLog& log_;
    OpenWatch& watch_;
    std::unique_ptr<Device> device_;

    int master_ = -1;
    std::string slavePath_;
    int watchId_ = -1;
    unsigned holders_ = 0;      // opens of the device file not yet closed
    unsigned ownOpens_ = 0;     // accesses of our own that the watch will report
    unsigned ownCloses_ = 0;
    State state_ = State::Unplugged;
    bool silent_ = false;
    unsigned received_ = 0;     // bytes since the cable went in (for --pull-after)
    double lastArrival_ = 0.0;  // when the byte being answered came
    double lineFreeAt_ = 0.0;   // when the line can carry the next byte
    std::deque<Chunk> queue_;
    size_t queuedBytes_ = 0;
};

}  // namespace upssim
