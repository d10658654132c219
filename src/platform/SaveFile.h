#pragma once
// A file written under a temporary name beside its final place, then renamed
// into that place in one step by commit(). Until then a file already at the
// path stays whole; a failure, or a SaveFile dropped without commit(), leaves
// nothing behind. Failures are described in French.
#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace platform {

class SaveFile
{
public:
    explicit SaveFile(const QString &path);
    ~SaveFile();
    SaveFile(const SaveFile &) = delete;
    SaveFile &operator=(const SaveFile &) = delete;

    bool open();
    bool write(const QByteArray &bytes);
    // Flushes the data to the disk and puts the file in its place.
    bool commit();
    // Removes the temporary file; the path keeps what it held.
    void discard();

    // Why the last step failed, in French, without a final full stop
    // ("le disque est plein").
    QString errorText() const { return m_error; }

private:
    void fail(const QString &why);
    QString whyNotWritten() const;

    QString m_path;
    QSaveFile m_file;
    QString m_error;
    qint64 m_lastChunk = 0;
};

} // namespace platform
