#pragma once
// Starts upssim on pseudo-terminals in a temporary directory for a test.
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// How long a test waits for what the window must show: the window waits on
// the simulator's serial timing, and a loaded machine may be slow; this only
// bounds a broken build, it is not a measured time.
inline constexpr int kPatienceMs = 60000;

class Simulator {
public:
    explicit Simulator(const QStringList& ports, const QStringList& options = {})
    {
        logPath_ = dir_.filePath(QStringLiteral("line.log"));
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral(UPSSIM_PATH),
                       QStringList{QStringLiteral("--dir"), dir_.path(), QStringLiteral("--log"), logPath_} + options +
                           ports);
        QTRY_VERIFY_WITH_TIMEOUT(output().contains("ready"), kPatienceMs);
    }
    ~Simulator()
    {
        process_.terminate();
        process_.waitForFinished(3000);
    }
    QString dir() const { return dir_.path(); }
    // An event line on the simulator's standard input, e.g. "com1 mains-fail".
    void Event(const QString& line) { process_.write((line + QLatin1Char('\n')).toUtf8()); }
    // Every byte the simulated devices received, in order, per port.
    QByteArray Received(const QString& port) const
    {
        QFile log(logPath_);
        if (!log.open(QIODevice::ReadOnly)) return {};
        QByteArray bytes;
        for (const QByteArray& line : log.readAll().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() >= 4 && fields[1] == port.toLatin1() && fields[2] == "<")
                for (int i = 3; i < fields.size(); ++i) bytes.append(static_cast<char>(fields[i].toInt(nullptr, 16)));
        }
        return bytes;
    }

private:
    QByteArray output()
    {
        process_.waitForReadyRead(100);
        seen_ += process_.readAll();
        return seen_;
    }
    QTemporaryDir dir_;
    QString logPath_;
    QProcess process_;
    QByteArray seen_;
};
