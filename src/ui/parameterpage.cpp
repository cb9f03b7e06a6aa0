#include "parameterpage.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <utility>

#include "flashedit.h"
#include "protocol/commands.h"
#include "protocol/devicetable.h"
#include "session.h"
#include "text/cp1251.h"
#include "typinglimit.h"
#include "ui_tformmain.h"
#include "widgetevents.h"

using namespace tornavel;

namespace {

const QColor kSelectedColour(128, 0, 0);
constexpr int kLabelDrop = 3;  // each caption stands this much lower than its box

void SetFontColour(QLabel* label, const QColor& colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

// Icons and arrows stand in a row when their top is the top of its box.
bool InRow(const QWidget* icon, const QLineEdit* box)
{
    return icon->y() == box->y();
}

void MoveToRow(QWidget* icon, const QLineEdit* box)
{
    icon->move(icon->x(), box->y());
}

QString ShownText(const Bytes& answer)
{
    return QString::fromStdString(Cp1251ToUtf8(answer));
}

}  // namespace

ParameterPage::ParameterPage(Ui::TFormMain& ui, Session& session, QObject* parent)
    : QObject(parent),
      ui_(ui),
      session_(session),
      settings_{{
          {ui.LabelZS, ui.EditZS, &cmd::kAlarmDelay},
          {ui.LabelIS, ui.EditIS, &cmd::kSelfTestInterval},
          {ui.LabelCH, ui.EditCH, &cmd::kSensitivity},
          {ui.LabelUO, ui.EditUO, &cmd::kOutputSetting},
          {ui.LabelMI, ui.EditMI, &cmd::kLowTransfer},
          {ui.LabelMA, ui.EditMA, &cmd::kHighTransfer},
      }},
      fields_{{
          {ui.EditNA, ui.EditNAME, nullptr, &AcceptIdentityChar, &PrepareSaveName, {}},
          {ui.EditSN, ui.EditSERIAL, nullptr, &AcceptIdentityChar, &PrepareSaveSerial, {}},
          {ui.EditDA, ui.EditDATA, ui.PanelDA, &AcceptIdentityChar, &PrepareSaveMadeDate, {}},
          {ui.EditDZ, ui.EditDATAZAM, ui.PanelDZ, &AcceptBatteryDateChar, &PrepareSaveBatteryDate, {}},
      }}
{
    for (const auto& [box, maxLength] :
         {std::pair{ui.EditNA, 8}, std::pair{ui.EditSN, 14}, std::pair{ui.EditDZ, 8}, std::pair{ui.EditR0, 2}})
        LimitTyping(box, maxLength);
    WireSettings();
    WireFields();
    WireRegisters();
    LabelZSClick(ui_.LabelZS);
}

void ParameterPage::TabSheetKAShow()
{
    session_.requests.terminalMode = false;
    const std::pair<QLineEdit*, QLineEdit*> copies[] = {
        {ui_.EditNA, ui_.EditNAME},   {ui_.EditSN, ui_.EditSERIAL}, {ui_.EditDZ, ui_.EditDATAZAM},
        {ui_.EditDA, ui_.EditDATA},   {ui_.EditZS, ui_.EditSIGNAL}, {ui_.EditIS, ui_.EditINTSAMOT},
        {ui_.EditCH, ui_.EditSENSIT}, {ui_.EditUO, ui_.EditUout},   {ui_.EditMI, ui_.EditUPmin},
        {ui_.EditMA, ui_.EditUPmax},
    };
    for (const auto& [box, monitorCopy] : copies) box->setText(monitorCopy->text());
    const std::pair<QLineEdit*, int> registers[] = {
        {ui_.EditR0, kSlotRegister0},
        {ui_.EditR1, kSlotRegister1},
        {ui_.EditR2, kSlotRegister2},
        {ui_.EditR3, kSlotRegister3},
    };
    for (const auto& [box, slot] : registers) box->setText(ShownText(session_.table.Slot(slot)));
    // Filling the boxes ran their change handlers, which may have shown these.
    ui_.ImageFLOP->hide();
    ui_.ImageGF->hide();
}

// --- the "установки" group -------------------------------------------------

void ParameterPage::WireSettings()
{
    for (const Setting& setting : settings_) {
        QLabel* label = setting.label;
        OnClick(label, [this, label] { LabelZSClick(label); });
        OnDoubleClick(setting.box, [this, label] { LabelZSClick(label); });
    }
    OnClick(ui_.ImageRI, [this] { RequestStep(cmd::kStepUp); });
    OnClick(ui_.ImageLE, [this] { RequestStep(cmd::kStepDown); });
}

void ParameterPage::LabelZSClick(QLabel* label)
{
    for (const Setting& setting : settings_) SetFontColour(setting.label, Qt::black);
    SetFontColour(label, kSelectedColour);
    const int top = label->y() - kLabelDrop;
    ui_.ImageLE->move(ui_.ImageLE->x(), top);
    ui_.ImageRI->move(ui_.ImageRI->x(), top);
}

void ParameterPage::RequestStep(const Bytes& direction)
{
    if (session_.requests.eepromChange) return;
    for (const Setting& setting : settings_) {
        if (!InRow(ui_.ImageRI, setting.box)) continue;
        ui_.ImageW->show();
        ui_.LabelST->setText(QStringLiteral("..."));
        session_.requests.PostChange(*setting.command, direction);
        return;
    }
}

// --- the "параметры" group -------------------------------------------------

void ParameterPage::WireFields()
{
    for (Field& field : fields_) {
        field.lastText = field.box->text();
        connect(field.box, &QLineEdit::textChanged, this, [this, &field] { FieldTextChanged(field); });
        OnEvent(field.box, QEvent::KeyPress, [this, &field](QEvent* event) { return FieldKeyPress(field, event); });
    }
    OnClick(ui_.ImageFLOP, [this] { ImageFLOPClick(); });
}

// EditNAChange, EditSNChange, EditDAChange, EditDZChange.
void ParameterPage::FieldTextChanged(Field& field)
{
    KeepOnlyAcceptedInput(field);
    if (quietChange_) return;
    MoveToRow(ui_.ImageFLOP, field.box);
    ui_.ImageFLOP->setVisible(field.box->text() != field.monitorCopy->text());
    const bool dateBox = field.hint != nullptr;
    if (!dateBox) return;
    // The slash makes the text change once more; that run finds 3 or 6
    // characters and adds nothing. setText leaves the caret at the end.
    if (const auto slashed = AutoSlash(field.box->text().toStdString()))
        field.box->setText(QString::fromStdString(*slashed));
}

// Typed keys are filtered as they come (FieldKeyPress); this catches what
// arrives by other ways: pasting, dropping, an input method. What the user
// added lies between the unchanged front and the unchanged end of the text;
// refused characters are taken out of it. Texts the program sets (the UPS's
// answers) are shown as they are.
void ParameterPage::KeepOnlyAcceptedInput(Field& field)
{
    const QString before = std::exchange(field.lastText, field.box->text());
    const QString& text = field.lastText;
    if (!field.box->isModified()) return;  // setText clears the flag

    const qsizetype shorter = std::min(before.size(), text.size());
    qsizetype front = 0;
    while (front < shorter && text[front] == before[front]) ++front;
    qsizetype back = 0;
    while (back < shorter - front && text[text.size() - 1 - back] == before[before.size() - 1 - back]) ++back;

    const QString added = text.mid(front, text.size() - front - back);
    QString kept;
    for (char32_t c : added.toUcs4())
        if (field.accept(c)) kept += QString::fromUcs4(&c, 1);
    if (kept == added) return;

    const bool wasQuiet = std::exchange(quietChange_, true);
    field.box->setText(text.left(front) + kept + text.right(back));
    field.box->setCursorPosition(static_cast<int>(front + kept.size()));
    quietChange_ = wasQuiet;
}

// EditNAKeyPress (EditNA, EditSN, EditDA), EditDZKeyPress, and EditDZKeyDown
// for Backspace in both date boxes. True swallows the key.
bool ParameterPage::FieldKeyPress(Field& field, QEvent* event)
{
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool dateBox = field.hint != nullptr;
    if (dateBox && key->key() == Qt::Key_Backspace) {
        // Take the slash away first, quietly, so the key then deletes the
        // digit before it and the change handler does not put it back.
        const QString text = field.box->text();
        if (BackspaceRemovesSlash(text.toStdString())) {
            const bool wasQuiet = std::exchange(quietChange_, true);
            field.box->setText(text.chopped(1));
            quietChange_ = wasQuiet;
        }
        return false;
    }
    // Shortcuts insert nothing themselves; what a paste brings is checked
    // once it is in the box.
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) return false;
    // Dropping the key (rather than correcting afterwards) keeps a selection.
    // Only characters are judged: editing keys such as Delete (which X11
    // reports as the text 0x7F) insert nothing.
    for (char32_t c : key->text().toUcs4())
        if (QChar::isPrint(c) && !field.accept(c)) return true;
    return false;
}

