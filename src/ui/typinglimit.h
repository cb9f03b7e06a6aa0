#pragma once

class QLineEdit;

// The operator may type, paste or drop at most `maxLength` characters into
// the box; what does not fit is cut from what was added. Texts the program
// puts there (a unit's answer) are shown whole, however long: QLineEdit's
// own maxLength would cut those too.
void LimitTyping(QLineEdit* box, int maxLength);
