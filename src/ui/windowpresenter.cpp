#include "windowpresenter.h"

#include <ctime>

#include "protocol/devicetable.h"
#include "statusdisplay.h"
#include "text/cp1251.h"

using namespace tornavel;

void WindowPresenter::ExchangeBusy(bool busy)
{
    // The busy light: shown while the unit is asked something a user waits on.
    screen_.SetVisible("ImageW", busy);
    next_.ExchangeBusy(busy);
}

void WindowPresenter::FullReadStarted()
{
    // The wait panel, whose gauge counts the values read; the window handles
    // its events so the user sees it at once.
    screen_.SetText("LabelST", "идёт опрос устройства...");
    screen_.SetVisible("ImageW", true);
    screen_.SetVisible("PanelWA", true);
    screen_.SetMaximum("GaugeW", kReadSlotCount);
    screen_.SetValue("GaugeW", 0);
    screen_.SetPicture("ImageA", "ImageAON");
    screen_.ProcessMessages();
    next_.FullReadStarted();
}

void WindowPresenter::FullReadProgress(int slot)
{
    screen_.SetValue("GaugeW", slot);
    screen_.ProcessMessages();
    next_.FullReadProgress(slot);
}

void WindowPresenter::Connected(const apcrec& record)
{
    UpdateScreen(screen_, record);
    screen_.SetText("LabelST", "подключен");
    screen_.SetVisible("PanelWA", false);
    screen_.SetVisible("ImageW", false);
    screen_.SetPicture("ImageA", "ImageAOFF");
    next_.Connected(record);
}

void WindowPresenter::PollingStarted()
{
    staleness_.Start(std::time(nullptr));  // the full read has just filled the page
    next_.PollingStarted();
}

void WindowPresenter::PassStarted()
{
    screen_.SetPicture("ImageA", "ImageAON");
    next_.PassStarted();
}

void WindowPresenter::TestRequestServed()
{
    screen_.SetVisible("ImageW", false);  // lit by the window when the test was asked
    next_.TestRequestServed();
}

void WindowPresenter::ValueRead(int slot, const Bytes& answer)
{
    if (slot == kSlotStatus)
        screen_.SetText("EditSTATUS", MakeStatus(screen_, answer));
    else if (const std::string_view field = MonitorField(slot); !field.empty())
        screen_.SetText(field, Cp1251ToUtf8(answer));
    next_.ValueRead(slot, answer);
}

void WindowPresenter::CycleRead(const CycleReport& cycle)
{
    screen_.PostMessage(WindowMessage::DrawVolt);
    screen_.PostMessage(WindowMessage::SetLoad);
    screen_.PostMessage(WindowMessage::SetBatt);
    next_.CycleRead(cycle);
    staleness_.AfterCycle(cycle.answered.any(), std::time(nullptr));
}

void WindowPresenter::Pausing()
{
    screen_.SetPicture("ImageA", "ImageAOFF");
    next_.Pausing();
}

void WindowPresenter::Alert(const Bytes& token)
{
    ShowAlert(screen_, token);
    next_.Alert(token);
}

void WindowPresenter::ConnectionClosed(int port, bool deviceGone)
{
    ShowIdle(screen_);
    if (deviceGone) screen_.SetText("LabelST", PortGoneText(port));
    next_.ConnectionClosed(port, deviceGone);
}
