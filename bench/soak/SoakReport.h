#pragma once

#include "DeliveryCheck.h"
#include "RecoveryFigures.h"

#include <string>
#include <utility>
#include <vector>

struct TSoakReport {
    TDeliveryFigures Delivery;
    std::vector<std::pair<std::string, TClientRecovery>> Clients; // the filmer first
    long PeakRssKb = 0;
    bool PeakIsRunOnly = false;
};

void PrintSoakReport(const TSoakReport& report);
