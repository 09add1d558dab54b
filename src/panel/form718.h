#pragma once

#include <QPixmap>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The controls of the main window, laid out as the operator has always seen
// them. setupUi() builds them on a window and gives every control its name,
// place, caption, font, list entries, tooltip, visibility and tab order; it
// wires no behaviour.
//
// Places are given in 1/1440-inch units (15 to a pixel at 96 dpi), measured
// from the top-left corner of the container; high-DPI screens scale them.
struct Form718
{
    // Client area of the window, in 1/1440 inch.
    static constexpr int ClientWidth = 5235;
    static constexpr int ClientHeight = 6495;
    // Left of frameSetTime without and with the year field beside it.
    static constexpr int SetTimeLeftWithoutYear = 600;
    static constexpr int SetTimeLeftWithYear = 960;

    static constexpr int Pixels(int twips) { return twips / 15; }

    // On the window.
    QLabel *picLogo = nullptr;
    QGroupBox *Frame4 = nullptr;  // "Settings:"

    // In Frame4.
    QLabel *Label13 = nullptr;
    QComboBox *cmbComports = nullptr;
    QGroupBox *Frame2 = nullptr;  // "Time Code:"
    QGroupBox *Frame1 = nullptr;  // "Set Time:"
    QGroupBox *Frame3 = nullptr;  // "Additional Settings:"

    // In Frame2.
    QLabel *imgLock = nullptr;
    QLabel *lblLock = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *lblGeneratorTime = nullptr;
    QLabel *Label7 = nullptr;
    QComboBox *cmbReadMode = nullptr;
    QLabel *Label8 = nullptr;
    QComboBox *cmbGenerateMode = nullptr;

    // In Frame1.
    QLabel *lblYear = nullptr;
    QLineEdit *txtYear = nullptr;
    QWidget *frameSetTime = nullptr;
    QPushButton *cmdSetTime = nullptr;

    // In frameSetTime.
    QLabel *Label6 = nullptr;
    QLineEdit *txtDay = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtHour = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *txtMinute = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *txtSecond = nullptr;

    // In Frame3.
    QLabel *Label9 = nullptr;
    QComboBox *cmbTimeZone = nullptr;
    QLabel *Label12 = nullptr;
    QLineEdit *txtOffset = nullptr;
    QLabel *Label14 = nullptr;
    QComboBox *cmbControlFunction = nullptr;
    QCheckBox *chkFreeze = nullptr;
    QCheckBox *chkBinarySeconds = nullptr;
    QCheckBox *chkReaderEnable = nullptr;
    QCheckBox *chkLeapYear = nullptr;

    // The lock lamps: image 1 green (locked), image 2 grey (unlocked).
    std::array<QPixmap, 2> ImageList1;
    const QPixmap &ListImage(int number) const { return ImageList1.at(number - 1); }

    void setupUi(QWidget *frm718);
};
