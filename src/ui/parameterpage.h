#pragma once
#include <QObject>
#include <QString>
#include <array>
#include <string>

#include "bytes.h"
#include "settings/fieldrules.h"

class QLabel;
class QLineEdit;
namespace Ui {
class TFormMain;
}
namespace tornavel {
struct Session;
}

// The page "изменение параметров": stepped settings, identity and date
// fields, register 0. Its changes are handed to the polling thread, which
// performs them and reports back through the completion of the core.
class ParameterPage : public QObject {
    Q_OBJECT
public:
    ParameterPage(Ui::TFormMain& ui, tornavel::Session& session, QObject* parent);
    // The page has become visible.
    void TabSheetKAShow();

private:
    // One row of the "установки" group.
    struct Setting {
        QLabel* label;
        QLineEdit* box;
        const tornavel::Bytes* command;
    };
    // One of the four fields of the "параметры" group.
    struct Field {
        QLineEdit* box;
        QLineEdit* monitorCopy;
        QLabel* hint;  // the " (dd/mm/yy)" patch of a date box, else null
        bool (*accept)(char32_t);
        tornavel::SaveOutcome (*prepare)(const std::string&, tornavel::ChangeRequestTexts&);
        QString lastText;  // what the box held after its previous change
    };

    void WireSettings();
    void WireFields();
    void WireRegisters();

    void LabelZSClick(QLabel* label);
    void RequestStep(const tornavel::Bytes& direction);  // ImageRIClick "+", ImageLEClick "-"

    void FieldTextChanged(Field& field);
    void KeepOnlyAcceptedInput(Field& field);
    bool FieldKeyPress(Field& field, QEvent* event);
    void ImageFLOPClick();

    void EditR0Change();
    void ImageGFClick();

    bool BeginSave(QWidget* group);
    void FinishSave(tornavel::SaveOutcome outcome, const tornavel::ChangeRequestTexts& texts, QLineEdit* box,
                    QLabel* hint);

    Ui::TFormMain& ui_;
    tornavel::Session& session_;
    std::array<Setting, 6> settings_;
    std::array<Field, 4> fields_;
    bool quietChange_ = false;  // the text changes without its change handler
};
