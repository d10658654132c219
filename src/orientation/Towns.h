#pragma once
// The reference database of towns (Orientation.mdb), without any window:
// where it is, and the bearing from Paris of each town it names, read once
// and kept while the file stays as it was. The orientation window and the
// statistics both take the towns from here.
#include "Converter.h"

#include <QHash>
#include <QString>
#include <memory>

namespace towns {

// Orientation.mdb in the program's folder, unless another file was set (an
// empty path restores the default).
QString referenceFile();
void setReferenceFile(const QString &path);

// The file the engine reads the towns from: the reference file itself, or,
// for an old Jet file, a copy of its table made by the converter once and
// kept for as long as the program runs. When the copy cannot be made, file
// is empty and conversion says why.
struct Readable {
    QString file;
    legacy::ChildResult conversion;
};
Readable readableFile();

// A town's name as the towns are compared: trimmed, accents removed, case
// folded.
QString townKey(const QString &town);

// The bearing in degrees of each town of the reference file, by townKey;
// empty when the file cannot be read. Safe from any thread.
using Bearings = QHash<QString, double>;
std::shared_ptr<const Bearings> bearings();

} // namespace towns
