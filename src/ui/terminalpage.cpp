#include "terminalpage.h"

#include <QAction>
#include <QKeyEvent>

#include "commandreference.h"
#include "protocol/commands.h"
#include "session.h"
#include "text/cp1251.h"
#include "ui_tformmain.h"
#include "widgetevents.h"

using tornavel::Bytes;

namespace {

// ImageUD's hint is the reference's state, not a tooltip.
const char* const kHint = "hint";
const QString kOpen = QStringLiteral("open");
const QString kClose = QStringLiteral("close");
constexpr int kHelpOpenHeight = 200;

// The only menu of the terminal: copying, in the window's language (Ctrl+C
// and Ctrl+A are commands there).
void GiveCopyMenu(QPlainTextEdit* area)
{
    auto* copy = new QAction(QStringLiteral("копировать"), area);
    copy->setEnabled(false);
    QObject::connect(area, &QPlainTextEdit::copyAvailable, copy, &QAction::setEnabled);
    QObject::connect(copy, &QAction::triggered, area, &QPlainTextEdit::copy);
    auto* selectAll = new QAction(QStringLiteral("выделить всё"), area);
    QObject::connect(selectAll, &QAction::triggered, area, &QPlainTextEdit::selectAll);
    area->addActions({copy, selectAll});
    area->setContextMenuPolicy(Qt::ActionsContextMenu);
}

std::optional<char> PrintableByte(const QString& text)
{
    if (text.size() != 1 || !text.front().isPrint()) return std::nullopt;
    const Bytes bytes = tornavel::Utf8ToCp1251(text.toStdString());
    // Characters Windows-1251 lacks come back as '?': they are not sent.
    if (bytes.size() != 1 || (bytes[0] == '?' && text != QStringLiteral("?"))) return std::nullopt;
    return bytes[0];
}

}  // namespace

std::optional<char> TerminalKeyByte(int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return '\r';
    case Qt::Key_Backspace: return '\b';
    case Qt::Key_Escape: return '\x1b';
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return '\t';
    default: break;
    }
    // Taken from the key, not the text: Qt may report Ctrl+A as "a", "\x01" or "".
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    const bool altOrMeta = modifiers & (Qt::AltModifier | Qt::MetaModifier);
    if (ctrl && !altOrMeta && key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<char>(key - Qt::Key_A + 1);
    if (ctrl || altOrMeta) return std::nullopt;
    return PrintableByte(text);
}

TerminalPage::TerminalPage(Ui::TFormMain& ui, tornavel::Session& session, std::function<void()> stopConnection,
                           QObject* parent)
    : QObject(parent), ui_(ui), session_(session), stopConnection_(std::move(stopConnection))
{
    LockTerminalArea();
    // The operator may add notes of his own; they live until the program ends.
    ui_.Help->setLineWrapMode(QPlainTextEdit::NoWrap);  // keeps the columns
    ui_.Help->setPlainText(CommandReference());

    OnClick(ui_.ImageTCLR, [this] { ImageTCLRClick(); });
    OnClick(ui_.ImageUD, [this] { ImageUDClick(); });
    // CheckECHOClick: the box toggles as usual, typing goes on in the terminal.
    connect(ui_.CheckECHO, &QCheckBox::clicked, ui_.TERM, [this] { ui_.TERM->setFocus(); });
}

void TerminalPage::LockTerminalArea()
{
    QPlainTextEdit* term = ui_.TERM;
    // Read-only refuses paste, cut, undo, middle-click paste and drops;
    // selecting and copying stay possible.
    term->setReadOnly(true);
    term->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    term->setAttribute(Qt::WA_InputMethodEnabled, false);
    GiveCopyMenu(term);
    term->installEventFilter(this);  // keys, and input methods a selectable area would still accept
}

bool TerminalPage::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        const std::optional<char> byte = TerminalKeyByte(key->key(), key->modifiers(), key->text());
        if (!byte) return false;  // no character: navigation and Ctrl+Insert work as usual
        TERMKeyPress(*byte);
        return true;  // the area itself never inserts the key
    }
    case QEvent::InputMethod: event->ignore(); return true;
    default: return QObject::eventFilter(watched, event);
    }
}

void TerminalPage::TabSheetTEShow()
{
    session_.requests.terminalMode = true;
    ui_.TERM->setFocus();
}

void TerminalPage::TERMKeyPress(char byte)
{
    ui_.ImageW->show();
    session_.requests.terminalAnswer.Set({});
    session_.requests.terminalCmd.Set(Bytes(1, byte));
    if (ui_.CheckECHO->isChecked()) AppendLine(ShownCommand(byte));  // control bytes as ^A, ^M...
}

void TerminalPage::ShowAnswer()
{
    const Bytes answer = session_.requests.terminalAnswer.Take();
    if (!answer.empty()) {
        AppendLine(QString::fromStdString(tornavel::Cp1251ToUtf8(answer)));
        AppendLine({});
        if (answer == tornavel::cmd::answer::kBye) {
            stopConnection_();  // the busy picture stays until the unit is disconnected
            return;
        }
    }
    ui_.ImageW->hide();
}

void TerminalPage::AppendLine(const QString& line)
{
    ui_.TERM->appendPlainText(line);
    ui_.TERM->moveCursor(QTextCursor::End);  // the newest line stays in view
}

void TerminalPage::ImageTCLRClick()
{
    ui_.TERM->clear();
    ui_.TERM->setFocus();
}

void TerminalPage::ImageUDClick()
{
    const bool opening = ui_.ImageUD->property(kHint).toString() == kOpen;
    const int helpHeight = opening ? kHelpOpenHeight : 0;
    // The terminal takes whatever the reference leaves, whatever was dragged before.
    QSplitter* splitter = ui_.Splitter1;
    const int room = splitter->contentsRect().height() - splitter->handleWidth();
    splitter->setSizes({room - helpHeight, helpHeight});
    ui_.ImageUD->setProperty(kHint, opening ? kClose : kOpen);
    ui_.ImageUD->setPixmap((opening ? ui_.ImageD : ui_.ImageU)->pixmap());
}
