// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/ExportFile.h"

#include <cerrno>
#include <stdexcept>

namespace {

std::runtime_error failure(const QString& reason)
{
    return std::runtime_error(reason.toUtf8().toStdString());
}

// Qt sets its error text only when a write has written nothing at all; after a short write errno
// is all that tells what happened.
QString reasonOf(const QFile& file, int error)
{
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return error != 0 ? qt_error_string(error) : QStringLiteral("the file took no more data");
}

} // namespace

ExportFile::ExportFile(const QString& path)
    : ExportFile(path, nullptr)
{
}

ExportFile::ExportFile(const QString& path, std::shared_ptr<QFile> opened)
    : m_file(opened && opened->isOpen() ? std::move(opened) : std::make_shared<QFile>(path))
    , m_encoder(QStringEncoder::Utf8)
{
}

ExportFile::~ExportFile() = default;

void ExportFile::open()
{
    // Unbuffered: the writers gather their text themselves, and each failure shows at its write.
    if (!m_file->isOpen() && !openEmptied(*m_file, QIODevice::Unbuffered))
        throw failure(m_file->errorString());
    m_buffer.reserve(bufferLimit + 4096);
}

void ExportFile::write(QStringView text)
{
    char* const room = m_buffer.room(m_encoder.requiredSpace(text.size()));
    m_buffer.setEnd(m_encoder.appendToBuffer(room, text));
    if (m_buffer.size() >= bufferLimit)
        writeBuffer();
}

void ExportFile::close()
{
    writeBuffer();
    m_file->close();
}

void ExportFile::writeBuffer()
{
    const char* data = m_buffer.data();
    qint64 left = m_buffer.size();
    while (left > 0) {
        errno = 0;
        const qint64 written = m_file->write(data, left);
        if (written <= 0)
            throw failure(reasonOf(*m_file, errno));
        data += written;
        left -= written;
    }
    m_buffer.clear();
}

bool openEmptied(QFile& file, QIODevice::OpenMode extraMode)
{
    // The file is nearly always the empty one the export's staging just made. Truncating a file,
    // even an empty one, makes ext4 write it out when it is closed, which costs an export of
    // thousands of small files most of its time: so it is opened for appending and cut only when
    // it holds anything.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | extraMode))
        return false;
    if (file.size() > 0 && !file.resize(0)) {
        file.close();
        return false;
    }
    return true;
}

QString writeFailureReason(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return file.errorString();
    const QByteArray probe(1 << 16, '\0');
    errno = 0;
    if (file.write(probe) != probe.size())
        return reasonOf(file, errno);
    return QStringLiteral("the file is incomplete");
}
