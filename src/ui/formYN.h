#pragma once
#include <QDialog>
#include <QPoint>

namespace Ui {
class TFormYesNo;
}

// The program's own yes/no question box: a borderless modal window with a
// picture, the question and the buttons "да" and "нет" on a striped panel.
// One instance is created hidden at program start and reused for every question.
class TFormYesNo : public QDialog {
    Q_OBJECT
public:
    explicit TFormYesNo(QWidget* parent = nullptr);
    ~TFormYesNo() override;

    // The program's dialog; main creates it right after the main window, and
    // the first call creates it if nobody has.
    static TFormYesNo& instance();

    // Shows the question ("|" breaks lines) modally, centred over the owner's
    // window or the screen; true only when "да" was pressed.
    bool ask(const QString& question, QWidget* owner);

    void setVisible(bool visible) override;
    void done(int code) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void FormShow();
    void FormClose();
    void RestoreDEF();
    void answer(bool yes);
    void showPicture();
    void ImageXXDblClick();
    void PaintBoxRDblClick();
    void PaintBoxRPaint();
    void FormMouseDown(const QMouseEvent& event);

    Ui::TFormYesNo* ui_;
    bool result_ = false;
    QChar imageLetter_ = u'q';   // 'q', 'r', 'b' or 'y': which picture ImageXX shows
    QChar stripeColour_ = u'g';  // 'g' green or 'r' red tile behind the buttons
    bool dragging_ = false;      // moving by hand where the system cannot move the window
    QPoint dragOffset_;
};

// Asks the program's dialog (see TFormYesNo::ask).
bool AskYesNo(const QString& question, QWidget* owner);
