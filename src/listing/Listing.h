#pragma once
// The printed contact listing: every contact of a log file, one line each,
// under a bold title and a line of column headings, in landscape.
#include <QLocale>
#include <QString>
#include <QVariant>
#include <QVector>

class QWidget;

namespace listing {

// One column of the listing.
struct PrintColumn {
    QString heading;
    int column;     // print column where heading and values begin
    QString field;  // column of Transmission; empty for the frequency
    int width;      // characters the column has room for
};

// The fifteen columns, in the order they are printed. Each has room for the
// values a contest log holds (the words of the call-sign lists, a five-digit
// postal code, "27.005"), then kColumnGap blank columns before the next. No
// value is ever cut: a longer one pushes the values after it to their columns
// on the next line, so that two values never touch.
const QVector<PrintColumn> &printColumns();
inline constexpr int kColumnGap = 2;

inline const QString kTitle = QStringLiteral("Listing des contacts enregistrés");
inline const QString kPrintingCaption = QStringLiteral("Liste des enregistrements (Impression en cours)");

// A value of a contact as the listing prints it, whole.
QString printedValue(const PrintColumn &column, const QVariant &value, const QVariant &mhertz = {},
                     const QVariant &hertz = {});

// "dd/mm/yy hh:nn:ss" from a stored date, with the locale's date and time
// separators in place of "/" and ":". An unreadable value is shown as stored.
QString formatListingDate(const QVariant &stored, const QLocale &locale = QLocale());
// The frequency as Mhertz "." Hertz; an empty part prints as nothing, and
// the point stands only between two parts.
QString formatFrequency(const QVariant &mhertz, const QVariant &hertz);

// Prints the listing of the log file at databaseName on the default printer,
// showing kPrintingCaption on window meanwhile and putting its caption back
// afterwards. With no printer installed, offers to save the listing as a PDF
// file. Every failure is told to the user. True when a document was printed.
bool printListing(QWidget *window, const QString &databaseName);

} // namespace listing
