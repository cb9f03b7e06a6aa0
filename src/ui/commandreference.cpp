#include "commandreference.h"

#include <array>

#include "protocol/alerts.h"
#include "protocol/commands.h"
#include "protocol/devicetable.h"
#include "settings/changewriter.h"
#include "text/cp1251.h"

using namespace tornavel;

namespace {

constexpr int kCommandColumn = 5;  // the descriptions start in one column

struct SlotMeaning {
    Slot slot;
    const char* meaning;
};

// What the answer to each slot's command is; the command itself comes from
// the slot table, so the reference follows it.
constexpr std::array<SlotMeaning, kReadSlotCount> kSlotMeanings = {{
    {kSlotModel, "модель"},
    {kSlotName, "имя"},
    {kSlotSerial, "серийный номер"},
    {kSlotMadeDate, "дата выпуска (дд/мм/гг)"},
    {kSlotStatus, "статус: байт состояния, две шестнадцатеричные цифры"},
    {kSlotLoad, "нагрузка, %"},
    {kSlotBatteryCount, "количество батарей"},
    {kSlotBatteryDate, "дата замены батарей (дд/мм/гг)"},
    {kSlotBatteryVolts, "напряжение батарей"},
    {kSlotNominalVolts, "номинальное напряжение батарей"},
    {kSlotTemperature, "температура, °C"},
    {kSlotRuntime, "расчётное время на батареях"},
    {kSlotCharge, "заряд батарей, %"},
    {kSlotAlarmDelay, "задержка сигнала"},
    {kSlotSelfTestInterval, "интервал самотестирования"},
    {kSlotSensitivity, "чувствительность"},
    {kSlotOutputSetting, "выходное напряжение (установка)"},
    {kSlotLowTransfer, "напряжение переключения min"},
    {kSlotHighTransfer, "напряжение переключения max"},
    {kSlotMinLine, "мин. напряжение сети"},
    {kSlotMaxLine, "макс. напряжение сети"},
    {kSlotInputVolts, "входное напряжение"},
    {kSlotOutputVolts, "выходное напряжение"},
    {kSlotFrequency, "частота сети"},
    {kSlotLineQuality, "оценка качества сети"},
    {kSlotSeven, "служебное значение (читается при подключении)"},
    {kSlotRegister0, "регистр 0"},
    {kSlotRegister1, "регистр 1"},
    {kSlotRegister2, "регистр 2"},
    {kSlotRegister3, "регистр 3"},
}};

constexpr bool InSlotOrder()
{
    for (std::size_t i = 0; i < kSlotMeanings.size(); ++i)
        if (kSlotMeanings[i].slot != static_cast<int>(i) + 1) return false;
    return true;
}
static_assert(InSlotOrder(), "one meaning per read slot, in slot order");

struct CommandMeaning {
    const Bytes& command;
    const char* meaning;
};

QString Line(const Bytes& command, const QString& meaning)
{
    return ShownCommand(command.front()).leftJustified(kCommandColumn) + meaning + QLatin1Char('\n');
}

QString Line(const Bytes& command, const char* meaning)
{
    return Line(command, QString::fromUtf8(meaning));
}

QString Text(const Bytes& bytes)
{
    return QString::fromStdString(Cp1251ToUtf8(bytes));
}

QString ReadCommands()
{
    QString text;
    for (const SlotMeaning& entry : kSlotMeanings) {
        const Bytes& command = SlotCommand(entry.slot);
        QString meaning = QString::fromUtf8(entry.meaning);
        if (IsSteppedCommand(command))
            meaning +=
                QStringLiteral("; следом %1 или %2 меняют значение").arg(Text(cmd::kStepUp), Text(cmd::kStepDown));
        text += Line(command, meaning);
    }
    return text;
}

QString ActionCommands()
{
    const std::array<CommandMeaning, 6> actions = {{
        {cmd::kTestIndicators, "тест индикации"},
        {cmd::kTestBattery, "тест батарей"},
        {cmd::kTestMainsFailure, "имитация сбоя сети"},
        {cmd::kCalibration, "калибровка времени работы: начать или прервать"},
        {cmd::kStepUp, "следующее значение параметра"},
        {cmd::kStepDown, "предыдущее значение параметра"},
    }};
    QString text;
    for (const CommandMeaning& entry : actions) text += Line(entry.command, entry.meaning);
    text += Line(cmd::kProgrammingMode, QStringLiteral("дважды с паузой 2 с: режим программирования (ответ %1)")
                                            .arg(Text(cmd::answer::kProgrammingMode)));
    return text;
}

QString UnaskedMessages()
{
    QString text;
    for (const tercom& alert : alertTable) text += Line(Bytes(alert.code), alert.message);
    return text;
}

}  // namespace

QString ShownCommand(char byte)
{
    const auto code = static_cast<unsigned char>(byte);
    if (code < 0x20) return QStringLiteral("^") + QLatin1Char(static_cast<char>('@' + code));
    return Text(Bytes(1, byte));
}

QString CommandReference()
{
    return QStringLiteral(
               "Команды UPS: один символ, ответ - одна строка.\n"
               "Управляющие символы показаны так: ^A - Ctrl+A, ^M - Enter.\n") +
           Line(cmd::kSmartMode,
                QStringLiteral("включить интеллектуальный режим (ответ %1)").arg(Text(cmd::answer::kSmartMode))) +
           Line(cmd::kLeaveSmart, QStringLiteral("выйти из интеллектуального режима (ответ %1; "
                                                 "соединение завершается)")
                                      .arg(Text(cmd::answer::kBye))) +
           ReadCommands() + ActionCommands() + QStringLiteral("\nСообщения UPS без запроса:\n") + UnaskedMessages() +
           QStringLiteral("\nОтветы OK и NO показываются в поле сообщений UPS, а не здесь.\n");
}
