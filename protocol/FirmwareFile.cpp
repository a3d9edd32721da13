#include "FirmwareFile.h"

#include "FileSystem.h"
#include "UploaderError.h"

FirmwareFile::FirmwareFile(FileSystem &files, const QString &path)
{
    try {
        m_stream = files.OpenTextFile(path);
    } catch (const UploaderError &) {
        m_failed = true;
    }
    if (!m_stream)
        m_failed = true;
}

FirmwareFile::~FirmwareFile()
{
    close();
}

bool FirmwareFile::atEnd()
{
    if (!m_stream)
        return true;
    try {
        return m_stream->AtEndOfStream();
    } catch (const UploaderError &) {
        m_failed = true;
        return true;
    }
}

std::optional<FirmwareFile::Line> FirmwareFile::readLine()
{
    if (!m_stream)
        return std::nullopt;
    QByteArray text;
    try {
        text = m_stream->ReadLine();
    } catch (const UploaderError &) {
        m_failed = true;
        return std::nullopt;
    }
    std::optional<HexLine> hex = decodeHexLine(text);
    if (!hex) {
        m_failed = true;
        return std::nullopt;
    }
    return Line{text, *hex};
}

void FirmwareFile::close()
{
    if (!m_stream)
        return;
    // Read only: a failing close loses nothing.
    try {
        m_stream->Close();
    } catch (const UploaderError &) {
    }
    m_stream.reset();
}

bool isSendableFirmware(FileSystem &files, const QString &path)
{
    FirmwareFile file(files, path);
    qint64 lines = 0;
    while (!file.atEnd()) {
        if (!file.readLine())
            return false;
        ++lines;
    }
    return !file.failed() && lines > 0;
}

std::optional<qint64> firmwareFileSize(FileSystem &files, const QString &path)
{
    try {
        return files.FileSize(path);
    } catch (const UploaderError &) {
        return std::nullopt;
    }
}

bool firmwareFileExists(FileSystem &files, const QString &path)
{
    try {
        return files.FileExists(path);
    } catch (const UploaderError &) {
        return false;
    }
}
