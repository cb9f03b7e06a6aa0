#include "terminalpage.h"

#include "session.h"
#include "ui_tformmain.h"

TerminalPage::TerminalPage(Ui::TFormMain& ui, tornavel::Session& session, std::function<void()> stopConnection,
                           QObject* parent)
    : QObject(parent), ui_(ui), session_(session), stopConnection_(std::move(stopConnection))
{
}

void TerminalPage::TabSheetTEShow()
{
    session_.requests.terminalMode = true;
}

void TerminalPage::ShowAnswer()
{
}
