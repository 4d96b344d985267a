#include "app/CommandLine.h"

#include "app/UnitLinkProtocol.h"

#include <QCoreApplication>
#include <QFile>

TPendingRequest PendingRequestFromCommandLine() {
    const QStringList all = QCoreApplication::arguments();
    std::vector<std::string> arguments;
    for (qsizetype i = 1; i < all.size(); ++i)
        arguments.push_back(QFile::encodeName(all[i]).toStdString());
    return PendingRequestOf(ParseCommandLine(arguments));
}

TPendingRequest PendingRequestOf(const CommandLineRequest& request) {
    return {QString::fromStdString(request.LinkHost), QString::fromStdString(request.LinkGame),
            QFile::decodeName(QByteArray::fromStdString(request.PendingArchive))};
}

CommandLineRequest CommandLineRequestOf(const TPendingRequest& request) {
    return {request.LinkHost.toStdString(), request.LinkGame.toStdString(),
            QFile::encodeName(request.Archive).toStdString()};
}

void RegisterThisProgramForLinks() {
    RegisterLinkProtocol(QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
}
