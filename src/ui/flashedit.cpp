#include "flashedit.h"

#include <QLineEdit>
#include <QPointer>
#include <QSet>

#include "eventloopclock.h"

namespace {
constexpr int kBlinks = 5;
constexpr int kPhaseMs = 50;
const QColor kRefusedColour(255, 160, 160);
}  // namespace

void FlashEdit(QLineEdit* box)
{
    // A click that arrives while the window waits must not start a second
    // blink of the same box: it would take the red for the colour to restore.
    static QSet<QLineEdit*> blinking;
    if (!box || blinking.contains(box)) return;
    blinking.insert(box);

    QPointer<QLineEdit> alive(box);
    const QPalette normal = box->palette();
    QPalette refused = normal;
    refused.setColor(QPalette::Base, kRefusedColour);
    EventLoopClock clock;
    for (int i = 0; i < kBlinks && alive; ++i) {
        box->setPalette(refused);
        box->repaint();
        clock.Sleep(kPhaseMs);
        if (!alive) break;
        box->setPalette(normal);
        box->repaint();
        clock.Sleep(kPhaseMs);
    }
    blinking.remove(box);
}
