#pragma once

class QLineEdit;

// Refused input: the box blinks light red five times, half a second in all.
// It runs on the window thread and keeps the window alive meanwhile; a box
// that is already blinking is left to finish.
void FlashEdit(QLineEdit* box);
