#include "parameterpage.h"

#include "session.h"
#include "ui_tformmain.h"

ParameterPage::ParameterPage(Ui::TFormMain& ui, tornavel::Session& session, QObject* parent)
    : QObject(parent), ui_(ui), session_(session)
{
}

void ParameterPage::TabSheetKAShow()
{
    session_.requests.terminalMode = false;
}
