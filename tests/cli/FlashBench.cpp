#include "FlashBench.h"

#include <QDir>
#include <QRegularExpression>

std::map<QString, QString> transcriptsByPort(const QString &folder)
{
    static const QRegularExpression portLine(QStringLiteral("^port: +(.*)$"),
                                             QRegularExpression::MultilineOption);
    std::map<QString, QString> transcripts;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files)) {
        const QString text = QString::fromUtf8(e2e::readWhole(dir.filePath(name)));
        transcripts[portLine.match(text).captured(1)] = text;
    }
    return transcripts;
}
