#include "upsprofile.h"

namespace upssim {

namespace {

// The value lists of a 230 V Smart-UPS; each profile picks its starting
// place and brings its own lists of how power comes back.
std::map<char, SteppedSetting> Settings230V(size_t alarm, size_t selfTest, size_t sensitivity, size_t output,
                                               size_t lower, size_t upper, std::map<char, SteppedSetting> powerReturn)
{
    std::map<char, SteppedSetting> settings = {
        {'k', {{"0", "T", "L", "N"}, alarm}},
        {'E', {{"336", "168", "ON ", "OFF"}, selfTest}},
        {'s', {{"H", "M", "L"}, sensitivity}},
        {'o', {{"220", "225", "230", "240"}, output}},
        {'l', {{"188", "196", "204", "208"}, lower}},
        {'u', {{"253", "257", "261", "265"}, upper}},
    };
    settings.merge(powerReturn);
    return settings;
}

}  // namespace

UpsProfile SmartUps1000()
{
    UpsProfile p;
    p.model = "Smart-UPS 1000";
    p.fields = {{'c', "UPS_IDEN"}, {'n', "QS0512345678"}, {'m', "12/03/05"}, {'x', "14/06/11"}};
    p.fixed = {{'>', "000"}, {'g', "024"}, {'9', "FF"}, {'7', "0F"}, {'X', "NO"}, {'G', "O"}};
    // Grace delay, return charge, wake-up delay, low-battery warning.
    p.stepped = Settings230V(0, 0, 0, 2, 1, 0,
                             {{'p', {{"020", "180", "300", "600"}, 0}},
                              {'e', {{"00", "01", "02", "03"}, 0}},
                              {'r', {{"000", "060", "180", "300"}, 0}},
                              {'q', {{"02", "05", "07", "10"}, 0}}});
    p.registers = {0xA0, 0x01, 0x04, 0x10};
    p.live = {23.4, 100.0, 27.45, 31.5, 229.3, 227.5, 231.4, 50.00, 42.0, 1.2};
    return p;
}

UpsProfile SmartUps700()
{
    UpsProfile p;
    p.model = "Smart-UPS 700";
    p.fields = {{'c', "SRV_ROOM"}, {'n', "NS9907654321"}, {'m', "21/09/99"}, {'x', "04/11/03"}};
    p.fixed = {{'>', "000"}, {'g', "024"}, {'9', "FF"}, {'7', "0F"}, {'X', "OK"}, {'G', "L"}};
    // Another model, other lists: never assumed by the program.
    p.stepped = Settings230V(1, 1, 1, 2, 0, 1,
                             {{'p', {{"020", "090", "180", "360"}, 1}},
                              {'e', {{"00", "15", "50"}, 0}},
                              {'r', {{"000", "120", "240"}, 0}},
                              {'q', {{"02", "05", "08"}, 1}}});
    p.registers = {0xB0, 0x02, 0x00, 0x10};
    p.live = {41.7, 100.0, 27.60, 28.9, 226.8, 224.1, 229.6, 50.01, 17.0, 0.9};
    return p;
}

}  // namespace upssim
