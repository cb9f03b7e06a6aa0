#include "linerecorder.h"

namespace tornavel::ctl {

namespace {

class RecordingDevice final : public SerialDevice {
public:
    RecordingDevice(std::unique_ptr<SerialDevice> inner, Clock& clock, LineRecord& record)
        : inner_(std::move(inner)), clock_(clock), record_(record)
    {
    }

    bool ReadSettings(LineSettings& settings) override { return inner_->ReadSettings(settings); }
    bool ApplySettings(const LineSettings& settings) override
    {
        const bool applied = inner_->ApplySettings(settings);
        LineSettings back;
        if (inner_->ReadSettings(back)) record_.settingsAfterOpen = back;
        return applied;
    }
    long Write(const Bytes& bytes) override
    {
        record_.steps.push_back({LineStep::Kind::Write, clock_.NowMs(), 0, bytes});
        return inner_->Write(bytes);
    }
    int Waiting() override
    {
        const int count = inner_->Waiting();
        record_.steps.push_back({LineStep::Kind::Waiting, clock_.NowMs(), count, {}});
        return count;
    }
    Bytes Read(int n) override
    {
        Bytes bytes = inner_->Read(n);
        record_.steps.push_back({LineStep::Kind::Read, clock_.NowMs(), 0, bytes});
        return bytes;
    }
    void Purge() override { inner_->Purge(); }
    void Close() override { inner_->Close(); }
    bool Vanished() override { return inner_->Vanished(); }

private:
    std::unique_ptr<SerialDevice> inner_;
    Clock& clock_;
    LineRecord& record_;
};

}  // namespace

std::unique_ptr<SerialDevice> RecordingOpener::Open(int number)
{
    auto device = inner_.Open(number);
    if (!device) return nullptr;
    return std::make_unique<RecordingDevice>(std::move(device), clock_, record_);
}

}  // namespace tornavel::ctl
