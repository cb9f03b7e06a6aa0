#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

namespace upssim {

// A setting the UPS steps through a fixed cyclic list with "+" and "-".
struct SteppedSetting {
    std::vector<std::string> values;
    size_t index = 0;
};

// Where the measured values start and drift around.
struct LiveStart {
    double load;          // percent
    double charge;        // percent
    double batteryVolts;
    double temperature;   // degrees Celsius
    double input;         // line volts
    double minLine;
    double maxLine;
    double frequency;     // Hz
    double fullRuntime;   // minutes on battery at full charge and the starting load
    double outputDrop;    // volts the output stands below the input while on mains
};

// One unit's identity and settings as it leaves the factory.
struct UpsProfile {
    std::string model;                      // answer to Ctrl+A
    std::map<char, std::string> fields;     // "c", "n", "m", "x": texts written character by character
    std::map<char, std::string> fixed;      // ">", "g", "9", "7"; "X" and "G" follow the tests
    std::map<char, SteppedSetting> stepped; // "k", "E", "s", "o", "l", "u", "p", "e", "r", "q"
    std::array<unsigned char, 4> registers; // "0", "~", "'", "8"
    LiveStart live;
};

UpsProfile SmartUps1000(); // the unit of kind "ups"
UpsProfile SmartUps700();  // the unit of kind "ups2"

}  // namespace upssim
