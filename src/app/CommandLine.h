#pragma once

#include "app/UnitLinks.h"

#include <QString>

// What the command line asked for and has not been done yet.
struct TPendingRequest {
    QString LinkHost, LinkGame; // a "nelq" link
    QString Archive;            // a cast archive to replay
};

// This program's arguments read as a link or an archive to open.
TPendingRequest PendingRequestFromCommandLine();

// The request in the window's strings and back (paths in the file system's encoding).
TPendingRequest PendingRequestOf(const CommandLineRequest& request);
CommandLineRequest CommandLineRequestOf(const TPendingRequest& request);

// Makes this program the handler of "nelq" links.
void RegisterThisProgramForLinks();
