#pragma once
#include <QObject>

class QWidget;
namespace Ui { class TFormMain; }
namespace tornavel { struct Session; }

// The battery calibration: the advice panel PanelKA with its warnings, the
// confirmation and the "D" request to the polling thread.
class CalibrationPanel : public QObject {
    Q_OBJECT
public:
    CalibrationPanel(Ui::TFormMain& ui, tornavel::Session& session, QWidget* window, QObject* parent);

private:
    Ui::TFormMain& ui_;
    tornavel::Session& session_;
    QWidget* window_;
};
