// Time reports through a pseudo-terminal into the window, as a unit sends
// them on a serial line: how soon one is on screen, and how many a second the
// window keeps up with.
//
//   bench_reports latency [--runs N] [--samples N] [--reference] [--via raw|rfc2217]
//   bench_reports throughput [--runs N] [--reference] [--single]
//
// The window is the panel's own, started as the program starts it
// (Form_Load, show) with its real serial line, which the settings point at
// the pseudo-terminal; the benchmark writes on the terminal's master side
// from a thread of its own. --reference measures instead the least any window
// could do: the same controls, a QSerialPort on the same terminal, the report
// framing, and the generator time written into its label, nothing else.
// --single writes every report with a system call of its own instead of a
// millisecond's reports at once. --via puts ser2net on loopback between the
// terminal and the panel, which then reaches the unit as a network line, raw
// or through RFC 2217; ser2net is set up as the README shows it for a unit
// (9600n81,local, kickolduser, no character delay).
//
// Prints Markdown, and one "RESULT key value" line per figure.

#include "reportstream.h"
#include "shownidle.h"

#include "pseudoterminal.h"
#include "ser2net.h"
#include "testenv.h"

#include "device/protocol/commands.h"
#include "device/lines/lineformat.h"
#include "device/ports/portline.h"
#include "device/protocol/reports.h"
#include "ui_frm718.h"
#include "panel/frm718.h"

#include <QApplication>
#include <QLabel>
#include <QSerialPort>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Every report in a write of its own, as a unit's serial driver would hand
// them over one by one; otherwise all of them in one write.
bool singleWrites = false;

