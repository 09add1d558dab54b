// Arbitrary bytes from the line, cut into arbitrary blocks, through a real
// window on a fake port. After every block the window must still be sound:
// framing count in range, no report half-applied, the lists whole, nothing
// sent to the unit.
//
// Input: a sequence of steps. A step byte below 0xF0 is followed by a block
// of (step % 48) + 1 bytes, delivered as one notification. 0xF0 to 0xF7
// make the line fail (it is reopened); 0xF8 to 0xFF have the operator pick
// the port again, so that the next status report is applied in full.

#include "fakeport.h"
#include "testenv.h"

#include "panel/frm718.h"
#include "panel/panelstate.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QDir>

#include <cstdio>
#include <cstdlib>

namespace {

std::unique_ptr<TempSettings> settings;

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool SelectionInside(const QComboBox *list)
{
    return list->currentIndex() >= -1 && list->currentIndex() < list->count();
}

void CheckInvariants(frm718 &window, const FakePort &port)
{
    const Form718 &ui = window.ui();
    Check(window.framer().RxCount >= 0 && window.framer().RxCount <= 30, "RxCount within 0 to 30");
    Check(window.state().ApplyingStatus == 0, "ApplyingStatus false between notifications");
    Check(ui.cmbReadMode->count() == 6 || ui.cmbReadMode->count() == 7, "read-mode list has 6 or 7 entries");
    Check(ui.cmbControlFunction->count() == 2 || ui.cmbControlFunction->count() == 3,
          "control-function list has 2 or 3 entries");
    Check(ui.cmbGenerateMode->count() == 3 && ui.cmbTimeZone->count() == 49, "fixed lists whole");
    for (const QComboBox *list : {ui.cmbComports, ui.cmbReadMode, ui.cmbGenerateMode, ui.cmbTimeZone,
                                  ui.cmbControlFunction})
        Check(SelectionInside(list), "list selection within its list");
    Check(port.written.isEmpty(), "no frame written by reports");
}

FakePort *port = nullptr;
frm718 *window = nullptr;

// Brings the one window back to how start-up leaves it with port 1 opened:
// building a window for every input would make the fuzzer crawl.
void Restart()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != window)
            w->close();
    }
    Form718 &ui = window->ui();
    window->state() = PanelState{};
    window->framer() = Module1::ReportFramer{};
    {
        const ApplyingStatusScope quiet(window->state());
        window->statusDisplay().SetGpsAvailable(true);
        window->statusDisplay().SetEncodedYearAvailable(1);
        for (QComboBox *list : {ui.cmbReadMode, ui.cmbGenerateMode, ui.cmbTimeZone, ui.cmbControlFunction})
            list->setCurrentIndex(-1);
        for (QCheckBox *box : {ui.chkFreeze, ui.chkBinarySeconds, ui.chkReaderEnable, ui.chkLeapYear})
            box->setChecked(false);
        ui.txtOffset->clear();
    }
    ui.lblYear->hide();
    ui.txtYear->hide();
    ui.chkLeapYear->show();
    ui.frameSetTime->move(Form718::Pixels(Form718::SetTimeLeftWithoutYear), ui.frameSetTime->y());
    ui.lblGeneratorTime->clear();
    window->state().RefreshPending = -1;
    port->present = {1};
    ui.cmbComports->setCurrentIndex(-1);
    ui.cmbComports->setCurrentIndex(0);
    port->written.clear();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    UseProgramIdentity();
    // Every port opening stores the port; on a memory file system that
    // costs nothing.
    settings = std::make_unique<TempSettings>(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QString());
    settings->set("Settings/Comport", "1");
    auto fake = std::make_unique<FakePort>(QSet<qint16>{1});
    port = fake.get();
    window = new frm718(std::move(fake));
    window->Form_Load();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Restart();
    CheckInvariants(*window, *port);

    size_t i = 0;
    while (i < size) {
        const uint8_t step = data[i++];
        if (step >= 0xF8) {
            port->present.insert(1);
            window->ui().cmbComports->setCurrentIndex(-1);
            window->ui().cmbComports->setCurrentIndex(0);
        } else if (step >= 0xF0) {
            port->failLine();
        } else {
            const size_t length = std::min<size_t>(step % 48 + 1, size - i);
            port->receive(QByteArray(reinterpret_cast<const char *>(data + i), qsizetype(length)));
            i += length;
        }
        CheckInvariants(*window, *port);
    }
    return 0;
}
