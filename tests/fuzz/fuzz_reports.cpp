// Arbitrary bytes from the line, cut into arbitrary blocks, through a real
// window on a fake port. After every block the window must still be sound:
// no report sent anything to the unit, none was left half-applied (the
// operator's next change still leaves), the lists are whole and their
// selections inside them. AddressSanitizer watches the framing buffer.
//
// Input: a sequence of steps. A step byte below 0xF0 is followed by a block
// of (step % 48) + 1 bytes, delivered as one notification. 0xF0 to 0xF7
// make the line fail (it is reopened); 0xF8 to 0xFF have the operator pick
// the port again, so that the next status report is applied in full.

#include "fakeport.h"
#include "panel.h"
#include "testenv.h"

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

void CheckInvariants(const Controls &ui, FakePort &port)
{
    Check(port.written.isEmpty(), "no frame written by reports");
    Check(ui.cmbReadMode->count() == 6 || ui.cmbReadMode->count() == 7, "read-mode list has 6 or 7 entries");
    Check(ui.cmbControlFunction->count() == 2 || ui.cmbControlFunction->count() == 3,
          "control-function list has 2 or 3 entries");
    Check(ui.cmbGenerateMode->count() == 3 && ui.cmbTimeZone->count() == 49, "fixed lists whole");
    for (const QComboBox *list : {ui.cmbComports, ui.cmbReadMode, ui.cmbGenerateMode, ui.cmbTimeZone,
                                  ui.cmbControlFunction})
        Check(SelectionInside(list), "list selection within its list");
    // The report is over: a change of the operator's leaves again.
    ui.chkFreeze->toggle();
    Check(port.written.size() == (port.isOpen() ? 1 : 0), "a change after the reports is sent");
    port.written.clear();
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
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    auto *port = new FakePort({1});
    frm718 window(port);
    window.Form_Load();
    const Controls ui{window};
    CheckInvariants(ui, *port);

    size_t i = 0;
    while (i < size) {
        const uint8_t step = data[i++];
        if (step >= 0xF8) {
            port->present.insert(1);
            ui.cmbComports->setCurrentIndex(-1);
            ui.cmbComports->setCurrentIndex(0);
        } else if (step >= 0xF0) {
            port->failLine();
        } else {
            const size_t length = std::min<size_t>(step % 48 + 1, size - i);
            port->receive(QByteArray(reinterpret_cast<const char *>(data + i), qsizetype(length)));
            i += length;
        }
        CheckInvariants(ui, *port);
    }
    return 0;
}
