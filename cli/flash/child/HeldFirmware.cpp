#include "HeldFirmware.h"

#include "FirmwareImage.h"
#include "UploaderError.h"

HeldFirmware::HeldFirmware(QString path, QByteArray contents)
    : m_path(std::move(path)), m_contents(std::move(contents))
{
}

QByteArray HeldFirmware::ReadFile(const QString &path, qint64 maxBytes)
{
    if (path != m_path)
        throw FileServiceError(ErrorCode::FileNotFound, QStringLiteral("File not found: ") + path);
    if (m_contents.size() > maxBytes)
        throw FileServiceError(ErrorCode::FileTooLarge, QStringLiteral("File too large: ") + path);
    return m_contents;
}

qint64 HeldFirmware::lineCount() const
{
    qint64 lines = 0;
    for (TextLines text(m_contents); !text.atEnd(); text.next())
        ++lines;
    return lines;
}
