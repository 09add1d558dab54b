// Soak: a window on a pseudo-terminal takes a long stream of reports, as fast
// as it absorbs them, while the port is opened anew every so often (so that
// full loads of the settings keep happening). Prints the reports per second
// and the resident memory once warmed up and at the end; fails if memory
// grew by more than the allowance or the window fell behind for good.
//
//   soak [REPORTS] [ALLOWANCE_KB]      (defaults 1000000 and 2048; 0: no check,
//                                       for builds whose allocator keeps
//                                       freed memory on purpose)

#include "pseudoterminal.h"
#include "panel.h"
#include "testenv.h"

#include "device/protocol/commands.h"
#include "device/protocol/reports.h"
#include "device/ports/portline.h"
#include "panel/frm718.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

long residentKilobytes()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

QByteArray timeReport(long i)
{
    const Frames::ReportDate date{2026, 12, 6};
    return Frames::timeReportFrame(1 + int(i / 86400 % 365), int(i / 3600 % 24), int(i / 60 % 60), int(i % 60), &date);
}

QString timeText(long i)
{
    const int day = 1 + int(i / 86400 % 365), h = int(i / 3600 % 24), m = int(i / 60 % 60), s = int(i % 60);
    return QString::asprintf("%03d %02d:%02d:%02d   |   12-06-2026", day, h, m, s);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long reports = argc > 1 ? std::atol(argv[1]) : 1000000;
    const long allowance = argc > 2 ? std::atol(argv[2]) : 2048;

    Program::setIdentity();
    TempSettings settings;
    settings.hideMachinePorts();
    Pty pty;
    settings.set("Ports/1", pty.slavePath());
    settings.set("Settings/Comport", "1");
    frm718 window(new PortLine);
    const Controls ui{window};
    window.Form_Load();
    window.show();

    std::atomic<long> written{0};
    std::atomic<bool> failed{false};
    std::thread writer([&] {
        const QByteArray status = Frames::statusReportFrame(24, 1, 1, 0x53, 1, Frames::offsetDigits(250));
        for (long i = 0; i < reports; ++i) {
            QByteArray chunk = timeReport(i);
            if (i % 10 == 0)
                chunk += status;
            if (!pty.write(chunk)) {
                failed = true;
                return;
            }
            written = i + 1;
        }
    });

    long warmKb = 0;
    QElapsedTimer clock;
    clock.start();
    const QString last = timeText(reports - 1);
    QTimer every;
    every.setInterval(50);
    int ticks = 0;
    int behind = 0;
    QObject::connect(&every, &QTimer::timeout, [&] {
        if (!warmKb && written > reports / 20)
            warmKb = residentKilobytes();
        // Open the port anew now and then: the next status report is loaded
        // into every control.
        if (++ticks % 4 == 0 && written < reports) {
            ui.cmbComports->setCurrentIndex(-1);
            ui.cmbComports->setCurrentIndex(0);
        }
        if (failed || (written == reports && ui.lblGeneratorTime->text() == last))
            app.quit();
        // The last report may have met a reopening of the port: send it again.
        if (written == reports && ++behind % 10 == 0)
            pty.write(timeReport(reports - 1));
        if (clock.elapsed() > 30 * 60 * 1000)  // far behind any sane pace
            app.exit(2);
    });
    every.start();
    const int result = app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    writer.join();
    const long endKb = residentKilobytes();

    std::printf("%ld reports in %.1f s (%.0f a second); resident memory %ld kB once warm, %ld kB at the end (%+ld kB)\n",
                long(written), seconds, written / seconds, warmKb, endKb, endKb - warmKb);
    if (failed || result != 0) {
        std::printf("the line failed or the window fell behind\n");
        return 1;
    }
    if (allowance > 0 && warmKb && endKb - warmKb > allowance) {
        std::printf("memory grew by more than %ld kB\n", allowance);
        return 1;
    }
    return 0;
}
