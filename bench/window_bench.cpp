// Figures of the whole program against the simulator, without a user:
//   bench_window launch PORTS_DIR          launch-to-window time, RSS after a scan
//   bench_window monitor PORTS_DIR LOG N   monitoring cycle period over N cycles,
//                                          CPU use and RSS while monitoring
// The window is driven by clicking its own buttons, as in the window tests.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

#include "serial/posixport.h"
#include "tformmain.h"
#include "ui_tformmain.h"

namespace {

// Milliseconds since this process was started by exec.
double SinceProcessStartMs()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    stat.open(QIODevice::ReadOnly);
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble();  // field 22 of the whole line
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (now.tv_sec + now.tv_nsec / 1e9) * 1000.0 - startTicks * 1000.0 / sysconf(_SC_CLK_TCK);
}

double ResidentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

// Lets the window run for a while without spinning.
void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Times at which the simulated unit received "Q", from the simulator's byte log.
QList<double> StatusRequestTimes(const QString& logPath)
{
    QFile log(logPath);
    log.open(QIODevice::ReadOnly);
    QList<double> times;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 4 && f[1] == "com1" && f[2] == "<" && f[3] == "51") times.append(f[0].toDouble());
    }
    return times;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: bench_window launch|monitor PORTS_DIR [LOG N]\n");
        return 2;
    }
    tornavel::PosixPortOpener opener{tornavel::PortMap(args[2].toStdString())};
    TFormMain window(opener);
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed()) QApplication::processEvents();
    QApplication::processEvents();
    const double launchMs = SinceProcessStartMs();

    // The longest the window went without handling its events during the scan.
    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, sinceTick.restart());
    });
    ticker.start(10);
    sinceTick.start();
    Ui::TFormMain& ui = *window.ui();
    ui.BitBtnSCAN->click();
    ticker.stop();
    if (args[1] == QLatin1String("launch")) {
        // launch ms, RSS MB after the scan, longest stall ms during it
        std::printf("%.0f %.1f %lld\n", launchMs, ResidentMb(), static_cast<long long>(longestStall));
        return 0;
    }

    const QString logPath = args.value(3);
    const int cycles = args.value(4, QStringLiteral("20")).toInt();
    ui.UPS->setCurrentCell(0, 0);
    ui.BitBtnGO->click();
    const int before = StatusRequestTimes(logPath).size();
    const double cpuStart = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    while (StatusRequestTimes(logPath).size() < before + cycles + 1) Wait(1000);
    const double cpu = CpuSeconds() - cpuStart;
    const double seconds = wall.elapsed() / 1000.0;

    QList<double> times = StatusRequestTimes(logPath).mid(before);
    QList<double> periods;
    for (int i = 1; i < times.size(); ++i) periods.append(times[i] - times[i - 1]);
    std::sort(periods.begin(), periods.end());
    std::printf("monitoring cycle period: median of %lld = %.0f ms (min %.0f, max %.0f)\n",
                static_cast<long long>(periods.size()), periods[periods.size() / 2], periods.first(), periods.last());
    std::printf("CPU use while monitoring: %.2f %% of one core (%.2f s over %.1f s)\n", 100.0 * cpu / seconds, cpu,
                seconds);
    std::printf("resident memory while monitoring: %.1f MB\n", ResidentMb());

    ui.BitBtnGO->click();
    while (ui.BitBtnGO->text() != QLatin1String("go")) Wait(100);
    return 0;
}
