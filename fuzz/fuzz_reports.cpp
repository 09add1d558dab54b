// Arbitrary bytes from the line, cut into arbitrary blocks, through a real window on a fake port. After every block
// the window must still be sound: no report sent anything to the unit or was left half-applied (the operator's next
// change still leaves), the lists are whole and their selections inside them. AddressSanitizer watches the framing
// buffer.
//
// Input: steps. A step byte below 0xF0 is followed by a block of (step % 48) + 1 bytes, delivered as one
// notification; 0xF0 to 0xF7 make the line fail (it is reopened); 0xF8 to 0xFF have the operator pick the port again,
// so that the next status report is applied in full.

#include "panel.h"

#include "device/protocol/lists.h"

#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void checkInvariants(const Controls &ui, FakePort &port)
{
    check(port.written.isEmpty(), "no frame written by reports");
    for (QComboBox *list : ui.window.findChildren<QComboBox *>())
        check(list->currentIndex() >= -1 && list->currentIndex() < list->count(), "list selection within its list");
    const auto whole = [](QComboBox *list, std::size_t entries) { return std::size_t(list->count()) == entries; };
    check(whole(ui.list("cmbReadMode"), Lists::GpsReadMode) || whole(ui.list("cmbReadMode"), std::size(Lists::ReadModes)),
          "read-mode list whole, GPS or not");
    check(whole(ui.list("cmbControlFunction"), Lists::EncodedYear)
              || whole(ui.list("cmbControlFunction"), std::size(Lists::ControlFunctions)),
          "control-function list whole, Encoded Year or not");
    check(whole(ui.list("cmbGenerateMode"), std::size(Lists::GenerateModes))
              && whole(ui.list("cmbTimeZone"), std::size(Lists::TimeZones)), "fixed lists whole");
    ui.box("chkFreeze")->toggle();
    check(port.written.size() == (port.isOpen() ? 1 : 0), "a change after the reports is sent");
    port.written.clear();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    Program::setIdentity();
    // Every port opening stores the port; on a memory file system that costs nothing.
    static TempSettings settings(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QString());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    auto *port = new FakePort({1});
    frm718 window(port);
    window.Form_Load();
    const Controls ui{window};
    checkInvariants(ui, *port);
    for (size_t i = 0; i < size;) {
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
        checkInvariants(ui, *port);
    }
    return 0;
}
