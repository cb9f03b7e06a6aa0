#pragma once
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace Ui {
class TFormMain;
}
namespace tornavel {
struct Session;
}

// The byte a key sends to the unit, or none for a key without a character
// (modifiers alone, navigation, function keys, Alt combinations). Enter,
// Backspace, Escape and Tab give 13, 8, 27 and 9 whatever the modifiers, Ctrl
// with a letter 1 to 26, a printable character its Windows-1251 byte;
// characters outside Windows-1251 give none.
std::optional<char> TerminalKeyByte(int key, Qt::KeyboardModifiers modifiers, const QString& text);

// The page "терминал": every key typed goes to the unit as one command and
// the answers are listed; monitoring pauses while the page is shown. The
// terminal area changes only through this page: typing, pasting, dropping
// and input methods never edit it.
class TerminalPage : public QObject {
    Q_OBJECT
public:
    // `stopConnection` acts as a click on "стоп" (an answer "BYE" ends the connection).
    TerminalPage(Ui::TFormMain& ui, tornavel::Session& session, std::function<void()> stopConnection, QObject* parent);
    // The page has become visible.
    void TabSheetTEShow();
    // WM_USER+13: the polling thread has an answer.
    void ShowAnswer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LockTerminalArea();
    void TERMKeyPress(char byte);
    void ImageTCLRClick();
    void ImageUDClick();
    void AppendLine(const QString& line);

    Ui::TFormMain& ui_;
    tornavel::Session& session_;
    std::function<void()> stopConnection_;
};
