// Throughput of the report framing, with and without the window's display,
// and the allocations it makes.
//
//   bench_framing [--quick]
//
// Prints one line per measurement. Exits 1 if the framing alone allocated
// anything: it must not, per byte or per frame.

#include "device/protocol/commands.h"
#include "device/ports/portservice.h"
#include "device/protocol/reports.h"
#include "panel/frm718.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <utility>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

// Every heap allocation of the process is counted, Qt's included: the
// program's malloc stands in for the C library's and forwards to it.
static std::atomic<long long> allocations{0};

extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void __libc_free(void *);

void *malloc(std::size_t size)
{
    ++allocations;
    return __libc_malloc(size);
}
void *calloc(std::size_t count, std::size_t size)
{
    ++allocations;
    return __libc_calloc(count, size);
}
void *realloc(void *p, std::size_t size)
{
    ++allocations;
    return __libc_realloc(p, size);
}
void free(void *p)
{
    __libc_free(p);
}
}

namespace {

// A stream of reports as a unit with dates sends them: per second one time
// report and one status report, with a stray byte or a split now and then.
QByteArray mixedStream(int seconds)
{
    QByteArray stream;
    for (int i = 0; i < seconds; ++i) {
        const Frames::ReportDate date{2026, 12, 6};
        stream += Frames::timeReportFrame(1 + i / 86400 % 366, i / 3600 % 24, i / 60 % 60, i % 60, &date);
        QByteArray status = Frames::statusReportFrame(24, 1, 1, 0x43, 1, Frames::offsetDigits(250));
        status[0] = char(Frames::FrameStartAlternative);
        stream += status;
        if (i % 7 == 0)
            stream.append('\x33');
    }
    return stream;
}

struct CountingSink final : Frames::ReportSink
{
    long long times = 0, statuses = 0;
    void ShowGeneratorTime(const quint8 *, qint16) override { ++times; }
    void ApplyStatus(const quint8 *) override { ++statuses; }
};

template <class Run>
double medianSeconds(int repeats, Run run)
{
    std::vector<double> seconds;
    seconds.reserve(repeats);
    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer timer;
        timer.start();
        run();
        seconds.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    const bool quick = argc > 1 && QByteArray(argv[1]) == "--quick";
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int seconds = quick ? 20000 : 500000;
    const QByteArray stream = mixedStream(seconds);
    const double reports = 2.0 * seconds;
    const int block = 64;  // what one notification typically carries at speed
    const int repeats = quick ? 3 : 7;
    const auto feed = [&](auto &&process) {
        for (qsizetype i = 0; i < stream.size(); i += block)
            process(QByteArrayView(stream).sliced(i, std::min<qsizetype>(block, stream.size() - i)));
    };

    // Framing alone.
    Frames::ReportFramer framer;
    CountingSink sink;
    const auto frame = [&](QByteArrayView b) { framer.ProcessReceivedBytes(b, sink); };
    long long framingAllocations = allocations;
    feed(frame);
    framingAllocations = allocations - framingAllocations;
    const double framing = medianSeconds(repeats, [&] { feed(frame); });
    std::printf("framing only: %.1f MB/s, %.2f million reports/s (%lld bytes, median of %d runs), "
                "%lld allocations in one pass of %lld reports\n",
                stream.size() / framing / 1e6, reports / framing / 1e6, (long long)stream.size(), repeats,
                framingAllocations, (long long)reports);

    // Framing and display, through the window's notification. The block is
    // handed over without a copy.
    struct FeedPort final : PortService {
        QByteArray next;
        void setPortNumber(qint16) override {}
        void useEntryForRun(const QString &) override {}
        bool isOpen() const override { return false; }
        bool open() override { return false; }
        void close() override {}
        bool write(const QByteArray &) override { return false; }
        bool readInput(QByteArray &block) override
        {
            block = std::exchange(next, {});
            return true;
        }
        void feed(QByteArrayView b)
        {
            next = QByteArray::fromRawData(b.data(), b.size());
            emit received();
        }
    };
    auto *port = new FeedPort;
    frm718 window(port);
    const auto show = [&](QByteArrayView b) { port->feed(b); };
    long long displayAllocations = allocations;
    feed(show);
    displayAllocations = allocations - displayAllocations;
    const double shown = medianSeconds(repeats, [&] { feed(show); });
    std::printf("framing and display: %.1f MB/s, %.2f million reports/s, %.2f allocations per time report\n",
                stream.size() / shown / 1e6, reports / shown / 1e6, displayAllocations / (reports / 2));
    return framingAllocations == 0 ? 0 : 1;
}
