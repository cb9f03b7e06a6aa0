#pragma once
#include <QObject>

namespace Ui { class TFormMain; }
namespace tornavel { struct Session; }

// The page "изменение параметров": stepped settings, identity and date
// fields, register 0. Its changes are handed to the polling thread.
class ParameterPage : public QObject {
    Q_OBJECT
public:
    ParameterPage(Ui::TFormMain& ui, tornavel::Session& session, QObject* parent);
    // The page has become visible.
    void TabSheetKAShow();

private:
    Ui::TFormMain& ui_;
    tornavel::Session& session_;
};
