#include "typinglimit.h"

#include <QLineEdit>
#include <algorithm>
#include <memory>

void LimitTyping(QLineEdit* box, int maxLength)
{
    // The text an edit started from: textEdited, which only the operator's
    // edits send, comes before the textChanged that updates this.
    auto before = std::make_shared<QString>(box->text());
    QObject::connect(box, &QLineEdit::textChanged, box, [box, before] { *before = box->text(); });
    QObject::connect(box, &QLineEdit::textEdited, box, [box, before, maxLength] {
        const QString text = box->text();
        // A longer text from the program may be edited, but not lengthened.
        const qsizetype limit = std::max<qsizetype>(maxLength, before->size());
        const qsizetype excess = text.size() - limit;
        if (excess <= 0) return;
        // What was added ends at the caret; its last characters go. Deleting
        // them as an edit keeps the box's undo and modified state, which the
        // input checks of the identity fields rely on.
        box->setSelection(box->cursorPosition() - static_cast<int>(excess), static_cast<int>(excess));
        box->del();
    });
}
