#pragma once

#include <QString>

class QComboBox;
class SettingsStore;

// The last hosts typed into a host box, kept in a settings section named after
// the box: values "0" (most recent) to "4", in lower case, empty for a free slot.
inline constexpr int HostHistoryDepth = 5;

// Refills the box's list from its section; the text typed in the box stays.
void LoadHostHistory(QComboBox& box, const SettingsStore& settings);

// Puts the box's text (lower case) first in the list, without duplicates, and
// stores the first five entries.
void SaveHostHistory(QComboBox& box, SettingsStore& settings);
