#pragma once
// A session talking to one simulated Smart-UPS on a fake port.
#include <map>

#include "fakes.h"
#include "protocol/commands.h"
#include "serial/comport.h"
#include "session.h"

namespace tornavel::testing {

// What a prompt unit answers to every command the program reads. Every value
// differs from every other, so a value shown or stored in the wrong place is
// seen.
inline std::map<Bytes, Bytes> UnitAnswers()
{
    return {
        {"Y", "SM\r\n"},       {"R", "BYE\r\n"},          {"\x01", "Smart-UPS 1000\r\n"},
        {"c", "UPS_IDEN\r\n"}, {"n", "QS0512345678\r\n"}, {"m", "12/03/05\r\n"},
        {"Q", "08\r\n"},       {"P", "023.4\r\n"},        {">", "000\r\n"},
        {"x", "14/06/11\r\n"}, {"B", "27.45\r\n"},        {"g", "024\r\n"},
        {"C", "031.5\r\n"},    {"j", "0042:\r\n"},        {"f", "100.0\r\n"},
        {"k", "0\r\n"},        {"E", "336\r\n"},          {"s", "H\r\n"},
        {"o", "230\r\n"},      {"l", "196\r\n"},          {"u", "253\r\n"},
        {"N", "227.5\r\n"},    {"M", "231.4\r\n"},        {"L", "229.3\r\n"},
        {"O", "228.1\r\n"},    {"F", "50.00\r\n"},        {"9", "FF\r\n"},
        {"7", "0F\r\n"},       {"0", "A0\r\n"},           {"~", "01\r\n"},
        {"'", "04\r\n"},       {"8", "10\r\n"},           {"A", "OK\r\n"},
        {"W", "OK\r\n"},       {"U", "OK\r\n"},           {"D", "OK\r\n"},
        {"+", "OK\r\n"},       {"-", "OK\r\n"},
    };
}

struct UnitFixture {
    explicit UnitFixture(int realMicros = 0) : clock(realMicros)
    {
        device->SetResponder(TableResponder(UnitAnswers()));
        session.table.Add(1);
        session.table.SetApcIndex(0);
        session.hCom = device;
        session.events = &events;
    }
    FakeClock clock;
    FakeOpener opener;
    ComPort port{opener, clock};
    RecordingScreen screen;
    RecordingEvents events;
    Session session{screen};
    std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>(clock);
};

}  // namespace tornavel::testing
