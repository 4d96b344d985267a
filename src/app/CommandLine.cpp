#include "app/CommandLine.h"

#include "app/UnitLinkProtocol.h"
#include "app/UnitLinks.h"

#include <QCoreApplication>
#include <QFile>

TPendingRequest PendingRequestFromCommandLine() {
    const QStringList all = QCoreApplication::arguments();
    std::vector<std::string> arguments;
    for (qsizetype i = 1; i < all.size(); ++i)
        arguments.push_back(QFile::encodeName(all[i]).toStdString());
    const CommandLineRequest request = ParseCommandLine(arguments);
    return {QString::fromStdString(request.LinkHost), QString::fromStdString(request.LinkGame),
            QFile::decodeName(QByteArray::fromStdString(request.PendingArchive))};
}

void RegisterThisProgramForLinks() {
    RegisterLinkProtocol(QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
}
