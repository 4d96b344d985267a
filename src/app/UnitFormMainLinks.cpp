#include "app/UnitFormMain.h"

#include "app/UnitLinkProtocol.h"
#include "app/UnitLinks.h"

#include <QCoreApplication>
#include <QFile>

void TFormMain::ParseCommandLine() {
    const QStringList all = QCoreApplication::arguments();
    std::vector<std::string> arguments;
    for (qsizetype i = 1; i < all.size(); ++i)
        arguments.push_back(QFile::encodeName(all[i]).toStdString());
    const CommandLineRequest request = ::ParseCommandLine(arguments);
    LinkHost = QString::fromStdString(request.LinkHost);
    LinkGame = QString::fromStdString(request.LinkGame);
    PendingArchive = QFile::decodeName(QByteArray::fromStdString(request.PendingArchive));
}

void TFormMain::RegisterLinkProtocol() {
    ::RegisterLinkProtocol(
        QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
}
