#pragma once
#include <QString>

// A command byte as the operator reads it: control bytes in caret notation
// ("^A" for 0x01, "^M" for Enter), any other byte as its Windows-1251 character.
QString ShownCommand(char byte);

// The text of the command reference under the terminal: the unit's
// one-character commands and its unasked messages, one per line, made from
// the program's own command, slot and alert tables.
QString CommandReference();
