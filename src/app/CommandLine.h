#pragma once

#include <QString>

// What the command line asked for and has not been done yet.
struct TPendingRequest {
    QString LinkHost, LinkGame; // a "nelq" link
    QString Archive;            // a cast archive to replay
};

// This program's arguments read as a link or an archive to open.
TPendingRequest PendingRequestFromCommandLine();

// Makes this program the handler of "nelq" links.
void RegisterThisProgramForLinks();
