#include "calibrationpanel.h"

#include "session.h"
#include "ui_tformmain.h"

CalibrationPanel::CalibrationPanel(Ui::TFormMain& ui, tornavel::Session& session, QWidget* window, QObject* parent)
    : QObject(parent), ui_(ui), session_(session), window_(window)
{
}
