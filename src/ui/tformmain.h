#pragma once
#include <QWidget>

namespace Ui { class TFormMain; }

// The main window.
class TFormMain : public QWidget {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    Ui::TFormMain* ui() const { return ui_; }

private:
    Ui::TFormMain* ui_;
};