void ParameterPage::ImageFLOPClick()
{
    if (!BeginSave(ui_.PanelPA)) return;
    for (Field& field : fields_) {
        if (!InRow(ui_.ImageFLOP, field.box)) continue;
        ChangeRequestTexts texts;
        const SaveOutcome outcome = field.prepare(field.box->text().toStdString(), texts);
        FinishSave(outcome, texts, field.box, field.hint);
        return;
    }
}

// --- the "регистры" group --------------------------------------------------

void ParameterPage::WireRegisters()
{
    connect(ui_.EditR0, &QLineEdit::textChanged, this, &ParameterPage::EditR0Change);
    OnClick(ui_.ImageGF, [this] { ImageGFClick(); });
}

void ParameterPage::EditR0Change()
{
    MoveToRow(ui_.ImageGF, ui_.EditR0);
    ui_.ImageGF->setVisible(ui_.EditR0->text() != ShownText(session_.table.Slot(kSlotRegister0)));
}

void ParameterPage::ImageGFClick()
{
    if (!BeginSave(ui_.PanelRE)) return;
    ChangeRequestTexts texts;
    const SaveOutcome outcome = PrepareSaveRegister0(ui_.EditR0->text().toStdString(), texts);
    FinishSave(outcome, texts, ui_.EditR0, nullptr);
}

// --- saving ----------------------------------------------------------------

bool ParameterPage::BeginSave(QWidget* group)
{
    if (session_.requests.eepromChange) return false;
    QProgressBar* gauge = ui_.GaugeX;
    gauge->setGeometry(group->x(), gauge->y(), group->width(), gauge->height());
    ui_.ImageW->show();
    ui_.LabelST->setText(QStringLiteral("..."));
    return true;
}

void ParameterPage::FinishSave(SaveOutcome outcome, const ChangeRequestTexts& texts, QLineEdit* box, QLabel* hint)
{
    switch (outcome) {
    case SaveOutcome::Request: session_.requests.PostChange(texts.changeCmd, texts.changeValue); return;
    case SaveOutcome::Flash:
        if (hint) hint->hide();
        FlashEdit(box);
        if (hint) hint->show();
        break;
    case SaveOutcome::Refused: break;
    }
    // Nothing goes to the line, so no line operation would take it away.
    ui_.ImageW->hide();
}
