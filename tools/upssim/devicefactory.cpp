#include "device.h"

#include "garbagetalker.h"
#include "modem.h"
#include "smartups.h"
#include "upsprofile.h"

namespace upssim {

namespace {

// A port with nothing behind it that ever answers.
class SilentDevice : public Device {
public:
    void Receive(unsigned char, double) override {}
};

}  // namespace

const char* KindName(DeviceKind kind)
{
    switch (kind) {
    case DeviceKind::Ups: return "ups";
    case DeviceKind::Ups2: return "ups2";
    case DeviceKind::Modem: return "modem";
    case DeviceKind::Silent: return "silent";
    case DeviceKind::Garbage: return "garbage";
    }
    return "?";
}

bool IsUps(DeviceKind kind)
{
    return kind == DeviceKind::Ups || kind == DeviceKind::Ups2;
}

std::unique_ptr<Device> MakeDevice(DeviceKind kind, Line& line, std::mt19937& random,
                                   const DeviceSettings& settings, double now)
{
    switch (kind) {
    case DeviceKind::Ups: return std::make_unique<SmartUps>(SmartUps1000(), line, random, settings, now);
    case DeviceKind::Ups2: return std::make_unique<SmartUps>(SmartUps700(), line, random, settings, now);
    case DeviceKind::Modem: return std::make_unique<Modem>(line);
    case DeviceKind::Silent: return std::make_unique<SilentDevice>();
    case DeviceKind::Garbage: return std::make_unique<GarbageTalker>(line, random, now);
    }
    return nullptr;
}

}  // namespace upssim