bool writeFrames(int fd, qint64 first, qint64 count)
{
    if (singleWrites) {
        for (qint64 n = first; n < first + count; ++n) {
            const auto frame = ReportStream::frame(n);
            if (!writeAll(fd, frame.data(), frame.size()))
                return false;
        }
        return true;
    }
    std::vector<char> bytes;
    bytes.reserve(std::size_t(count) * ReportStream::FrameSize);
    for (qint64 n = first; n < first + count; ++n) {
        const auto frame = ReportStream::frame(n);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    return writeAll(fd, bytes.data(), bytes.size());
}

template <class T>
T quantile(std::vector<T> values, double q)
{
    if (values.empty())
        return T{};
    std::sort(values.begin(), values.end());
    const auto index = std::size_t(q * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

// The window under test: the panel, or the reference window.
class Subject
{
public:
    virtual ~Subject() = default;
    virtual QWidget &window() = 0;
    virtual QLabel &generatorTime() = 0;
    virtual bool lineOpen() const = 0;
};

class Panel final : public Subject
{
public:
    explicit Panel(const QString &line)
    {
        m_settings.hideMachinePorts();
        m_settings.set(QStringLiteral("Ports/16"), line);
        m_settings.set(QStringLiteral("Settings/Comport"), QStringLiteral("16"));
        m_window = std::make_unique<frm718>(m_line = new PortLine);
        m_window->Form_Load();
        m_window->show();
    }
    QWidget &window() override { return *m_window; }
    QLabel &generatorTime() override { return *m_window->findChild<QLabel *>(QStringLiteral("lblGeneratorTime")); }
    bool lineOpen() const override { return m_line->isOpen(); }

private:
    TempSettings m_settings;
    std::unique_ptr<frm718> m_window;
    PortService *m_line = nullptr;
};

class Reference final : public Subject, private Frames::ReportSink
{
public:
    explicit Reference(const QString &line)
    {
        m_ui.setupUi(&m_window);
        m_port.setPortName(line);
        m_port.setBaudRate(LineFormat::BitRate);
        if (m_port.open(QIODevice::ReadWrite)) {
            QObject::connect(&m_port, &QSerialPort::readyRead, [this] {
                m_framer.ProcessReceivedBytes(m_port.readAll(), *this);
            });
        }
        m_window.show();
    }
    QWidget &window() override { return m_window; }
    QLabel &generatorTime() override { return *m_ui.lblGeneratorTime; }
    bool lineOpen() const override { return m_port.isOpen(); }

private:
    void ShowGeneratorTime(const quint8 *report, qint16) override
    {
        m_ui.lblGeneratorTime->setText(Frames::generatorTimeText(report, true));
    }
    void ApplyStatus(const quint8 *) override {}

    QWidget m_window;
    Ui::frm718 m_ui;
    QSerialPort m_port;
    Frames::ReportFramer m_framer;
};

// Tells when the label has been painted with a new report and the window
// handed to the screen: the repaint that draws the label is let run to its
// end (backing store flushed), and the time taken after it.
class ScreenClock final : public QObject
{
public:
    ScreenClock(QWidget &window, QLabel &label)
        : m_label(label)
    {
        window.installEventFilter(this);
        window.windowHandle()->installEventFilter(this);
        label.installEventFilter(this);
    }

    // Called on the window's thread with the report number now on screen.
    std::function<void(qint64 number, qint64 when)> shown;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched == &m_label) {
            m_labelPainted = true;
            return false;
        }
        if (event->type() != QEvent::UpdateRequest || m_inside)
            return false;
        m_inside = true;
        m_labelPainted = false;
        static_cast<QObject *>(watched)->event(event);
        m_inside = false;
        if (m_labelPainted && shown)
            shown(ReportStream::numberShown(m_label.text()), monotonicNs());
        return true;
    }

private:
    QLabel &m_label;
    bool m_inside = false;
    bool m_labelPainted = false;
};

struct Options
{
    int runs = 5;
    int samples = 2000;
    bool reference = false;
    bool single = false;
    QString via;  // raw, rfc2217, or empty: the terminal itself
};

// Report n written up to its terminator, then after a pause the terminator
// alone; from that write to the label on screen. The window is idle when the
// terminator arrives, as it is between reports on a real line.
int latency(QApplication &app, Subject &subject, int fd, const Options &options)
{
    ScreenClock clock(subject.window(), subject.generatorTime());
    std::mutex lock;
    std::condition_variable changed;
    qint64 shownNumber = -1, shownAt = 0;
    clock.shown = [&](qint64 number, qint64 when) {
        const std::lock_guard<std::mutex> hold(lock);
        shownNumber = number;
        shownAt = when;
        changed.notify_all();
    };

    std::vector<std::vector<double>> runs(std::size_t(options.runs));
    int lost = 0;
    std::thread writer([&] {
        std::mt19937 random(718);
        std::uniform_int_distribution<int> gap(300, 1500);
        qint64 n = 1000;
        for (auto &run : runs) {
            for (int s = 0; s < options.samples; ++s, ++n) {
                const auto frame = ReportStream::frame(n);
                writeAll(fd, frame.data(), frame.size() - 1);
                std::this_thread::sleep_for(300us);
                const qint64 written = monotonicNs();
                writeAll(fd, frame.data() + frame.size() - 1, 1);
                std::unique_lock<std::mutex> hold(lock);
                if (changed.wait_for(hold, 2s, [&] { return shownNumber == n; }))
                    run.push_back((shownAt - written) / 1e3);
                else
                    ++lost;
                hold.unlock();
                std::this_thread::sleep_for(std::chrono::microseconds(gap(random)));
            }
        }
        QMetaObject::invokeMethod(&app, &QApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    writer.join();

    std::vector<double> all, p99s;
    std::printf("| run | samples | median | 90th | 99th | 99.9th | max |\n|---:|---:|---:|---:|---:|---:|---:|\n");
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const auto &run = runs[r];
        all.insert(all.end(), run.begin(), run.end());
        p99s.push_back(quantile(run, 0.99));
        std::printf("| %zu | %zu | %.0f µs | %.0f µs | %.0f µs | %.0f µs | %.0f µs |\n", r + 1, run.size(),
                    quantile(run, 0.5), quantile(run, 0.9), quantile(run, 0.99), quantile(run, 0.999),
                    quantile(run, 1.0));
    }
    std::printf("| all | %zu | %.0f µs | %.0f µs | %.0f µs | %.0f µs | %.0f µs |\n\n", all.size(), quantile(all, 0.5),
                quantile(all, 0.9), quantile(all, 0.99), quantile(all, 0.999), quantile(all, 1.0));
    const double p99 = quantile(p99s, 0.5);
    std::printf("- 99th percentile, median of %d runs: **%.0f µs** (spread %.0f to %.0f µs); %d reports not seen "
                "within 2 s\n",
                options.runs, p99, quantile(p99s, 0.0), quantile(p99s, 1.0), lost);
    const QByteArray via = options.via.isEmpty() ? QByteArray() : "_" + options.via.toLatin1();
    std::printf("RESULT latency%s_p50_us %.0f\nRESULT latency%s_p99_us %.0f\nRESULT latency%s_lost %d\n",
                via.constData(), quantile(all, 0.5), via.constData(), p99, via.constData(), lost);
    return lost == 0 ? 0 : 1;
}

// Reports at a steady rate, written every millisecond as they fall due; the
// window is current at that rate if, over the second half of two seconds, it
// never shows a report more than 20 ms older than the newest one due.
class RateTrial
{
public:
    RateTrial(int fd, std::atomic<qint64> &shown)
        : m_fd(fd)
        , m_shown(shown)
    {
    }

    struct Outcome
    {
        bool current = false;
        double worstLagMs = 0;  // second half
    };

    Outcome run(double rate, std::chrono::milliseconds length)
    {
        const auto start = std::chrono::steady_clock::now();
        const qint64 first = m_next;
        qint64 written = 0;
        Outcome outcome;
        for (auto tick = start;; tick += 1ms) {
            std::this_thread::sleep_until(tick);
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (elapsed >= length.count() / 1e3)
                break;
            const auto due = qint64(rate * elapsed);
            if (due > written) {
                writeFrames(m_fd, first + written, due - written);
                written = due;
            }
            // Measured against what is due now: a write that had to wait for
            // the window is backlog too.
            const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (now > length.count() / 2e3) {
                const double lag = (double(first) + rate * now - 1 - double(m_shown.load())) / rate * 1e3;
                outcome.worstLagMs = std::max(outcome.worstLagMs, lag);
            }
        }
        m_next = first + written;
        outcome.current = outcome.worstLagMs <= 20.0;
        // Let the window catch up before the next rate.
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (m_shown.load() < m_next - 1 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(100ms);
        return outcome;
    }

private:
    int m_fd;
    std::atomic<qint64> &m_shown;
    qint64 m_next = 1000;
};

// The highest rate that stays current: doubling from 25,000 a second until
// the window falls behind, then halving the interval five times.
int throughput(QApplication &app, Subject &subject, int fd, const Options &options)
{
    std::atomic<qint64> shown{-1};
    QTimer sampler;
    sampler.setTimerType(Qt::PreciseTimer);
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { shown.store(ReportStream::numberShown(subject.generatorTime().text())); });
    sampler.start(2);

    std::vector<double> best(std::size_t(options.runs));
    std::thread writer([&] {
        RateTrial trial(fd, shown);
        for (int r = 0; r < options.runs; ++r) {
            double pass = 0, fail = 0;
            for (double rate = 25000; rate <= 3.2e6; rate *= 2) {
                const auto outcome = trial.run(rate, 2000ms);
                std::fprintf(stderr, "run %d: %.0f reports/s: %s (lag up to %.1f ms)\n", r + 1, rate,
                             outcome.current ? "current" : "behind", outcome.worstLagMs);
                if (!outcome.current) {
                    fail = rate;
                    break;
                }
                pass = rate;
            }
            for (int step = 0; fail > 0 && step < 5; ++step) {
                const double rate = (pass + fail) / 2;
                const auto outcome = trial.run(rate, 2000ms);
                std::fprintf(stderr, "run %d: %.0f reports/s: %s (lag up to %.1f ms)\n", r + 1, rate,
                             outcome.current ? "current" : "behind", outcome.worstLagMs);
                (outcome.current ? pass : fail) = rate;
            }
            best[std::size_t(r)] = pass;
        }
        QMetaObject::invokeMethod(&app, &QApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    writer.join();

    const double median = quantile(best, 0.5);
    std::printf("- highest rate kept current, median of %d runs: **%.0f reports/s** (spread %.0f to %.0f)\n",
                options.runs, median, quantile(best, 0.0), quantile(best, 1.0));
    std::printf("RESULT throughput%s%s %.0f\n", options.reference ? "_reference" : "", options.single ? "_single" : "",
                median);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Program::setIdentity();

    const QStringList arguments = QApplication::arguments();
    const QString mode = arguments.value(1);
    Options options;
    options.reference = arguments.contains(QStringLiteral("--reference"));
    options.single = arguments.contains(QStringLiteral("--single"));
    if (const auto at = arguments.indexOf(QStringLiteral("--runs")); at > 0)
        options.runs = std::max(1, arguments.value(at + 1).toInt());
    if (const auto at = arguments.indexOf(QStringLiteral("--samples")); at > 0)
        options.samples = std::max(1, arguments.value(at + 1).toInt());
    if (const auto at = arguments.indexOf(QStringLiteral("--via")); at > 0)
        options.via = arguments.value(at + 1);
    if (mode != QLatin1String("latency") && mode != QLatin1String("throughput")) {
        std::fprintf(stderr, "usage: bench_reports latency|throughput [--runs N] [--samples N] [--reference] [--single] "
                             "[--via raw|rfc2217]\n");
        return 2;
    }

    Pty pty;
    if (!pty.isValid()) {
        std::fprintf(stderr, "bench_reports: no pseudo-terminal\n");
        return 1;
    }
    Ser2net server(pty.slavePath(), LineFormat::ser2netText() + QStringLiteral(",local"));
    QString line = pty.slavePath();
    if (!options.via.isEmpty()) {
        if (!server.start()) {
            std::fprintf(stderr, "bench_reports: ser2net did not start\n%s", qPrintable(server.log()));
            return 1;
        }
        line = options.via == QLatin1String("raw") ? server.rawUrl() : server.rfc2217Url();
    }
    std::unique_ptr<Subject> subject;
    if (options.reference)
        subject = std::make_unique<Reference>(pty.slavePath());
    else
        subject = std::make_unique<Panel>(line);
    if (!subject->lineOpen() || !QTest::qWaitForWindowExposed(&subject->window())) {
        std::fprintf(stderr, "bench_reports: the window did not open the line or show\n");
        return 1;
    }

    // A unit's first reports: the kind of unit, its settings, the time.
    // Through ser2net they are sent again until they arrive: a raw
    // connection stands before ser2net has opened the terminal, and what
    // comes before that is lost.
    const int fd = pty.masterFd();
    const QByteArray status = Frames::statusReportFrame(24, 1, 1, 0x42, 0, Frames::offsetDigits(0));
    const auto firstShown = [&] { return ReportStream::numberShown(subject->generatorTime().text()) == 1; };
    for (int attempt = 0; attempt < 25; ++attempt) {
        writeFrames(fd, 0, 1);
        writeAll(fd, status.constData(), std::size_t(status.size()));
        writeFrames(fd, 1, 1);
        if (QTest::qWaitFor(firstShown, 200))
            break;
    }
    if (!firstShown()) {
        std::fprintf(stderr, "bench_reports: the first reports did not reach the window\n");
        return 1;
    }

    singleWrites = options.single;
    return mode == QLatin1String("latency") ? latency(app, *subject, fd, options)
                                            : throughput(app, *subject, fd, options);
}
