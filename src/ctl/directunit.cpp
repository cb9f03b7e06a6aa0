#include "directunit.h"

#include "interruption.h"
#include "protocol/connection.h"
#include "settings/changestore.h"

namespace tornavel::ctl {

DirectUnit::DirectUnit(const PortName& port, std::unique_ptr<PortOpener> opener, Clock& clock)
    : name_(port),
      inner_(std::move(opener)),
      opener_(*inner_),
      session_(screen_),
      port_(opener_, clock),
      writer_(session_, port_),
      loop_(session_, port_)
{
    session_.table.Add(port.number);
    session_.alerts.SetObserver([this](const Bytes& token) {
        if (token.size() > 1) acknowledgement_ = token;  // "OK" or "NO"; alerts are one character
    });
}

DirectUnit::~DirectUnit()
{
    Close();
}

bool DirectUnit::Open(std::string& error)
{
    if (OpenAndRead(session_, port_, 1)) return true;
    if (opener_.lastOpened)
        error = name_.label + ": no Smart-UPS answers (no \"SM\" to \"Y\")";
    else if (const auto holder = opener_.Holder(name_.number))
        error = name_.label + ": " + name_.path + " is held by " +
                (holder->program.empty() ? "another program" : holder->program) + " (pid " +
                std::to_string(holder->pid) + ")";
    else
        error = name_.label + ": cannot open " + name_.path + " (absent, busy or not permitted)";
    return false;
}

apcrec DirectUnit::Record()
{
    return session_.table.Record(0);
}

void DirectUnit::ReadPowerReturn()
{
    tornavel::ReadPowerReturn(session_, port_);
}

SettingOutcome DirectUnit::Change(const NamedSetting& setting, const std::string& value)
{
    return BringSetting(*this, setting, session_.table.Slot(setting.slot), value);
}

std::optional<Bytes> DirectUnit::Perform(const ChangeRequestTexts& request)
{
    Requests& requests = session_.requests;
    requests.PostChange(request.changeCmd, request.changeField, request.changeValue);
    writer_.WriteChange();
    if (!requests.changeDone.load()) {
        // The window would try again next cycle; a shell command reports it.
        requests.ClearConnectionRequests();
        return std::nullopt;
    }
    CompleteChange(session_);
    return requests.changeAnswer.Get();
}

bool DirectUnit::Stopped()
{
    return EndSignal() != 0;
}

TestOutcome DirectUnit::Test(const Bytes& command)
{
    acknowledgement_.clear();
    session_.requests.PostCommand(command);
    loop_.Pass();  // the test goes out first, then the cycle reads the status
    return {true, acknowledgement_, session_.table.Slot(kSlotStatus)};
}

void DirectUnit::Close()
{
    if (!session_.hCom) return;
    CloseConnection(session_, port_);
}

}  // namespace tornavel::ctl
