#pragma once
#include <QObject>
#include <functional>

namespace Ui { class TFormMain; }
namespace tornavel { struct Session; }

// The page "терминал": every key typed goes to the unit as one command and
// the answers are listed; monitoring pauses while the page is shown.
class TerminalPage : public QObject {
    Q_OBJECT
public:
    // `stopConnection` acts as a click on "стоп" (an answer "BYE" ends the connection).
    TerminalPage(Ui::TFormMain& ui, tornavel::Session& session, std::function<void()> stopConnection,
                 QObject* parent);
    // The page has become visible.
    void TabSheetTEShow();
    // WM_USER+13: the polling thread has an answer.
    void ShowAnswer();

private:
    Ui::TFormMain& ui_;
    tornavel::Session& session_;
    std::function<void()> stopConnection_;
};
