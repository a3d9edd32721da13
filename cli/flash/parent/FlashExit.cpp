#include "FlashExit.h"

#include "UpdateEndings.h"

#include <QStringList>
#include <algorithm>
#include <vector>

namespace {

// "  10  " and the text, wrapped to 72 columns under itself.
QString entry(int code, const QString &text)
{
    QString out = QStringLiteral("%1  ").arg(code, 4);
    int column = out.size();
    for (const QString &word : text.split(QLatin1Char(' '))) {
        if (column + word.size() + 1 > 78 && column > 6) {
            out += QStringLiteral("\n      ");
            column = 6;
        } else if (column > 6) {
            out += QLatin1Char(' ');
            ++column;
        }
        out += word;
        column += static_cast<int>(word.size());
    }
    return out + QLatin1Char('\n');
}

// Where the update had got to, in the words of its status line.
QString when(UpdateStage stage)
{
    switch (stage) {
    case UpdateStage::Started:
        return QStringLiteral("before the first ENQ (\"Setting up... (ENQ1)\"): ");
    case UpdateStage::Erasing:
        return QStringLiteral("from the first ENQ to the verdict: ");
    case UpdateStage::Verified:
    case UpdateStage::Rebooting:
        return QStringLiteral("after the verdict, ");
    case UpdateStage::NotStarted:
    case UpdateStage::Done:
        break;
    }
    return {};
}

} // namespace

QString FlashExit::table()
{
    std::vector<UpdateEnding> endings(Ending::All.begin(), Ending::All.end());
    std::sort(endings.begin(), endings.end(),
              [](const UpdateEnding &a, const UpdateEnding &b) { return a.exitCode < b.exitCode; });
    QString out;
    for (const UpdateEnding &ending : endings) {
        out += entry(ending.exitCode, when(ending.stage) + QString::fromUtf8(ending.what) +
                                          QStringLiteral("; instrument ") +
                                          instrumentName(ending.instrument));
        if (ending.exitCode == 0) {
            out += entry(Refused, QStringLiteral("usage error, the question answered no, or no "
                                                 "terminal to ask on; nothing sent"));
            out += entry(NoFirmware,
                         QStringLiteral("no firmware file, or the file refused; nothing sent"));
        }
    }
    return out + QStringLiteral(
                     "\n"
                     "0 is success. 1 to 4, 7 and 8 leave the instrument unchanged; 5 and 6 mean\n"
                     "the new firmware is in; 9 and 10 leave it erased. With several ports the\n"
                     "highest code is the exit status; the \"instrument\" field of each JSON line\n"
                     "is that instrument's state.\n");
}
