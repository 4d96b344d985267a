#pragma once

#include <QFile>
#include <QString>

#include <string>

// A path as the file system spells it (the local 8-bit encoding), for the
// plain C++ layers beneath the window.
inline std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
